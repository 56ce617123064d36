// Turning a response into a SOAP fault.
#pragma once

#include <winport/wide.h>
#include <winport/windows.h>

#include "soap/soap_host.h"

namespace quillmere {

// Raises when the response has no fault object to give; answers setSpecificFault's result.
HRESULT SetResponseFault(ISOAPMessage* response, winport::WideView text, FaultCode code);

}  // namespace quillmere
