#include "soap/soap_fault.h"

#include "errors/com_error.h"
#include "errors/new_bstr.h"

namespace quillmere {

winport::ComPtr<ISOAPFault> ResponseFault(ISOAPMessage* response) {
  winport::ComPtr<ISOAPFault> fault;
  CheckHr(response->getSOAPFault(fault.GetAddressOf()));
  if (!fault) RaiseComErrorWithoutInfo(E_POINTER);
  return fault;
}

void SetResponseFault(ISOAPMessage* response, winport::WideView text, FaultCode code) {
  ResponseFault(response)->setSpecificFault(NewBstr(text).Get(), code);
}

}  // namespace quillmere
