// Which HTTP requests reach the SOAP endpoint: POST /soap with an XML body and a
// SOAPAction header, and GET /soap?wsdl for the service description. Everything else is
// answered here with its HTTP status.
#pragma once

#include <functional>
#include <string>

#include "host/server/http_message.h"

namespace quillmere::host {

struct SoapRoutes {
  // A request that passed the checks: it has an XML body and a SOAPAction header.
  std::function<HttpResponse(const HttpRequest& request)> call;
  // The WSDL document describing the endpoint at this URL.
  std::function<std::string(const std::string& endpointUrl)> wsdl;
  // The endpoint's URL as configured. Never taken from the request: a forged Host header
  // would send the clients of a cached or shared WSDL elsewhere.
  std::function<std::string()> endpointUrl;

  HttpResponse operator()(const HttpRequest& request) const;
};

// True for "text/xml" with an optional UTF-8 charset, in any case, as SOAP 1.1 sends it.
bool IsSoapContentType(const std::string& contentType);

}  // namespace quillmere::host
