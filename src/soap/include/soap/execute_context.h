// The state of one Execute call, on its stack.
#pragma once

#include <winport/wide.h>
#include <winport/windows.h>

#include "quillmere/soap_host.h"

namespace quillmere {

class SOAPMethod;

struct ExecuteContext {
  ISOAPMessage* request = nullptr;        // borrowed
  ISOAPMessage** responseSlot = nullptr;  // the host's out-parameter
  winport::WideString methodName;         // as the request names it
  SOAPMethod* method = nullptr;           // null until a method matches
  HRESULT result = S_OK;                  // the method's, then the OnSuccess steps'
};

}  // namespace quillmere
