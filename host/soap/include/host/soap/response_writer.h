// Responses and faults as the HTTP answer: status and envelope.
#pragma once

#include <string>
#include <string_view>

#include "quillmere/soap_host.h"

namespace quillmere::host {

struct HttpReply {
  int status;
  std::string body;  // the envelope, UTF-8
};

// A faulted response -> 500 with its Fault, else 200 with its Body.
HttpReply WriteResponse(quillmere::ISOAPMessage* response);
HttpReply WriteFault(quillmere::FaultCode code, std::string_view text,
                     std::string_view detail = {});

}  // namespace quillmere::host
