// The namespaces of the host's envelopes: SOAP's own, the host's headers and one per object.
#pragma once

#include <string>
#include <string_view>

namespace quillmere::host {

inline constexpr std::string_view kEnvelopeNamespace = "http://schemas.xmlsoap.org/soap/envelope/";
inline constexpr std::string_view kObjectNamespacePrefix = "urn:quillmere:";
inline constexpr std::string_view kHostObject = "Host";
inline constexpr std::string_view kHostNamespace = "urn:quillmere:Host";  // its headers too

inline std::string ObjectNamespace(std::string_view object) {
  return std::string(kObjectNamespacePrefix) + std::string(object);
}

}  // namespace quillmere::host
