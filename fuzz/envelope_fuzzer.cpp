// The SOAP envelope reader with the limits `quillmere serve` reads with, then the check the
// dispatcher makes next with the SOAPAction that names the envelope's own method.
#include <cstddef>
#include <cstdint>
#include <variant>

#include "fuzz_support.h"
#include "host/server/serve_options.h"
#include "host/soap/envelope.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quillmere::host;
  static const EnvelopeLimits limits{.maxBodyBytes = ServeOptions{}.maxBodyBytes};
  const auto read = ReadEnvelope(quillmere::fuzz::Bytes(data, size), limits);
  const auto* request = std::get_if<SoapRequest>(&read);
  if (request == nullptr) return 0;
  if (request->onSuccess.size() > limits.maxOnSuccessLinks)
    quillmere::fuzz::Broken("more OnSuccess links than the limit were read");
  CheckRequest(*request,
               "\"urn:quillmere:" + request->call.object + "#" + request->call.method + "\"");
  return 0;
}
