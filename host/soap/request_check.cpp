// What the protocol asks of a request beyond a well-formed envelope.
#include "host/soap/envelope.h"

namespace quillmere::host {

std::optional<EnvelopeError> CheckRequest(const SoapRequest& request, std::string_view soapAction) {
  const auto named = ParseSoapAction(soapAction);
  if (!named) {
    return EnvelopeError{FaultCode::Client,
                         "SOAPAction must be \"urn:quillmere:<Object>#<Method>\""};
  }
  if (named->first != request.call.object || named->second != request.call.method) {
    return EnvelopeError{FaultCode::Client, "SOAPAction names " + named->first + "#" +
                                                named->second + " but the Body calls " +
                                                request.call.object + "#" + request.call.method};
  }
  if (!request.notUnderstood.empty()) {
    std::string text = "Headers not understood:";
    for (const std::string& header : request.notUnderstood)
      text += " " + header;
    return EnvelopeError{FaultCode::MustUnderstand, std::move(text)};
  }
  return std::nullopt;
}

}  // namespace quillmere::host
