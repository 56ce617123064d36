// The library the library tests load by name.
#include <winport/windows.h>

#include "registry_text.h"
#include "testlib_key.h"

#ifdef _WIN32
#define QUILLMERE_TESTLIB_EXPORT extern "C" __declspec(dllexport)
#else
#define QUILLMERE_TESTLIB_EXPORT extern "C" __attribute__((visibility("default")))
#endif

QUILLMERE_TESTLIB_EXPORT int QuillmereTestAdd(int a, int b) {
  return a + b;
}

// The library's own handle, found from an address inside it, as a module finds itself.
QUILLMERE_TESTLIB_EXPORT HMODULE QuillmereTestSelf() {
  HMODULE self = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&QuillmereTestSelf), &self)) {
    return nullptr;
  }
  return self;
}

// The library's own file name, GetModuleFileNameW's answer for QuillmereTestSelf().
QUILLMERE_TESTLIB_EXPORT DWORD QuillmereTestModuleFileName(LPWSTR buffer, DWORD size) {
  const HMODULE self = QuillmereTestSelf();
  return self != nullptr ? GetModuleFileNameW(self, buffer, size) : 0;
}

// Each notification appends its reason to kTestLibNotifications, so a test reads them
// after the library is gone: "1" attach, "0" detach, "2"/"3" thread notifications, "X" a
// process-exit detach, "E" an attach given the wrong handle. The attach refuses while
// kTestLibFailAttach is set. Thread notifications count only once they were switched off:
// Windows refuses to switch them off for a library with static thread-local storage, as
// a mingw-w64 build has. A detach that stops the library's thread adds "T" when the
// thread's handle said it had ended, "H" when it had done its work but not yet ended.
namespace {
bool g_threadCallsOff = false;
winport::ScopedHandle g_thread;
winport::ScopedHandle g_go;      // manual reset: the thread may finish
winport::ScopedHandle g_answer;  // auto reset: set by the thread once running, again once done

unsigned __stdcall WaitThenFinish(void*) {
  const HANDLE answer = g_answer.Get();
  SetEvent(answer);
  WaitForSingleObject(g_go.Get(), INFINITE);
  SetEvent(answer);
  return 0;
}

// Lets the thread finish and waits for it to say so, then gives its end a moment.
const OLECHAR* StopThread() {
  SetEvent(g_go.Get());
  WaitForSingleObject(g_answer.Get(), INFINITE);
  const bool ended = WaitForSingleObject(g_thread.Get(), 200) == WAIT_OBJECT_0;
  g_thread.Reset();
  return ended ? OLESTR("T") : OLESTR("H");
}
}  // namespace

// Starts the library's thread; returns once it runs (on Windows, past its own attach).
QUILLMERE_TESTLIB_EXPORT BOOL QuillmereTestStartThread() {
  g_go.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  g_answer.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  g_thread.Reset(
      reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &WaitThenFinish, nullptr, 0, nullptr)));
  return g_thread.IsValid() && WaitForSingleObject(g_answer.Get(), INFINITE) == WAIT_OBJECT_0;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
  using testing_support::ReadRegistryString;
  const winport::WideString keyPath = TestLibKey();
  const OLECHAR* key = keyPath.c_str();
  winport::WideString seen =
      ReadRegistryString(HKEY_CURRENT_USER, key, OLESTR("Notifications")).value_or(OLESTR(""));
  bool refuse = false;
  if (reason == DLL_PROCESS_ATTACH) {
    g_threadCallsOff = DisableThreadLibraryCalls(module) != FALSE;
    seen += module == QuillmereTestSelf() ? OLESTR("1") : OLESTR("E");
    refuse = ReadRegistryString(HKEY_CURRENT_USER, key, OLESTR("FailAttach")).has_value();
  } else if (reason == DLL_PROCESS_DETACH) {
    seen += reserved == nullptr ? OLESTR("0") : OLESTR("X");
    if (g_thread.IsValid()) seen += StopThread();
  } else if (g_threadCallsOff) {
    seen += static_cast<OLECHAR>('0' + reason);
  }
  testing_support::WriteRegistryString(HKEY_CURRENT_USER, key, OLESTR("Notifications"), seen);
  return refuse ? FALSE : TRUE;
}
