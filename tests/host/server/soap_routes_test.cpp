// Which requests reach the SOAP endpoint, and the HTTP status of every other one.
#include <gtest/gtest.h>

#include "host/soap_routes.h"

namespace {

using quillmere::host::HttpRequest;
using quillmere::host::HttpResponse;
using quillmere::host::IsSoapContentType;
using quillmere::host::SoapRoutes;

SoapRoutes Recording(std::string& seen) {
  SoapRoutes routes;
  routes.call = [&seen](const HttpRequest& request) {
    seen = "call " + request.Header("soapaction");
    return HttpResponse{};
  };
  routes.wsdl = [&seen](const std::string& url) {
    seen = "wsdl " + url;
    return std::string("<definitions/>");
  };
  routes.authority = [] { return std::string("127.0.0.1:8080"); };
  return routes;
}

HttpRequest Make(std::string method, std::string path, std::map<std::string, std::string> headers,
                 std::map<std::string, std::string> arguments = {}) {
  HttpRequest request;
  request.method = std::move(method);
  request.path = std::move(path);
  request.headers = std::move(headers);
  request.arguments = std::move(arguments);
  return request;
}

TEST(SoapRoutes, EachRequestGetsItsStatusAndOnlyGoodOnesReachTheEndpoint) {
  const std::map<std::string, std::string> soap{{"content-type", "text/xml; charset=utf-8"},
                                                {"soapaction", "\"urn:quillmere:Host#Logon\""}};
  const std::map<std::string, std::string> wsdl{{"wsdl", ""}};
  const struct {
    HttpRequest request;
    int status;
    std::string seen;
    std::string allow;
  } cases[] = {
      {Make("POST", "/soap", soap), 200, "call \"urn:quillmere:Host#Logon\"", ""},
      {Make("POST", "/soap", {{"content-type", "TEXT/XML"}, {"soapaction", ""}}), 200, "call ", ""},
      {Make("POST", "/soap", {{"soapaction", "a#b"}}), 415, "", ""},
      {Make("POST", "/soap", {{"content-type", "application/soap+xml"}, {"soapaction", "a#b"}}),
       415, "", ""},
      {Make("POST", "/soap", {{"content-type", "text/xml"}}), 400, "", ""},
      {Make("POST", "/other", soap), 404, "", ""},
      {Make("GET", "/soap", {}, wsdl), 200, "wsdl http://127.0.0.1:8080/soap", ""},
      {Make("GET", "/soap", {{"host", "example.org:81"}}, wsdl), 200,
       "wsdl http://example.org:81/soap", ""},
      // A Host header that would write markup into the document is not taken.
      {Make("GET", "/soap", {{"host", "x\"/><a"}}, wsdl), 200, "wsdl http://127.0.0.1:8080/soap",
       ""},
      {Make("GET", "/soap", {}), 405, "", "POST"},
      {Make("GET", "/", {}, wsdl), 404, "", ""},
      {Make("PUT", "/soap", soap), 405, "", "GET, POST"},
      {Make("DELETE", "/soap", {}, wsdl), 405, "", "GET, POST"},
  };
  for (const auto& c : cases) {
    std::string seen;
    const HttpResponse response = Recording(seen)(c.request);
    const std::string name = c.request.method + " " + c.request.path;
    EXPECT_EQ(response.status, c.status) << name;
    EXPECT_EQ(seen, c.seen) << name;
    std::string allow;
    for (const auto& [header, value] : response.headers) {
      if (header == "Allow") allow = value;
    }
    EXPECT_EQ(allow, c.allow) << name;
  }
}

TEST(SoapRoutes, ContentTypesOfSoap11) {
  for (const char* accepted : {"text/xml", "Text/XML", "text/xml;charset=utf-8",
                               "text/xml; charset=\"UTF-8\"", " text/xml ; charset = utf8"}) {
    EXPECT_TRUE(IsSoapContentType(accepted)) << accepted;
  }
  for (const char* refused : {"", "text/plain", "text/xmlx", "application/xml",
                              "text/xml; charset=iso-8859-1", "text/xml; boundary=x"}) {
    EXPECT_FALSE(IsSoapContentType(refused)) << refused;
  }
}

}  // namespace
