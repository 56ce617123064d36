// Which HTTP requests reach the dispatcher, and the status and text every other one gets.
#include "host/server/soap_routes.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace quillmere::host {
namespace {

struct RouteCase {
  const char* name;
  std::string method, path;
  std::map<std::string, std::string> arguments, headers;
  int status;
  std::string body;   // the answer's whole body
  std::string allow;  // the Allow header; empty: none
  bool dispatched;    // the request reached the dispatcher
};

const std::map<std::string, std::string> kSoapHeaders = {
    {"content-type", "text/xml; charset=utf-8"}, {"soapaction", "\"urn:quillmere:Host#Logon\""}};

std::map<std::string, std::string> SoapHeadersWith(const std::string& name,
                                                   const std::string& value) {
  std::map<std::string, std::string> headers = kSoapHeaders;
  if (value.empty()) {
    headers.erase(name);
  } else {
    headers[name] = value;
  }
  return headers;
}

class Routes : public testing::TestWithParam<RouteCase> {};

TEST_P(Routes, AnswerOrPassOn) {
  const RouteCase& c = GetParam();
  bool dispatched = false;
  SoapRoutes routes;
  routes.call = [&](const HttpRequest&) {
    dispatched = true;
    return PlainResponse(200, "dispatched");
  };
  routes.wsdl = [](const std::string& url) { return "WSDL at " + url; };
  routes.endpointUrl = [] { return std::string("http://127.0.0.1:8080/soap"); };
  HttpRequest request;
  request.method = c.method;
  request.path = c.path;
  request.arguments = c.arguments;
  request.headers = c.headers;
  request.body = "<soap:Envelope/>";

  const HttpResponse response = routes(request);
  EXPECT_EQ(response.status, c.status);
  EXPECT_EQ(response.body, c.body);
  EXPECT_EQ(dispatched, c.dispatched);
  std::string allow;
  for (const auto& [name, value] : response.headers)
    if (name == "Allow") allow = value;
  EXPECT_EQ(allow, c.allow);
}

const std::map<std::string, std::string> kWsdl = {{"wsdl", ""}};

// clang-format off
INSTANTIATE_TEST_SUITE_P(Requests, Routes, testing::Values(
    RouteCase{"SoapCall", "POST", "/soap", {}, kSoapHeaders, 200, "dispatched\n", "", true},
    RouteCase{"OtherPath", "POST", "/other", {}, kSoapHeaders, 404, "Not found\n", "", false},
    RouteCase{"PathPrefix", "POST", "/soap/x", {}, kSoapHeaders, 404, "Not found\n", "", false},
    RouteCase{"Put", "PUT", "/soap", {}, kSoapHeaders, 405, "Method not allowed\n", "GET, POST",
              false},
    RouteCase{"Delete", "DELETE", "/soap", kWsdl, {}, 405, "Method not allowed\n", "GET, POST",
              false},
    RouteCase{"GetWithoutWsdl", "GET", "/soap", {}, {}, 405, "Method not allowed\n", "POST",
              false},
    // The address is the configured one whatever the Host header says.
    RouteCase{"Wsdl", "GET", "/soap", kWsdl, {{"host", "example.org:81"}}, 200,
              "WSDL at http://127.0.0.1:8080/soap", "", false},
    RouteCase{"WsdlByHead", "HEAD", "/soap", kWsdl, {{"host", "[::1]:8080"}}, 200,
              "WSDL at http://127.0.0.1:8080/soap", "", false},
    RouteCase{"WsdlWithoutHost", "GET", "/soap", kWsdl, {}, 200,
              "WSDL at http://127.0.0.1:8080/soap", "", false},
    RouteCase{"Json", "POST", "/soap", {}, SoapHeadersWith("content-type", "application/json"),
              415, "SOAP requests are sent as text/xml\n", "", false},
    RouteCase{"NoContentType", "POST", "/soap", {}, SoapHeadersWith("content-type", ""), 415,
              "SOAP requests are sent as text/xml\n", "", false},
    RouteCase{"Latin1", "POST", "/soap", {},
              SoapHeadersWith("content-type", "text/xml; charset=iso-8859-1"), 415,
              "SOAP requests are sent as text/xml\n", "", false},
    RouteCase{"OtherParameter", "POST", "/soap", {},
              SoapHeadersWith("content-type", "text/xml; boundary=x"), 415,
              "SOAP requests are sent as text/xml\n", "", false},
    RouteCase{"XmlLookalike", "POST", "/soap", {}, SoapHeadersWith("content-type", "text/xmlx"),
              415, "SOAP requests are sent as text/xml\n", "", false},
    RouteCase{"ContentTypeInAnyCase", "POST", "/soap", {},
              SoapHeadersWith("content-type", " TEXT/XML ; Charset=\"UTF-8\""), 200,
              "dispatched\n", "", true},
    RouteCase{"ContentTypeWithoutCharset", "POST", "/soap", {},
              SoapHeadersWith("content-type", "text/xml"), 200, "dispatched\n", "", true},
    RouteCase{"NoSoapAction", "POST", "/soap", {}, SoapHeadersWith("soapaction", ""), 400,
              "SOAPAction header missing\n", "", false},
    // Present but empty: the dispatcher answers it with a fault, not the routes.
    RouteCase{"EmptySoapAction", "POST", "/soap", {},
              {{"content-type", "text/xml"}, {"soapaction", ""}}, 200, "dispatched\n", "", true}),
    [](const testing::TestParamInfo<RouteCase>& info) { return info.param.name; });
// clang-format on

TEST(Routes, WsdlNamesTheConfiguredEndpoint) {
  SoapRoutes routes;
  routes.wsdl = [](const std::string& url) { return url; };
  routes.endpointUrl = [] { return std::string("https://admin.example.org/q/soap"); };
  HttpRequest request;
  request.method = "GET";
  request.path = "/soap";
  request.arguments = kWsdl;
  request.headers = {{"host", "example.org"}};
  const HttpResponse response = routes(request);
  EXPECT_EQ(response.body, "https://admin.example.org/q/soap");
  EXPECT_EQ(response.contentType, "text/xml; charset=utf-8");
}

}  // namespace
}  // namespace quillmere::host
