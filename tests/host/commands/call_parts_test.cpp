// The parts of `quillmere call` whose form is fixed: the request envelope, what is read
// from an answer, the URLs accepted, and the reading layout of a document.
#include <gtest/gtest.h>

#include "host/commands/call_envelope.h"
#include "host/commands/command_support.h"
#include "host/commands/http_client.h"
#include "host/commands/pretty_xml.h"

namespace quillmere::host {
namespace {

constexpr const char* kEnvelope =
    R"(<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/"><soap:Body>)";

TEST(CallEnvelope, RequestCarriesParametersThenCells) {
  EXPECT_EQ(RequestEnvelope({"Administrator",
                             "UserPermissions",
                             {{"IdentityToken", "a<&b"}},
                             {{"0_UserName", "x<y"}}}),
            std::string(kEnvelope) + R"(<m:UserPermissions xmlns:m="urn:quillmere:Administrator">)"
                                     "<IdentityToken>a&lt;&amp;b</IdentityToken>"
                                     "<DELTACELL_0_UserName><![CDATA[x<y]]></DELTACELL_0_UserName>"
                                     "</m:UserPermissions></soap:Body></soap:Envelope>");
  EXPECT_THROW(RequestEnvelope({"Host", "Logon", {{"a b", "1"}}, {}}), CommandFailure);
  EXPECT_EQ(SoapAction("Host", "Logon"), "\"urn:quillmere:Host#Logon\"");
}

TEST(CallEnvelope, AnswerParts) {
  const std::string body = std::string(kEnvelope) + R"(<m:XResponse xmlns:m="urn:quillmere:Host">)";
  const auto answer = ReadCallAnswer(body +
                                     "<JobId>7</JobId><XMLDATA><a x='1'>&amp;</a> </XMLDATA>"
                                     "<N>a&lt;b</N></m:XResponse></soap:Body></soap:Envelope>");
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->results, (NamedTexts{{"JobId", "7"}, {"N", "a<b"}}));
  EXPECT_EQ(answer->document, "<a x='1'>&amp;</a> ");
  EXPECT_EQ(ReadCallAnswer(body + "<XMLDATA/></m:XResponse></soap:Body></soap:Envelope>")->document,
            "");
  const auto fault =
      ReadCallAnswer(std::string(kEnvelope) +
                     "<soap:Fault><faultcode>soap:Server</faultcode><faultstring>"
                     "no &lt;x&gt;</faultstring></soap:Fault></soap:Body></soap:Envelope>");
  ASSERT_TRUE(fault && fault->fault);
  EXPECT_EQ(fault->fault->code + "|" + fault->fault->text, "soap:Server|no <x>");
  for (const char* notAnEnvelope : {"<x/>", "", "Not Found", "<soap:Envelope"})
    EXPECT_FALSE(ReadCallAnswer(notAnEnvelope)) << notAnEnvelope;
}

TEST(HttpUrl, AcceptsPlainHttpOnly) {
  const auto url = ParseHttpUrl("http://localhost:81/soap?wsdl");
  ASSERT_TRUE(url);
  EXPECT_EQ(url->host + "|" + std::to_string(url->port) + "|" + url->path,
            "localhost|81|/soap?wsdl");
  const auto bare = ParseHttpUrl("http://[::1]");
  ASSERT_TRUE(bare);
  EXPECT_EQ(bare->host + "|" + std::to_string(bare->port) + "|" + bare->path, "::1|80|/");
  for (const char* refused : {"https://h/soap", "http://:80/", "http://h:0/", "http://h:65536/",
                              "http://h:/", "http://[::1/", "http://u@h/", "h:80/soap"})
    EXPECT_FALSE(ParseHttpUrl(refused)) << refused;
}

TEST(PrettyXml, Layouts) {
  const std::pair<const char*, const char*> cases[] = {
      {"<a>x &amp; y</a><b/>", "<a>x &amp; y</a>\n<b/>\n"},
      {"<a k='1 \"2\"'> <b>t</b>\n</a>", "<a k=\"1 &quot;2&quot;\">\n  <b>t</b>\n</a>\n"},
      {"<p>lead <i>x</i> tail </p>", "<p>\n  lead\n  <i>x</i>\n  tail\n</p>\n"},
      {"<c><![CDATA[<raw>]]></c><!--n--><?pi d?>",
       "<c><![CDATA[<raw>]]></c>\n<!--n-->\n<?pi d?>\n"},
      {"<t> </t><u>a<![CDATA[b]]></u>", "<t> </t>\n<u>a<![CDATA[b]]></u>\n"},
  };
  for (const auto& [fragment, expected] : cases)
    EXPECT_EQ(PrettyXml(fragment), expected) << fragment;
  for (const char* malformed : {"<a><b></a>", "<a>&nbsp;</a>", "</fragment><x>"})
    EXPECT_FALSE(PrettyXml(malformed)) << malformed;
}

}  // namespace
}  // namespace quillmere::host
