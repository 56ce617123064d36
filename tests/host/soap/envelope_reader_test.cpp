#include <gtest/gtest.h>

#include <thread>

#include "host/soap/envelope.h"

namespace {

using quillmere::FaultCode;
using namespace quillmere::host;

const std::string kOpen = "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\">";
const std::string kClose = "</s:Envelope>";

std::string InBody(const std::string& content) {
  return kOpen + "<s:Body>" + content + "</s:Body>" + kClose;
}

struct BadEnvelope {
  std::string name, body;
  EnvelopeLimits limits;
  FaultCode code;
  std::string text;
};

TEST(ReadEnvelope, RefusesEachBadEnvelopeWithItsFault) {
  const std::string kCall = "<m:Go xmlns:m=\"urn:quillmere:Administrator\"/>";
  const std::string kOpenCall = "<m:Go xmlns:m=\"urn:quillmere:A\">";
  const std::string kLoneOnSuccess =
      kOpen + "<s:Header><h:OnSuccess xmlns:h=\"urn:quillmere:Host\"/></s:Header><s:Body>";
  // clang-format off
  const std::vector<BadEnvelope> cases = {
      {"Doctype", "<!DOCTYPE x [<!ENTITY e \"e\">]>" + InBody(kCall), {},
       FaultCode::Client, "Document type declarations are not allowed"},
      {"Oversized", InBody(kCall), {.maxBodyBytes = 10},
       FaultCode::Client, "Body exceeds 10 bytes"},
      {"TooDeep", InBody(kOpenCall + "<a><b/></a></m:Go>"), {.maxDepth = 4},
       FaultCode::Client, "Elements nest deeper than 4 levels"},
      {"TooMany", InBody(kOpenCall + "<a/><b/></m:Go>"), {.maxElements = 4},
       FaultCode::Client, "Document has more than 4 elements"},
      {"OtherSoapVersion", "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"/>", {},
       FaultCode::VersionMismatch,
       "Envelope is not in namespace http://schemas.xmlsoap.org/soap/envelope/"},
      {"NotEnvelope", "<Go/>", {}, FaultCode::Client, "Root element is not a SOAP Envelope"},
      {"NoBody", kOpen + kClose, {}, FaultCode::Client, "Envelope has no Body"},
      {"NoMethod", InBody(" "), {}, FaultCode::Client, "Body has no method element"},
      {"TwoMethods", InBody(kCall + kCall), {},
       FaultCode::Client, "Body holds more than one method element"},
      {"MethodOutsideObjects", InBody("<Go/>"), {},
       FaultCode::Client, "Method Go is not in a namespace urn:quillmere:<Object>"},
      {"Malformed", InBody(kOpenCall + "</b>"), {},
       FaultCode::Client, "Malformed XML at line 1, column 107: mismatched tag"},
      {"EmptyOnSuccess", kLoneOnSuccess + kCall + "</s:Body>" + kClose, {},
       FaultCode::Client, "OnSuccess header holds no method element"}};
  // clang-format on
  for (const BadEnvelope& bad : cases) {
    const auto read = ReadEnvelope(bad.body, bad.limits);
    ASSERT_TRUE(std::holds_alternative<EnvelopeError>(read)) << bad.name;
    EXPECT_EQ(std::get<EnvelopeError>(read).code, bad.code) << bad.name;
    EXPECT_EQ(std::get<EnvelopeError>(read).text, bad.text) << bad.name;
  }
}

TEST(ReadEnvelope, TakesCallHeadersAndTheChildrenAsSent) {
  const std::string children =
      "<IdentityToken>a&amp;b</IdentityToken>\n  <DELTACELL_x_1><![CDATA[5]]></DELTACELL_x_1>";
  const std::string body =
      kOpen +
      "<s:Header xmlns:h=\"urn:quillmere:Host\"><h:Variables xmlns:z=\"urn:z\"><z:v>&lt;</z:v>" +
      "</h:Variables><h:OnSuccess object=\"WbemProvider\"><m:One " +
      "xmlns:m=\"urn:quillmere:WbemProvider\"><P>1</P></m:One></h:OnSuccess><h:OnSuccess>" +
      "<m:Two xmlns:m=\"urn:quillmere:Host\"/></h:OnSuccess>" +
      "<x:Must xmlns:x=\"urn:x\" s:mustUnderstand=\"1\"/><x:May xmlns:x=\"urn:x\" " +
      "s:mustUnderstand=\"0\"/><x:Elsewhere xmlns:x=\"urn:x\" s:mustUnderstand=\"1\" " +
      "s:actor=\"urn:other\"/></s:Header>" +
      InBody("<m:Put xmlns:m=\"urn:quillmere:WbemProvider\">" + children + "</m:Put>")
          .substr(kOpen.size());

  const auto read = ReadEnvelope(body);
  ASSERT_TRUE(std::holds_alternative<SoapRequest>(read));
  const SoapRequest& request = std::get<SoapRequest>(read);
  EXPECT_EQ(request.call.object + request.call.method, "WbemProviderPut");
  EXPECT_EQ(request.call.children, children);
  EXPECT_EQ(request.call.parameters,
            (std::vector<SoapParameter>{{"IdentityToken", "a&b"}, {"DELTACELL_x_1", "5"}}));
  EXPECT_TRUE(request.hasVariables);
  EXPECT_EQ(request.variables, "<z:v>&lt;</z:v>");
  EXPECT_EQ(request.variablesNamespaces,
            " xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" xmlns:z=\"urn:z\"");
  std::vector<std::string> chain;
  for (const SoapCall& next : request.onSuccess) {
    chain.push_back(next.object + "#" + next.method + "=" + next.children);
  }
  EXPECT_EQ(chain, (std::vector<std::string>{"WbemProvider#One=<P>1</P>", "Host#Two="}));
  EXPECT_EQ(request.notUnderstood, std::vector<std::string>{"{urn:x}Must"});
}

// What a read gave, in a few words, to compare two reads.
std::string Outcome(const std::variant<SoapRequest, EnvelopeError>& read) {
  if (const auto* error = std::get_if<EnvelopeError>(&read)) return "fault: " + error->text;
  const SoapRequest& request = std::get<SoapRequest>(read);
  std::string outcome = request.call.object + "#" + request.call.method + ":";
  for (const SoapParameter& parameter : request.call.parameters)
    outcome += " " + parameter.name + "=" + parameter.text.substr(0, 8);
  return outcome + " " + request.variables;
}

// A thread's parser reads one envelope after another: whatever the one before was (stopped
// from a handler, cut short, mismatched, large), the next reads as on a new thread.
TEST(ReadEnvelope, ReadsEachEnvelopeAsTheThreadsFirst) {
  const std::string call = "<m:Go xmlns:m=\"urn:quillmere:A\"><P>1</P></m:Go>";
  const std::string good = kOpen + "<s:Header><h:Variables xmlns:h=\"urn:quillmere:Host\">v" +
                           "</h:Variables></s:Header>" + InBody(call).substr(kOpen.size());
  const std::vector<std::string> bodies = {
      "<!DOCTYPE x []>" + InBody(call),
      good.substr(0, good.size() - 5),
      InBody("<m:Go xmlns:m=\"urn:quillmere:A\"></b>"),
      InBody("<m:Go xmlns:m=\"urn:quillmere:A\"><P>" + std::string(100000, 'x') + "</P></m:Go>"),
      InBody(call + call),
      good};
  std::vector<std::string> alone;
  for (const std::string& body : bodies) {
    std::thread([&] { alone.push_back(Outcome(ReadEnvelope(body))); }).join();
  }
  for (int round = 0; round < 2; ++round) {
    for (size_t i = 0; i < bodies.size(); ++i) {
      EXPECT_EQ(Outcome(ReadEnvelope(bodies[i])), alone[i]) << i;
      EXPECT_EQ(Outcome(ReadEnvelope(good)), alone.back()) << "after " << i;
    }
  }
}

TEST(ParseSoapAction, NamesObjectAndMethod) {
  using Named = std::optional<std::pair<std::string, std::string>>;
  // clang-format off
  const std::vector<std::pair<std::string, Named>> cases = {
      {"\"urn:quillmere:Host#Logon\"", std::pair{"Host", "Logon"}}, {"\"\"", std::nullopt},
      {" urn:quillmere:WbemProvider#GetMetadata ", std::pair{"WbemProvider", "GetMetadata"}},
      {"urn:other:Host#Logon", std::nullopt}, {"urn:quillmere:#Logon", std::nullopt},
      {"urn:quillmere:Host#Log on", std::nullopt}};
  // clang-format on
  for (const auto& [header, named] : cases)
    EXPECT_EQ(ParseSoapAction(header), named) << header;
}

TEST(CheckRequest, RefusesAMismatchedActionAndHeadersNotUnderstood) {
  const auto refusal = [](std::vector<std::string> notUnderstood, const std::string& action) {
    const auto refused = CheckRequest(
        {.call = {"Host", "Logon"}, .notUnderstood = std::move(notUnderstood)}, action);
    return refused ? std::to_string(static_cast<int>(refused->code)) + " " + refused->text : "";
  };
  EXPECT_EQ(refusal({}, "urn:quillmere:Host#Logon"), "");
  EXPECT_EQ(refusal({}, "urn:quillmere:Host#Logoff"),
            "0 SOAPAction names Host#Logoff but the Body calls Host#Logon");
  EXPECT_EQ(refusal({"{urn:x}A", "B"}, "urn:quillmere:Host#Logon"),
            "2 Headers not understood: {urn:x}A B");
}

}  // namespace
