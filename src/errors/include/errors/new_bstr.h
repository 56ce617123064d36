// A BSTR copy of a wide text; running out of memory raises E_OUTOFMEMORY.
#pragma once

#include <winport/scoped_bstr.h>
#include <winport/wide.h>
#include <winport/windows.h>

#include "errors/com_error.h"

namespace quillmere {

inline winport::ScopedBstr NewBstr(winport::WideView text) {
  winport::ScopedBstr bstr;
  bstr.Reset(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
  if (bstr.Get() == nullptr) RaiseComErrorWithoutInfo(E_OUTOFMEMORY);
  return bstr;
}

}  // namespace quillmere
