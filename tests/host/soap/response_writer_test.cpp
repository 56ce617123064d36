#include <gtest/gtest.h>

#include "host/soap/response_writer.h"
#include "host/soap/soap_message.h"
#include "message_text.h"

namespace {

using quillmere::FaultCode;
using namespace quillmere::host;

const std::string kOpen =
    "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body>";
const std::string kClose = "</soap:Body></soap:Envelope>";

std::string Fault(const std::string& inner) {
  return kOpen + "<soap:Fault>" + inner + "</soap:Fault>" + kClose;
}

TEST(WriteFault, WritesTheCodeTextAndDetail) {
  // clang-format off
  const std::vector<std::pair<FaultCode, std::string>> codes = {
      {FaultCode::Client, "soap:Client"}, {FaultCode::Auth, "soap:Client"},
      {FaultCode::Server, "soap:Server"}, {FaultCode::MustUnderstand, "soap:MustUnderstand"},
      {FaultCode::VersionMismatch, "soap:VersionMismatch"}};
  // clang-format on
  for (const auto& [code, name] : codes) {
    const HttpReply reply = WriteFault(code, "a<b", "d&");
    EXPECT_EQ(reply.status, 500);
    EXPECT_EQ(reply.body, Fault("<faultcode>" + name + "</faultcode><faultstring>a&lt;b" +
                                "</faultstring><detail>d&amp;</detail>"));
  }
  EXPECT_EQ(WriteFault(FaultCode::Server, "t").body,
            Fault("<faultcode>soap:Server</faultcode><faultstring>t</faultstring>"));
}

TEST(WriteResponse, WritesTheParametersInOrderOnlyTheDocumentAsXml) {
  const auto response = MakeResponseFor(MakeRequestMessage({.call = {"Host", "Logon"}}).Get());
  for (const auto& [name, value, xml] :
       {std::tuple{"IdentityToken", "a&<b>", VARIANT_TRUE},
        std::tuple{"XMLDATA", "<X a=\"1\">&amp;</X>", VARIANT_TRUE},
        std::tuple{"Note", "<X/>", VARIANT_FALSE}}) {
    ASSERT_EQ(response->addResponseParameter(Bstr(name).Get(), Bstr(value).Get(), xml), S_OK);
  }
  const HttpReply reply = WriteResponse(response.Get());
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.body, kOpen +
                            "<m:LogonResponse xmlns:m=\"urn:quillmere:Host\">"
                            "<IdentityToken>a&amp;&lt;b&gt;</IdentityToken>"
                            "<XMLDATA><X a=\"1\">&amp;</X></XMLDATA><Note>&lt;X/&gt;</Note>"
                            "</m:LogonResponse>" +
                            kClose);

  winport::ComPtr<quillmere::ISOAPFault> fault;
  ASSERT_EQ(response->getSOAPFault(fault.GetAddressOf()), S_OK);
  fault->put_FaultCode(FaultCode::Server);
  EXPECT_EQ(WriteResponse(response.Get()).status, 200);
  fault->setSpecificFault(Bstr("No").Get(), FaultCode::Auth);
  fault->put_faultDetail(Bstr("why").Get());
  EXPECT_EQ(WriteResponse(response.Get()).body, WriteFault(FaultCode::Client, "No", "why").body);
}

// The scan proves the plain documents; the parser still decides every other one.
TEST(WriteResponse, SendsOnlyWellFormedDocumentsWithinTheLimitsAsXml) {
  // Four levels above the document: two more levels and five more elements fit.
  const EnvelopeLimits limits{.maxDepth = 6, .maxElements = 9};
  const std::pair<std::string, bool> cases[] = {
      {"<A b=\"&amp;\">&#x42;</A>", true},
      {"<m:A/><soap:B/>", true},
      {"<p:A xmlns:p=\"urn:x\"><p:B/></p:A>", true},
      {"<A><!-- c --><![CDATA[<x>]]><?x y?></A>", true},
      {"<\xC3\x84 xmlns=\"urn:x\"/>", true},
      {"<A><B/></A><C/><D/>", true},
      {"<A><B><C/></B></A>", false},
      {"<A/><B/><C/><D/><E/><F/>", false},
      {"<p:A/>", false},
      {"<A><B></A>", false},
      {"a]]>b", false},
  };
  for (const auto& [document, asXml] : cases) {
    const auto response = MakeResponseFor(MakeRequestMessage({.call = {"Host", "M"}}).Get());
    response->addResponseParameter(Bstr("XMLDATA").Get(), Bstr(document).Get(), VARIANT_TRUE);
    const HttpReply reply = WriteResponse(response.Get(), limits);
    EXPECT_EQ(reply.body.find("<XMLDATA>" + document + "</XMLDATA>") != std::string::npos, asXml)
        << document << "\n"
        << reply.body;
    EXPECT_EQ(reply.warning.empty(), asXml) << document;
  }
}

}  // namespace
