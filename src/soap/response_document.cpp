#include "soap/response_document.h"

#include "errors/new_bstr.h"

namespace quillmere {

HRESULT AddXmlData(ISOAPMessage* response, winport::WideView document) {
  return response->addResponseParameter(NewBstr(OLESTR("XMLDATA")).Get(), NewBstr(document).Get(),
                                        VARIANT_TRUE);
}

}  // namespace quillmere
