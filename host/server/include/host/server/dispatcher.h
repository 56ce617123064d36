// A SOAP request from HTTP to its answer: the envelope read, the request checked
// (CheckRequest: the SOAPAction names the body's method element, no mustUnderstand header
// is left not understood), and the call run by the Host object or by the module's object
// of that name.
#pragma once

#include "host/server/host_methods.h"
#include "host/server/http_message.h"
#include "host/server/soap_service.h"
#include "host/soap/envelope.h"

namespace quillmere::host {

class Dispatcher {
 public:
  Dispatcher(SoapService& service, const HostMethods& hostMethods, EnvelopeLimits limits);

  // Any request the routes passed: with a SOAPAction header and an XML body.
  HttpResponse operator()(const HttpRequest& request) const;

 private:
  SoapService& service_;
  const HostMethods& hostMethods_;
  const EnvelopeLimits limits_;
};

}  // namespace quillmere::host
