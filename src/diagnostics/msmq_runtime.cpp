#include <winport/scoped_hkey.h>
#include <winport/scoped_library.h>

#include "diagnostics/msmq_queue.h"
#include "diagnostics/report_levels.h"
#include "errors/error_message.h"
#include "event_ids.h"

namespace quillmere {
namespace {

// Every function the runtime must offer, although the sender calls only six of them: a
// runtime without the others is not one this module was written against.
constexpr const char* kRuntimeFunctions[] = {
    "MQCreateQueue",    "MQOpenQueue",  "MQPathNameToFormatName", "MQMgmtGetInfo", "MQSendMessage",
    "MQReceiveMessage", "MQCloseQueue", "MQDeleteQueue",          "MQFreeMemory"};

template <class Function>
Function Bind(HMODULE library, const char* name) {
  // Through void (*)(), which converts to every function type without a warning.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

bool MessageQueuingInstalled() {
  winport::ScopedHkey key;
  return RegOpenKeyExW(HKEY_LOCAL_MACHINE, OLESTR("SOFTWARE\\Microsoft\\MSMQ\\Parameters"), 0,
                       KEY_READ, key.Receive()) == ERROR_SUCCESS;
}

void ReportMissingFunction(const EventLogChannel& events, DWORD error) {
  if (events.Source() == nullptr) return;
  const winport::WideString message = SystemMessageText(error);
  const winport::WideString text =
      message.empty()
          ? winport::FormatWide("Function [%s] returned Win32 Error: 0x%X (Unknown Error)",
                                "GetProcAddress()", static_cast<unsigned>(error))
          : winport::FormatWide("Function [%s] returned Win32 Error: 0x%X (%s)", "GetProcAddress()",
                                static_cast<unsigned>(error), winport::WideToUtf8(message).c_str());
  events.WriteEvent(EVENTLOG_ERROR_TYPE, kCategoryError, kEventMsmqRuntimeMissing, text.c_str());
}

}  // namespace

MsmqRuntime& MsmqRuntime::ForProcess() {
  static MsmqRuntime runtime;
  return runtime;
}

bool LoadMsmqRuntime(MsmqRuntime& runtime, const EventLogChannel& events) {
  if (runtime.bound) return true;
  if (!runtime.probed) {
    runtime.installed = MessageQueuingInstalled();
    if (!runtime.installed)
      events.WriteEvent(EVENTLOG_WARNING_TYPE, kCategoryNone, kEventMsmqNotInstalled);
    runtime.probed = true;
  }
  if (!runtime.installed || runtime.failed) return false;

  winport::ScopedLibrary library(LoadLibraryW(OLESTR("mqrt.dll")));
  if (!library.IsValid()) {
    runtime.failed = true;
    events.WriteEvent(EVENTLOG_ERROR_TYPE, kCategoryNone, kEventMsmqRuntimeMissing);
    return false;
  }
  for (const char* name : kRuntimeFunctions) {
    if (GetProcAddress(library.Get(), name) == nullptr) {
      runtime.failed = true;
      ReportMissingFunction(events, GetLastError());
      return false;
    }
  }
  const HMODULE bound = library.Release();  // stays loaded for the life of the process
  runtime.createQueue = Bind<decltype(&MQCreateQueue)>(bound, "MQCreateQueue");
  runtime.openQueue = Bind<decltype(&MQOpenQueue)>(bound, "MQOpenQueue");
  runtime.pathNameToFormatName =
      Bind<decltype(&MQPathNameToFormatName)>(bound, "MQPathNameToFormatName");
  runtime.mgmtGetInfo = Bind<decltype(&MQMgmtGetInfo)>(bound, "MQMgmtGetInfo");
  runtime.sendMessage = Bind<decltype(&MQSendMessage)>(bound, "MQSendMessage");
  runtime.closeQueue = Bind<decltype(&MQCloseQueue)>(bound, "MQCloseQueue");
  runtime.bound = true;
  return true;
}

}  // namespace quillmere
