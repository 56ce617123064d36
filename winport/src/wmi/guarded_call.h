// The body of a WMI call: a failed allocation inside it becomes WBEM_E_OUT_OF_MEMORY
// instead of an exception leaving the interface.
#pragma once

#include <new>

#include <winport/windows_api.h>

namespace winport::wmi {

template <class Body>
HRESULT GuardedCall(Body body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return WBEM_E_OUT_OF_MEMORY;
  }
}

}  // namespace winport::wmi

namespace winport::wmi {

// Whether hr is the WMI status code, whose enumeration is unsigned.
constexpr bool IsStatus(HRESULT hr, WBEMSTATUS status) {
  return hr == static_cast<HRESULT>(status);
}

}  // namespace winport::wmi
