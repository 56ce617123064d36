// The Win32/COM/OLE Automation surface alone, without winport's helpers: what the
// helpers themselves include, so that any of them may be included first.
#pragma once

#ifdef _WIN32
#include <windows.h>

#include <comcat.h>
#include <float.h>
#include <mq.h>
#include <objbase.h>
#include <oleauto.h>
#include <process.h>
#include <sddl.h>
#include <wbemcli.h>
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
#include <winport/mq.h>
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
#include <winport/wbemcli.h>
#include <winport/winerror.h>
#endif
