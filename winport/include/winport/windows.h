// The one header of the platform: the Win32/COM/OLE Automation surface the module uses,
// as <windows.h> brings it on Windows, plus the RAII wrappers and test hooks of winport.
#pragma once

#include <winport/windows_api.h>

#include <winport/com_object.h>
#include <winport/com_ptr.h>
#include <winport/critical_section.h>
#include <winport/fault_injection.h>
#include <winport/platform_info.h>
#include <winport/scoped_bstr.h>
#include <winport/scoped_com_init.h>
#include <winport/scoped_generic.h>
#include <winport/scoped_handle.h>
#include <winport/scoped_hkey.h>
#include <winport/scoped_library.h>
#include <winport/scoped_safe_array.h>
#include <winport/scoped_variant.h>
#include <winport/test_clock.h>
#include <winport/wide.h>
