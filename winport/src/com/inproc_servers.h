// In-process servers activated through the registry: HKCR\CLSID\{clsid}\InprocServer32
// names the library, which is loaded once and kept until it agrees to be unloaded.
#pragma once

#include <winport/windows.h>

namespace winport::detail {

// The class object of clsid from its registered library. REGDB_E_CLASSNOTREG when the
// class or its InprocServer32 is not registered, the library's load error as an HRESULT
// when it cannot be loaded, CO_E_ERRORINDLL when it exports no DllGetClassObject.
HRESULT GetInprocServerClassObject(REFCLSID clsid, REFIID riid, void** ppv);

// Unloads the loaded servers whose DllCanUnloadNow answers S_OK.
void FreeUnusedInprocServers();

}  // namespace winport::detail
