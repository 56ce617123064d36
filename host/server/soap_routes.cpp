#include "host/server/soap_routes.h"

#include <algorithm>
#include <cctype>

#include "host/common/ascii_case.h"

namespace quillmere::host {
namespace {

constexpr const char* kPath = "/soap";

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

HttpResponse MethodNotAllowed(const char* allowed) {
  HttpResponse response = PlainResponse(405, "Method not allowed");
  response.headers.emplace_back("Allow", allowed);
  return response;
}

}  // namespace

bool IsSoapContentType(const std::string& contentType) {
  const std::string value = AsciiLower(contentType);
  const size_t semicolon = value.find(';');
  if (Trim(value.substr(0, semicolon)) != "text/xml") return false;
  if (semicolon == std::string::npos) return true;
  const std::string parameter = Trim(value.substr(semicolon + 1));
  if (parameter.empty()) return true;
  const size_t equals = parameter.find('=');
  if (equals == std::string::npos || Trim(parameter.substr(0, equals)) != "charset") return false;
  std::string charset = Trim(parameter.substr(equals + 1));
  if (charset.size() >= 2 && charset.front() == '"' && charset.back() == '"') {
    charset = charset.substr(1, charset.size() - 2);
  }
  return charset == "utf-8" || charset == "utf8";
}

HttpResponse SoapRoutes::operator()(const HttpRequest& request) const {
  if (request.path != kPath) return PlainResponse(404, "Not found");
  if (request.method == "GET" || request.method == "HEAD") {
    if (!request.arguments.contains("wsdl")) return MethodNotAllowed("POST");
    HttpResponse response;
    response.contentType = "text/xml; charset=utf-8";
    response.body = wsdl(endpointUrl());
    response.logLabel = "/soap?wsdl";
    return response;
  }
  if (request.method != "POST") return MethodNotAllowed("GET, POST");
  if (!IsSoapContentType(request.Header("content-type"))) {
    return PlainResponse(415, "SOAP requests are sent as text/xml");
  }
  if (!request.HasHeader("soapaction")) return PlainResponse(400, "SOAPAction header missing");
  return call(request);
}

}  // namespace quillmere::host
