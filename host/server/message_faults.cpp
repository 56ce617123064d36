#include "host/server/message_faults.h"

#include "host/common/bstr_text.h"
#include "host/soap/soap_message.h"

namespace quillmere::host {

void SetFault(quillmere::ISOAPMessage* response, quillmere::FaultCode code, std::string_view text) {
  winport::ComPtr<quillmere::ISOAPFault> fault;
  if (FAILED(response->getSOAPFault(fault.GetAddressOf())) || !fault) return;
  const winport::ScopedBstr bstr = ScopedBstrOf(text);
  fault->setSpecificFault(bstr.Get(), code);
}

winport::ComPtr<quillmere::ISOAPMessage> FaultResponseFor(quillmere::ISOAPMessage* request,
                                                          quillmere::FaultCode code,
                                                          std::string_view text) {
  winport::ComPtr<quillmere::ISOAPMessage> response = MakeResponseFor(request);
  if (response) SetFault(response.Get(), code, text);
  return response;
}

}  // namespace quillmere::host
