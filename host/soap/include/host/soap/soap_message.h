// The message objects the module is handed: requests read from envelopes, and responses
// made through the SoapMessage class or by the host for its own methods.
#pragma once

#include <winport/com_ptr.h>
#include <winport/windows.h>

#include "host/common/class_object.h"
#include "host/soap/envelope.h"
#include "quillmere/soap_host.h"

namespace quillmere::host {

winport::ComPtr<quillmere::ISOAPMessage> MakeRequestMessage(SoapRequest request);

// A response to request: its structure and variables copied, no parameters yet.
winport::ComPtr<quillmere::ISOAPMessage> MakeResponseFor(quillmere::ISOAPMessage* request);

// Serves __uuidof(quillmere::SoapMessage) in process for as long as it lives. Throws
// std::runtime_error when COM refuses the registration.
class MessageClass {
 public:
  MessageClass();

 private:
  ServedClass served_;
};

}  // namespace quillmere::host
