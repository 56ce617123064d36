#include "wbem_provider/get_metadata.h"

#include <winport/wide.h>

#include "documents/xml_element.h"
#include "errors/com_error.h"
#include "errors/entry.h"
#include "errors/failure_helpers.h"
#include "settings/setting.h"
#include "soap/response_document.h"
#include "soap/soap_fault.h"
#include "soap/soap_object_impl.h"

namespace quillmere {

HRESULT CGetMetadata::execute(ISOAPMessage* request, ISOAPMessage* response) {
  Reporter& reporting = owner().reporting();
  return RunEntry(reporting, OLESTR("CGetMetadata::execute"), [&] {
    if (request->mustIUnderstand() != S_OK) {
      ResponseFault(response)->put_FaultCode(FaultCode::MustUnderstand);
      RaiseComError(E_FAIL);
    }
    CSetting setting(reporting);
    setting.Connect();  // a failed connection shows in the reading
    winport::WideString rows;
    ULONG count = 0;
    const HRESULT read = CheckHr(setting.ReadMetadata(rows, count));

    CXmlElement table(OLESTR("TABLE"));
    table.SetNeverSelfClose(true);
    winport::WideString document;
    table.Write(document);
    OrOutOfMemory([&] { document += rows; });
    table.WriteEndTag(document);
    AddXmlData(response, document);
    return read;
  });
}

}  // namespace quillmere
