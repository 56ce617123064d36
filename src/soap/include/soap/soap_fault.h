// Turning a response into a SOAP fault.
#pragma once

#include <winport/com_ptr.h>
#include <winport/wide.h>
#include <winport/windows.h>

#include "quillmere/soap_host.h"

namespace quillmere {

// The response's fault object. A failed getSOAPFault raises, and so does a response
// without one (E_POINTER).
winport::ComPtr<ISOAPFault> ResponseFault(ISOAPMessage* response);

// Sets the response's fault. Only a fault that cannot be had raises; what
// setSpecificFault answers is not looked at.
void SetResponseFault(ISOAPMessage* response, winport::WideView text, FaultCode code);

}  // namespace quillmere
