#include <gtest/gtest.h>

#include <winport/com_ptr.h>
#include <winport/scoped_com_init.h>

#include "host/soap/response_writer.h"
#include "host/soap/soap_message.h"
#include "message_text.h"

namespace {

using quillmere::ISOAPMessage;
using namespace quillmere::host;

// A parameter's text, or "absent" when the lookup fails.
std::string Parameter(ISOAPMessage* message, const std::string& name) {
  winport::ScopedBstr value;
  const HRESULT hr = message->getStringParameterByAccessor(Bstr(name).Get(), value.Receive());
  return SUCCEEDED(hr) ? Text(value.Get()) : "absent";
}

SoapRequest Request() {
  return {
      .call = {"Administrator", "UserList", {{"IdentityToken", "t"}, {"QMS_WSID", "w"}}, "<a/>"},
      .variables = "<v/>",
      .hasVariables = true,
      .variablesNamespaces = " xmlns:z=\"urn:z\"",
      .onSuccess = {{"WbemProvider", "One"}, {"Administrator", "Two"}}};
}

TEST(RequestMessage, AnswersFromItsEnvelope) {
  SoapRequest refused = Request();
  refused.notUnderstood = {"{urn:x}Must"};
  const auto message = MakeRequestMessage(Request());
  winport::ScopedBstr method, children;
  LONG count = 0;
  ASSERT_EQ(message->methodName(method.Receive()), S_OK);
  ASSERT_EQ(message->getDictionaryInformation(children.Receive()), S_OK);
  ASSERT_EQ(message->ArguementCount(&count), S_OK);
  EXPECT_EQ(Text(method.Get()) + Text(children.Get()) + std::to_string(count), "UserList<a/>2");
  EXPECT_EQ(Parameter(message.Get(), "IdentityToken") + Parameter(message.Get(), "uri"), "tabsent");
  EXPECT_EQ(message->mustIUnderstand(), S_OK);
  EXPECT_EQ(MakeRequestMessage(refused)->mustIUnderstand(), S_FALSE);
}

TEST(ResponseMessage, IsMadeByItsClassAndFollowsTheChain) {
  const winport::ScopedComInit com(COINIT_MULTITHREADED);
  const auto create = [](winport::ComPtr<ISOAPMessage>& made) {
    return CoCreateInstance(__uuidof(quillmere::SoapMessage), nullptr, CLSCTX_ALL,
                            __uuidof(ISOAPMessage), reinterpret_cast<void**>(made.GetAddressOf()));
  };
  winport::ComPtr<ISOAPMessage> response, unserved;
  {
    const MessageClass served;
    ASSERT_EQ(create(response), S_OK);
  }
  EXPECT_TRUE(FAILED(create(unserved)));

  const auto request = MakeRequestMessage(Request());
  ASSERT_EQ(response->CopyStructure(request.Get()), S_OK);
  ASSERT_EQ(response->CopyVariablesBlock(request.Get()), S_OK);
  EXPECT_EQ(Parameter(response.Get(), "QMS_WSID"), "w");
  response->addResponseParameter(Bstr("QMS_WSID").Get(), Bstr("x").Get(), VARIANT_FALSE);
  EXPECT_EQ(Parameter(response.Get(), "QMS_WSID"), "x");

  std::vector<std::string> chain;
  winport::ComPtr<ISOAPMessage> at = response, next;
  winport::ScopedBstr object, method;
  while (at->GetOnSuccessNext(next.ReleaseAndGetAddressOf(), object.Receive()) == S_OK) {
    next->methodName(method.Receive());
    chain.push_back(Text(object.Get()) + "#" + Text(method.Get()));
    at = next;
  }
  EXPECT_EQ(chain, (std::vector<std::string>{"WbemProvider#One", "Administrator#Two"}));
  const std::string variables =
      "<h:Variables xmlns:h=\"urn:quillmere:Host\" xmlns:z=\"urn:z\"><v/></h:Variables>";
  EXPECT_NE(WriteResponse(MakeResponseFor(at.Get()).Get()).body.find(variables), std::string::npos);
}

}  // namespace
