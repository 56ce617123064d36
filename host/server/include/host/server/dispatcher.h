// A SOAP request from HTTP to its answer: the envelope read, the request checked
// (CheckRequest: the SOAPAction names the body's method element, no mustUnderstand header
// is left not understood; the Authorizer: the caller may run the method and every link of
// its OnSuccess chain), and the call run by the Host object or by the module's object of
// that name.
#pragma once

#include "host/server/authorization.h"
#include "host/server/host_log.h"
#include "host/server/host_methods.h"
#include "host/server/http_message.h"
#include "host/server/soap_service.h"
#include "host/soap/envelope.h"

namespace quillmere::host {

class Dispatcher {
 public:
  // Refusals and mended answers are written to log as warnings.
  Dispatcher(SoapService& service, const HostMethods& hostMethods, const Authorizer& authorizer,
             HostLog& log, EnvelopeLimits limits);

  // Any request the routes passed: with a SOAPAction header and an XML body.
  HttpResponse operator()(const HttpRequest& request) const;

 private:
  SoapService& service_;
  const HostMethods& hostMethods_;
  const Authorizer& authorizer_;
  HostLog& log_;
  const EnvelopeLimits limits_;
};

}  // namespace quillmere::host
