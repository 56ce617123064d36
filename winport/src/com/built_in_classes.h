// The system's own in-process classes, served without any registration so that they
// work on a fresh machine: the component-category manager and the WMI locator.
#pragma once

#include <winport/windows_api.h>

namespace winport::detail {

// The class object of a built-in class; REGDB_E_CLASSNOTREG for any other class.
HRESULT GetBuiltInClassObject(REFCLSID clsid, REFIID riid, void** ppv);

}  // namespace winport::detail
