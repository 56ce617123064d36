// A SOAP 1.1 request envelope as the host reads it: the method call of the Body, the
// host's own headers and the mustUnderstand headers nobody here understands.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "quillmere/soap_host.h"

namespace quillmere::host {

// Each OnSuccess link is a whole further call, run before the answer is written.
inline constexpr size_t kMaxOnSuccessLinks = 16;

struct EnvelopeLimits {
  size_t maxBodyBytes = 1 << 20;
  int maxDepth = 32;
  size_t maxElements = 20000;
  size_t maxOnSuccessLinks = kMaxOnSuccessLinks;
};

// A child element of the method element, by local name, with its text entities decoded.
struct SoapParameter {
  std::string name, text;
  bool operator==(const SoapParameter&) const = default;
};

struct SoapCall {
  std::string object, method;  // from the method element's namespace and local name
  std::vector<SoapParameter> parameters{};
  std::string children{};  // the method element's content exactly as sent
};

struct SoapRequest {
  SoapCall call{};
  std::string variables{};  // inner XML of h:Variables, exactly as sent
  bool hasVariables = false;
  std::string variablesNamespaces{};  // " xmlns:p=\"uri\"..." in scope there, for a copy elsewhere
  std::vector<SoapCall> onSuccess{};  // the OnSuccess chain, in order
  std::vector<std::string> notUnderstood{};  // "{namespace}local" of mustUnderstand headers
};

struct EnvelopeError {
  quillmere::FaultCode code;
  std::string text;
};

std::variant<SoapRequest, EnvelopeError> ReadEnvelope(std::string_view body,
                                                      const EnvelopeLimits& limits = {});

// "urn:quillmere:<Object>#<Method>", quotes optional -> {object, method}.
std::optional<std::pair<std::string, std::string>> ParseSoapAction(std::string_view header);

// The fault for a request whose SOAPAction does not name its method element, or that
// carries mustUnderstand headers not understood here; nullopt when it may be dispatched.
std::optional<EnvelopeError> CheckRequest(const SoapRequest& request, std::string_view soapAction);

}  // namespace quillmere::host
