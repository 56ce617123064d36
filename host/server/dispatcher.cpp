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

Dispatcher::Dispatcher(SoapService& service, const HostMethods& hostMethods, EnvelopeLimits limits)
    : service_(service), hostMethods_(hostMethods), limits_(limits) {}

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
  const SoapCall call = request.call;
  const winport::ComPtr<quillmere::ISOAPMessage> message = MakeRequestMessage(std::move(request));
  if (!message) return AsHttp(WriteFault(FaultCode::Server, "Out of memory"), label);

  winport::ComPtr<quillmere::ISOAPMessage> response;
  if (call.object == kHostObject) {
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
  return AsHttp(WriteResponse(response.Get()), label);
}

}  // namespace quillmere::host
