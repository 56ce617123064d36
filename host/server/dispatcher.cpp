#include "host/server/dispatcher.h"

#include <variant>

#include "host/common/hresult_text.h"
#include "host/soap/response_writer.h"
#include "host/soap/soap_message.h"
#include "host/soap/soap_namespaces.h"

namespace quillmere::host {
namespace {

using quillmere::FaultCode;

HttpResponse AsHttp(HttpReply reply, std::string label) {
  HttpResponse response;
  response.status = reply.status;
  response.contentType = "text/xml; charset=utf-8";
  response.body = std::move(reply.body);
  response.logLabel = std::move(label);
  return response;
}

// What the request log names the request by: the object and method its SOAPAction names.
std::string LogLabel(const std::string& soapAction) {
  const auto named = ParseSoapAction(soapAction);
  return named ? named->first + "#" + named->second : "?";
}

}  // namespace

Dispatcher::Dispatcher(SoapService& service, const HostMethods& hostMethods,
                       const Authorizer& authorizer, HostLog& log, EnvelopeLimits limits)
    : service_(service),
      hostMethods_(hostMethods),
      authorizer_(authorizer),
      log_(log),
      limits_(limits) {}

HttpResponse Dispatcher::operator()(const HttpRequest& http) const {
  const std::string action = http.Header("soapaction");
  const std::string label = LogLabel(action);
  auto read = ReadEnvelope(http.body, limits_);
  if (const auto* error = std::get_if<EnvelopeError>(&read)) {
    return AsHttp(WriteFault(error->code, error->text), label);
  }
  SoapRequest& request = std::get<SoapRequest>(read);
  if (const auto refused = CheckRequest(request, action)) {
    return AsHttp(WriteFault(refused->code, refused->text), label);
  }
  // Nothing runs, not even the first method, unless the whole chain may.
  if (const auto refused = authorizer_.Refusal(request)) {
    log_.Write(LogLevel::Warning, "refused " + label + " from " + http.client + ": " + *refused);
    return AsHttp(WriteFault(FaultCode::Client, kPermissionDenied), label);
  }
  // The message takes the request over; the host's own methods read their call from a copy,
  // the module's only name their object.
  const bool hostObject = request.call.object == kHostObject;
  const SoapCall call =
      hostObject ? request.call : SoapCall{request.call.object, request.call.method};
  const winport::ComPtr<quillmere::ISOAPMessage> message = MakeRequestMessage(std::move(request));
  if (!message) return AsHttp(WriteFault(FaultCode::Server, "Out of memory"), label);

  winport::ComPtr<quillmere::ISOAPMessage> response;
  if (hostObject) {
    response = hostMethods_.Run(message.Get(), call, http.client);
  } else {
    const HRESULT hr = service_.Dispatch(call.object, message.Get(), response.GetAddressOf());
    if (!response) {
      return AsHttp(WriteFault(FaultCode::Server, call.object + "#" + call.method +
                                                      " gave no response: " + HresultText(hr)),
                    label);
    }
  }
  if (!response) return AsHttp(WriteFault(FaultCode::Server, "Out of memory"), label);
  HttpReply reply = WriteResponse(response.Get(), limits_);
  if (!reply.warning.empty()) log_.Write(LogLevel::Warning, reply.warning);
  return AsHttp(std::move(reply), label);
}

}  // namespace quillmere::host
