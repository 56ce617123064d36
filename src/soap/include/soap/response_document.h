// The document a method answers with: the response parameter "XMLDATA", inserted as XML.
#pragma once

#include <winport/wide.h>
#include <winport/windows.h>

#include "quillmere/soap_host.h"

namespace quillmere {

// Answers what addResponseParameter answers; only running out of memory raises.
HRESULT AddXmlData(ISOAPMessage* response, winport::WideView document);

}  // namespace quillmere
