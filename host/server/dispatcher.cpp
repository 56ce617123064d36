#include "host/server/dispatcher.h"

#include <variant>

#include <winport/scoped_bstr.h>
#include <winport/wide.h>

#include "host/server/module_loader.h"
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

std::string Joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names)
    text += (text.empty() ? "" : ", ") + name;
  return text;
}

}  // namespace

Dispatcher::Dispatcher(SoapService& service, const HostMethods& hostMethods, EnvelopeLimits limits)
    : service_(service), hostMethods_(hostMethods), limits_(limits) {}

HttpResponse Dispatcher::operator()(const HttpRequest& http) const {
  const auto action = ParseSoapAction(http.Header("soapaction"));
  if (!action) {
    return AsHttp(WriteFault(FaultCode::Client,
                             "The SOAPAction header must name \"urn:quillmere:<Object>#<Method>\""),
                  "?");
  }
  const std::string label = action->first + "#" + action->second;
  auto read = ReadEnvelope(http.body, limits_);
  if (const auto* error = std::get_if<EnvelopeError>(&read)) {
    return AsHttp(WriteFault(error->code, error->text), label);
  }
  SoapRequest& request = std::get<SoapRequest>(read);
  if (request.call.object != action->first || request.call.method != action->second) {
    return AsHttp(
        WriteFault(FaultCode::Client, "The SOAPAction names " + label + " but the body calls " +
                                          request.call.object + "#" + request.call.method),
        label);
  }
  if (!request.notUnderstood.empty()) {
    return AsHttp(WriteFault(FaultCode::MustUnderstand,
                             "Header not understood: " + Joined(request.notUnderstood)),
                  label);
  }
  const SoapCall call = request.call;
  const winport::ComPtr<quillmere::ISOAPMessage> message = MakeRequestMessage(std::move(request));
  if (!message) return AsHttp(WriteFault(FaultCode::Server, "Out of memory"), label);

  winport::ComPtr<quillmere::ISOAPMessage> response;
  if (call.object == kHostObject) {
    response = hostMethods_.Run(message.Get(), call, http.client);
  } else {
    const winport::ScopedBstr object(winport::Utf8ToWide(call.object).c_str());
    const HRESULT hr = service_.DispatchSOAP(object.Get(), message.Get(), response.GetAddressOf());
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
