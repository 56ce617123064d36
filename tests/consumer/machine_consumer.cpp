// The machine services seen from a program that knows only <winport/windows.h> (and,
// to read the event log back, winport's reader): register a class in a fresh prefix,
// create it by ProgID, write an event and read it back, bind a library function by name.
// Exits non-zero, naming the step, when one fails.
#include <winport/event_log_reader.h>
#include <winport/windows.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

int g_failures = 0;

void Expect(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "machine consumer: %s\n", what);
    ++g_failures;
  }
}

bool SetDefault(const OLECHAR* path, const winport::WideString& value) {
  winport::ScopedHkey key;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      key.Receive(), nullptr) != ERROR_SUCCESS) {
    return false;
  }
  return RegSetValueExW(key.Get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(OLECHAR))) == ERROR_SUCCESS;
}

void RegisterAndCreateByProgId(const char* server_path) {
  const OLECHAR* clsid_text = OLESTR("{3C6F0A91-52E4-4B0D-8F17-6A2C9041D302}");
  Expect(SetDefault(OLESTR("CLSID\\{3C6F0A91-52E4-4B0D-8F17-6A2C9041D302}\\InprocServer32"),
                    winport::Utf8ToWide(server_path)),
         "register InprocServer32");
  Expect(SetDefault(OLESTR("Quillmere.TestCounter\\CLSID"), clsid_text), "register the ProgID");
  CLSID clsid{};
  Expect(CLSIDFromProgID(OLESTR("Quillmere.TestCounter"), &clsid) == S_OK, "CLSIDFromProgID");
  Expect(CoInitializeEx(nullptr, COINIT_MULTITHREADED) == S_OK, "CoInitializeEx");
  IUnknown* object = nullptr;
  Expect(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                          reinterpret_cast<void**>(&object)) == S_OK,
         "CoCreateInstance by ProgID");
  if (object != nullptr) object->Release();
  CoFreeUnusedLibraries();
  CoUninitialize();
}

void WriteAndReadAnEvent() {
  HANDLE source = RegisterEventSourceW(nullptr, OLESTR("Quillmere Consumer"));
  Expect(source != nullptr, "RegisterEventSourceW");
  LPCWSTR strings[] = {OLESTR("consumer event")};
  Expect(ReportEventW(source, EVENTLOG_INFORMATION_TYPE, 0, 42, nullptr, 1, 0, strings, nullptr) ==
             TRUE,
         "ReportEventW");
  DeregisterEventSource(source);
  const auto events =
      winport::eventlog::ReadEvents(0, winport::WideString(OLESTR("Quillmere Consumer")));
  Expect(events.size() == 1 && events[0].event_id == 42 && events[0].strings.size() == 1 &&
             events[0].strings[0] == OLESTR("consumer event"),
         "read the event back");
}

void BindALibraryFunction(const char* library_path) {
  const winport::WideString path = winport::Utf8ToWide(library_path);
  HMODULE library = LoadLibraryW(path.c_str());
  Expect(library != nullptr, "LoadLibraryW");
  if (library == nullptr) return;
  using Add = int (*)(int, int);
  auto add =
      reinterpret_cast<Add>(reinterpret_cast<void*>(GetProcAddress(library, "QuillmereTestAdd")));
  Expect(add != nullptr && add(2, 3) == 5, "GetProcAddress");
  Expect(FreeLibrary(library) == TRUE, "FreeLibrary");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: machine_consumer COM-SERVER-LIBRARY PLAIN-LIBRARY\n");
    return 2;
  }
  // A fresh machine of its own, removed afterwards.
  char prefix[] = "/tmp/quillmere-consumer-XXXXXX";
  if (mkdtemp(prefix) == nullptr) return 2;
  setenv("QUILLMERE_PREFIX", prefix, 1);
  RegisterAndCreateByProgId(argv[1]);
  WriteAndReadAnEvent();
  BindALibraryFunction(argv[2]);
  std::filesystem::remove_all(prefix);
  if (g_failures == 0) std::puts("machine consumer: every step answered as Windows does");
  return g_failures == 0 ? 0 : 1;
}
