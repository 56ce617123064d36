// The one header of the platform: the Win32/COM/OLE Automation surface the module uses,
// as <windows.h> brings it on Windows, plus the RAII wrappers and test hooks of winport.
#pragma once

#ifdef _WIN32
#include <windows.h>

#include <comcat.h>
#include <float.h>
#include <objbase.h>
#include <oleauto.h>
#include <process.h>
#include <sddl.h>
#include <winport/se_translator.h>
#include <winport/uuidof.h>
#else
#include <winport/base_types.h>
#include <winport/codepage.h>
#include <winport/com.h>
#include <winport/comcat.h>
#include <winport/errorinfo.h>
#include <winport/eventlog.h>
#include <winport/fileapi.h>
#include <winport/guid.h>
#include <winport/handles.h>
#include <winport/library.h>
#include <winport/message.h>
#include <winport/oleauto.h>
#include <winport/registry.h>
#include <winport/se_translator.h>
#include <winport/security.h>
#include <winport/synch.h>
#include <winport/sysinfo.h>
#include <winport/threads.h>
#include <winport/time.h>
#include <winport/typelib.h>
#include <winport/unknown.h>
#include <winport/uuidof.h>
#include <winport/winerror.h>
#endif

#include <winport/com_object.h>
#include <winport/com_ptr.h>
#include <winport/fault_injection.h>
#include <winport/platform_info.h>
#include <winport/scoped_bstr.h>
#include <winport/scoped_handle.h>
#include <winport/scoped_hkey.h>
#include <winport/scoped_library.h>
#include <winport/scoped_safe_array.h>
#include <winport/scoped_variant.h>
#include <winport/test_clock.h>
#include <winport/wide.h>
