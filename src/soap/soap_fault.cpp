#include "soap/soap_fault.h"

#include <winport/com_ptr.h>

#include "errors/com_error.h"
#include "errors/new_bstr.h"

namespace quillmere {

HRESULT SetResponseFault(ISOAPMessage* response, winport::WideView text, FaultCode code) {
  winport::ComPtr<ISOAPFault> fault;
  CheckHr(response->getSOAPFault(fault.GetAddressOf()));
  if (!fault) RaiseComErrorWithoutInfo(E_POINTER);
  return fault->setSpecificFault(NewBstr(text).Get(), code);
}

}  // namespace quillmere
