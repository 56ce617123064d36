// What DllRegisterServer and DllUnregisterServer do: the served classes' registry keys,
// the type library and the component category the classes implement.
#pragma once

#include <winport/windows.h>

namespace quillmere {

// module: the module whose resources hold the classes' registration scripts; modulePath:
// its file as GetModuleFileNameW gives it. S_OK, the first failing step's HRESULT, or
// E_FAIL when the component category cannot be registered.
HRESULT RegisterModule(HINSTANCE module, winport::WideView modulePath);
// Every step is tried, every class's keys included; the first failure of the key removal
// or the type library's is answered.
HRESULT UnregisterModule(HINSTANCE module, winport::WideView modulePath);

}  // namespace quillmere
