// The MOF compiler (CLSID_MofCompiler): IMofCompiler over the WMI client API.
#pragma once

#include <winport/windows_api.h>

namespace winport::wmi {

// The class object that COM activation hands out for CLSID_MofCompiler.
HRESULT GetMofCompilerClassObject(REFIID riid, void** ppv);

}  // namespace winport::wmi
