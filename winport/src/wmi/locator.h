// The class object of CLSID_WbemLocator, which COM activation serves built in.
#pragma once

#include <winport/windows_api.h>

namespace winport::wmi {

HRESULT GetLocatorClassObject(REFIID riid, void** ppv);

}  // namespace winport::wmi
