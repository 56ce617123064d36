#include "wbem_provider/put_metadata.h"

#include <winport/com_ptr.h>
#include <winport/scoped_bstr.h>

#include "documents/edited_cell.h"
#include "errors/failure_helpers.h"
#include "errors/new_bstr.h"
#include "settings/setting.h"
#include "soap/soap_object_impl.h"

namespace quillmere {

// No trace scope and no catch ladder: a COM error raised inside is the answer, and any
// other failure answers the result reached so far.
HRESULT CPutMetadata::execute(ISOAPMessage* request, ISOAPMessage* response) {
  HRESULT reached = S_OK;
  return RunAnsweringComError(reached, [&] { reached = Apply(request, response, reached); });
}

HRESULT CPutMetadata::Apply(ISOAPMessage* request, ISOAPMessage* response, HRESULT& reached) {
  winport::ComPtr<ISOAPFault> fault;
  if (request->mustIUnderstand() != S_OK) {
    const HRESULT got = response->getSOAPFault(fault.GetAddressOf());
    if (fault == nullptr) return FAILED(got) ? got : E_POINTER;
    fault->put_FaultCode(FaultCode::MustUnderstand);
    return E_FAIL;
  }
  winport::ScopedBstr children;
  reached = request->getDictionaryInformation(children.Receive());
  const auto cell = FindEditedCell(winport::BstrView(children.Get()));
  if (!cell) {
    const HRESULT got = response->getSOAPFault(fault.GetAddressOf());
    if (fault == nullptr) return FAILED(got) ? got : E_POINTER;
    fault->setSpecificFault(NewBstr(OLESTR("putMetadata Failed")).Get(), FaultCode::Client);
    return got;
  }
  CSetting setting(owner().reporting());
  setting.Connect();
  // The table of the answer shows whether the change was made.
  setting.ModifySetting(NewBstr(cell->row), NewBstr(cell->value));
  return getMetadata_.execute(request, response);
}

}  // namespace quillmere
