// The library the library tests load by name.
#include <winport/windows.h>

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
