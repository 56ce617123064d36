#include "wbem_provider/class_providers.h"

#include <winport/wide.h>

#include "errors/com_error.h"
#include "errors/entry.h"
#include "settings/setting.h"
#include "soap/response_document.h"
#include "soap/soap_object_impl.h"

namespace quillmere {

HRESULT CClassProvider::execute(ISOAPMessage*, ISOAPMessage* response) {
  Reporter& reporting = owner().reporting();
  return RunEntry(reporting, texts_.traceName, [&] {
    CSetting setting(reporting);
    CheckHr(setting.Connect());
    winport::WideString document;
    CheckHr(setting.EnumerateWbemClassObject(texts_.className, texts_.variableCount, document));
    return CheckHr(AddXmlData(response, document));
  });
}

}  // namespace quillmere
