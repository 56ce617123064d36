// An owning kernel handle (thread, event, mutex, file, token). Null and
// INVALID_HANDLE_VALUE both mean "none", as the functions that make handles answer
// either on failure; an empty wrapper holds null.
#pragma once

#include <winport/scoped_generic.h>
#include <winport/windows_api.h>

namespace winport {

struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle InvalidValue() { return nullptr; }
  static bool IsValid(Handle handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
  static void Close(Handle handle) { CloseHandle(handle); }
};

using ScopedHandle = ScopedGeneric<KernelHandleTraits>;

}  // namespace winport
