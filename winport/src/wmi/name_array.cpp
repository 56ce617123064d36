#include "name_array.h"

#include <new>

#include <winport/scoped_bstr.h>
#include <winport/scoped_safe_array.h>

namespace winport::wmi {

BSTR MakeBstr(WideView text) {
  BSTR bstr = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (bstr == nullptr) throw std::bad_alloc();
  return bstr;
}

SAFEARRAY* MakeNameArray(const std::vector<WideString>& names) {
  ScopedSafeArray array(SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(names.size())));
  if (array.Get() == nullptr) throw std::bad_alloc();
  for (std::size_t i = 0; i < names.size(); ++i) {
    LONG index = static_cast<LONG>(i);
    ScopedBstr name;
    name.Reset(MakeBstr(names[i]));
    if (FAILED(SafeArrayPutElement(array.Get(), &index, name.Get()))) throw std::bad_alloc();
  }
  return array.Release();
}

}  // namespace winport::wmi
