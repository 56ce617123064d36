// A smoke program of the public surface: it sees only <winport/windows.h>, links only
// winport, and calls a few entry points of each facility with Windows' own signatures.
// Exits non-zero, naming each call that did not answer as Windows does.
#include <winport/windows.h>

#include <cstdio>

namespace {

int g_failures = 0;
#define CHECK(call) \
  ((call) ? void() : (std::fprintf(stderr, "consumer: %s\n", #call), void(++g_failures)))

unsigned __stdcall SetItsEvent(void* event) {
  return SetEvent(static_cast<HANDLE>(event)) ? 0 : 1;
}

}  // namespace

int main() {
  // OLE Automation: strings, variants, arrays, code pages, system texts, error info.
  BSTR text = SysAllocString(OLESTR("12"));
  VARIANT joined;
  VariantInit(&joined);
  joined.vt = VT_BSTR;
  CHECK(VarBstrCat(text, text, &joined.bstrVal) == S_OK);
  CHECK(VarBstrCmp(text, joined.bstrVal, LOCALE_USER_DEFAULT, 0) == VARCMP_LT);
  CHECK(VariantChangeType(&joined, &joined, 0, VT_I4) == S_OK && joined.lVal == 1212);
  SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, 1);
  LONG index = 0;
  CHECK(SafeArrayPutElement(array, &index, text) == S_OK && SafeArrayDestroy(array) == S_OK);
  SysFreeString(text);
  OLECHAR wide[MAX_PATH] = {};
  CHECK(MultiByteToWideChar(CP_ACP, 0, "\x80", 1, wide, 4) == 1 && wide[0] == 0x20AC);
  LPWSTR message = nullptr;
  CHECK(FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 5, 0,
                       reinterpret_cast<LPWSTR>(&message), 0, nullptr) > 0);
  LocalFree(message);
  winport::ComPtr<ICreateErrorInfo> info;
  CHECK(CreateErrorInfo(info.GetAddressOf()) == S_OK);

  // COM: an apartment and a class the system serves.
  CHECK(CoInitializeEx(nullptr, COINIT_MULTITHREADED) == S_OK);
  winport::ComPtr<ICatRegister> categories;
  CHECK(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                         IID_PPV_ARGS(categories.GetAddressOf())) == S_OK);
  categories.Reset();
  CoUninitialize();

  // The machine: registry, event log, files, libraries, the process's token.
  winport::ScopedHkey key;
  CHECK(RegCreateKeyExW(HKEY_CURRENT_USER, OLESTR("Software\\QuillmereConsumer"), 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr) == ERROR_SUCCESS);
  CHECK(RegSetValueExW(key.Get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(OLESTR("x")),
                       4) == ERROR_SUCCESS);
  key.Reset();
  CHECK(RegDeleteTreeW(HKEY_CURRENT_USER, OLESTR("Software\\QuillmereConsumer")) == ERROR_SUCCESS);
  HANDLE source = RegisterEventSourceW(nullptr, OLESTR("Quillmere consumer"));
  CHECK(ReportEventW(source, EVENTLOG_INFORMATION_TYPE, 0, 1, nullptr, 0, 0, nullptr, nullptr));
  CHECK(DeregisterEventSource(source));
  const OLECHAR* path = OLESTR("C:\\quillmere-consumer.txt");
  HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD size = 0;
  CHECK(WriteFile(file, "line\r\n", 6, &size, nullptr) && size == 6 && CloseHandle(file));
  CHECK(DeleteFileW(path));
  CHECK(GetModuleFileNameW(nullptr, wide, MAX_PATH) > 0);
  CHECK(LoadLibraryW(OLESTR("quillmere_no_such_library.dll")) == nullptr);
  HANDLE token = nullptr;
  CHECK(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  CHECK(!GetTokenInformation(token, TokenUser, nullptr, 0, &size) && size > 0 &&
        CloseHandle(token));

  // Threads, waits, the named mutex, time formats, fault translation.
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE thread =
      reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, SetItsEvent, event, 0, nullptr));
  CHECK(WaitForSingleObject(thread, 10000) == WAIT_OBJECT_0 && CloseHandle(thread));
  CHECK(WaitForSingleObject(event, 0) == WAIT_OBJECT_0 && CloseHandle(event));
  HANDLE mutex = CreateMutexW(nullptr, TRUE, OLESTR("QuillmereConsumer"));
  CHECK(ReleaseMutex(mutex) && CloseHandle(mutex));
  SYSTEMTIME now;
  GetLocalTime(&now);
  CHECK(GetDateFormatW(LOCALE_USER_DEFAULT, 0, &now, OLESTR("yyyy'-'MM'-'dd"), wide, 11) == 11);
  CHECK(_set_se_translator(_set_se_translator(nullptr)) == nullptr);
  return g_failures == 0 ? 0 : 1;
}
