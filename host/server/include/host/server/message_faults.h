// Faults the host itself answers with, made on response messages as the module makes its own.
#pragma once

#include <string_view>

#include <winport/com_ptr.h>
#include <winport/windows.h>

#include "quillmere/soap_host.h"

namespace quillmere::host {

void SetFault(quillmere::ISOAPMessage* response, quillmere::FaultCode code, std::string_view text);

// A fresh response to request, faulted.
winport::ComPtr<quillmere::ISOAPMessage> FaultResponseFor(quillmere::ISOAPMessage* request,
                                                          quillmere::FaultCode code,
                                                          std::string_view text);

}  // namespace quillmere::host
