// Responses and faults as the HTTP answer: status and envelope.
#pragma once

#include <string>
#include <string_view>

#include "host/soap/envelope.h"
#include "quillmere/soap_host.h"

namespace quillmere::host {

struct HttpReply {
  int status;
  std::string body;     // the envelope, UTF-8
  std::string warning;  // for the host's log: what had to be mended, when something had
};

// A faulted response -> 500 with its Fault, else 200 with its Body. The method's document
// goes in as XML when it is well-formed and within the limits an envelope is read with;
// otherwise as escaped text, with a warning, so the client can always read the envelope.
HttpReply WriteResponse(quillmere::ISOAPMessage* response, const EnvelopeLimits& limits = {});
HttpReply WriteFault(quillmere::FaultCode code, std::string_view text,
                     std::string_view detail = {});

}  // namespace quillmere::host
