// The module as COM and the registration tools use it: loaded by path, registered,
// activated by ProgID, unloaded once nothing holds it.
#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <winport/windows.h>

#include "module/module_ids.h"
#include "platform_skips.h"
#include "quillmere/soap_object_interfaces.h"
#include "registry_text.h"
#include "test_host.h"
#include "wide_matchers.h"

namespace {

using quillmere::Administer;
using quillmere::IAdminister;
using quillmere::IWbemProvider;
using quillmere::WbemProvider;
using testing_support::KeyExists;
using testing_support::Narrow;
using testing_support::ReadRegistryString;
using winport::ComPtr;
using winport::WideString;

using Export = HRESULT(STDAPICALLTYPE*)();
using GetClassObjectExport = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

WideString GuidText(REFGUID guid) {
  OLECHAR text[39];
  StringFromGUID2(guid, text, 39);
  return WideString(text, 38);
}

bool ModuleLoaded() {
  HMODULE module = nullptr;
  return GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            winport::Utf8ToWide(QUILLMERE_ADMIN_FILE).c_str(), &module) != FALSE;
}

// Registers the module, or unregisters it, as an installer does: on Windows with the
// system's regsvr32 in a process of its own (its exit code), elsewhere through the export.
HRESULT RegisterAsInstaller(bool unregister) {
  const WideString file = winport::Utf8ToWide(QUILLMERE_ADMIN_FILE);
#ifdef _WIN32
  OLECHAR path[MAX_PATH];
  GetFullPathNameW(file.c_str(), MAX_PATH, path, nullptr);
  WideString command = OLESTR("regsvr32.exe /s ") +
                       WideString(unregister ? OLESTR("/u \"") : OLESTR("\"")) + path +
                       OLESTR("\"");
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &started)) {
    return HRESULT_FROM_WIN32(GetLastError());
  }
  const winport::ScopedHandle process(started.hProcess);
  const winport::ScopedHandle thread(started.hThread);
  DWORD exitCode = STILL_ACTIVE;
  WaitForSingleObject(process.Get(), INFINITE);
  GetExitCodeProcess(process.Get(), &exitCode);
  return static_cast<HRESULT>(exitCode);
#else
  // In the apartment regsvr32 gives it.
  const winport::ScopedComInit apartment(COINIT_APARTMENTTHREADED);
  const winport::ScopedLibrary library(LoadLibraryW(file.c_str()));
  const auto entry = reinterpret_cast<Export>(reinterpret_cast<void (*)()>(
      GetProcAddress(library.Get(), unregister ? "DllUnregisterServer" : "DllRegisterServer")));
  return entry != nullptr ? entry() : HRESULT_FROM_WIN32(GetLastError());
#endif
}

// The library loaded by path, with its exports.
class ModuleDll : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(com_.Succeeded());
    ASSERT_TRUE(library_.IsValid()) << GetLastError();
  }

  template <class Function>
  Function Get(const char* name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void (*)()>(GetProcAddress(library_.Get(), name)));
  }
  HRESULT Call(const char* name) { return Get<Export>(name)(); }
  HRESULT ClassObject(REFCLSID clsid, ComPtr<IClassFactory>* factory) {
    return Get<GetClassObjectExport>("DllGetClassObject")(
        clsid, __uuidof(IClassFactory), reinterpret_cast<void**>(factory->GetAddressOf()));
  }
  WideString ModulePath() {
    OLECHAR path[4096];
    return WideString(path, GetModuleFileNameW(library_.Get(), path, 4096));
  }

  winport::ScopedComInit com_{COINIT_MULTITHREADED};
  winport::ScopedLibrary library_{LoadLibraryW(winport::Utf8ToWide(QUILLMERE_ADMIN_FILE).c_str())};
};

TEST_F(ModuleDll, ExportsOnlyItsEntryPoints) {
  for (const char* name : {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                           "DllUnregisterServer", "QuillmereReportQueueState"}) {
    EXPECT_NE(GetProcAddress(library_.Get(), name), nullptr) << name;
  }
  for (const char* name : {"DllMain", "AttachModule", "_ZN9quillmere11AttachModuleEPv"}) {
    EXPECT_EQ(GetProcAddress(library_.Get(), name), nullptr) << name;
  }
}

TEST_F(ModuleDll, RegistrationWritesEachKeyAndUnregistrationRemovesAllButClsid) {
  ASSERT_EQ(Call("DllRegisterServer"), S_OK);
  struct Row {
    WideString path;
    const OLECHAR* name;
    WideString value;
  };
  std::vector<Row> rows;
  for (const auto& [clsid, coclass] : {std::pair{__uuidof(Administer), OLESTR("Administer")},
                                       std::pair{__uuidof(WbemProvider), OLESTR("WbemProvider")}}) {
    const WideString progId = OLESTR("quillmere.") + WideString(coclass);
    const WideString key = OLESTR("CLSID\\") + GuidText(clsid);
    const WideString title = WideString(coclass) + OLESTR(" Class");
    rows.insert(rows.end(),
                {{progId + OLESTR(".1"), nullptr, title},
                 {progId + OLESTR(".1\\CLSID"), nullptr, GuidText(clsid)},
                 {progId, nullptr, title},
                 {progId + OLESTR("\\CLSID"), nullptr, GuidText(clsid)},
                 {progId + OLESTR("\\CurVer"), nullptr, progId + OLESTR(".1")},
                 {key, nullptr, title},
                 {key + OLESTR("\\ProgID"), nullptr, progId + OLESTR(".1")},
                 {key + OLESTR("\\VersionIndependentProgID"), nullptr, progId},
                 {key + OLESTR("\\InprocServer32"), nullptr, ModulePath()},
                 {key + OLESTR("\\InprocServer32"), OLESTR("ThreadingModel"), OLESTR("Free")},
                 {key + OLESTR("\\TypeLib"), nullptr, GuidText(quillmere::kModuleTypeLibraryId)},
                 {OLESTR("Interface\\") + GuidText(__uuidof(IAdminister)) + OLESTR("\\TypeLib"),
                  nullptr, GuidText(quillmere::kModuleTypeLibraryId)}});
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, (key + OLESTR("\\Programmable")).c_str()));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, (key + OLESTR("\\Implemented Categories\\") +
                                              quillmere::kImplementedCategoryText)
                                                 .c_str()));
  }
  for (const Row& row : rows) {
    EXPECT_EQ(Narrow(ReadRegistryString(HKEY_CLASSES_ROOT, row.path.c_str(), row.name)
                         .value_or(OLESTR("<none>"))),
              Narrow(row.value))
        << Narrow(row.path);
  }

  ASSERT_EQ(Call("DllUnregisterServer"), S_OK);
  for (const Row& row : rows) {
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, row.path.c_str())) << Narrow(row.path);
  }
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, OLESTR("CLSID")));
}

// Unregistration goes on past a class whose keys cannot be removed (after the categories'
// two removals) and answers that failure.
TEST_F(ModuleDll, UnregistrationGoesOnPastAClassThatFails) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  ASSERT_EQ(Call("DllRegisterServer"), S_OK);
  winport::fault::FailCall("RegDeleteTreeW", ERROR_ACCESS_DENIED, 3);
  EXPECT_EQ(Call("DllUnregisterServer"), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, OLESTR("quillmere.Administer.1")));
  const WideString later = OLESTR("CLSID\\") + GuidText(__uuidof(WbemProvider));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, later.c_str()));
}

// As a client lists them by index, whether the library is embedded or lies beside it.
TEST_F(ModuleDll, TheTypeLibraryListsBothClassesFaultCodeAndTheInterfaces) {
  ComPtr<ITypeLib> library;
  ASSERT_EQ(LoadTypeLibEx(ModulePath().c_str(), REGKIND_NONE, library.GetAddressOf()), S_OK);
  std::vector<std::string> types;  // "kind name help"
  for (UINT index = 0; index < library->GetTypeInfoCount(); ++index) {
    TYPEKIND kind = TKIND_MAX;
    winport::ScopedBstr name, help;
    ASSERT_EQ(library->GetTypeInfoType(index, &kind), S_OK);
    ASSERT_EQ(library->GetDocumentation(static_cast<INT>(index), name.Receive(), help.Receive(),
                                        nullptr, nullptr),
              S_OK);
    types.push_back(std::to_string(kind) + " " + Narrow(name.Get()) + " " + Narrow(help.Get()));
  }
  std::sort(types.begin(), types.end());
  EXPECT_EQ(types, (std::vector<std::string>{
                       "0 FaultCode ", "3 IAdminister ", "3 ISOAPFault ", "3 ISOAPMessage ",
                       "3 ISetting ", "3 ISoapService ", "3 IWbemProvider ", "3 _ISoapObject ",
                       "5 Administer Administer Class", "5 WbemProvider WbemProvider Class"}));
}

TEST_F(ModuleDll, ClassObjectRefusalsAndTheirCodes) {
  ComPtr<IClassFactory> factory;
  EXPECT_EQ(ClassObject(GUID_NULL, &factory), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(factory.Get(), nullptr);
  ASSERT_EQ(ClassObject(__uuidof(Administer), &factory), S_OK);
  ComPtr<IClassFactory> again;
  ASSERT_EQ(ClassObject(__uuidof(Administer), &again), S_OK);
  EXPECT_EQ(again.Get(), factory.Get());

  EXPECT_EQ(factory->CreateInstance(nullptr, __uuidof(IUnknown), nullptr), E_POINTER);
  void* object = &object;
  EXPECT_EQ(factory->CreateInstance(again.Get(), __uuidof(IUnknown), &object),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object, nullptr);
  object = &object;
  EXPECT_EQ(factory->CreateInstance(nullptr, __uuidof(IDispatch), &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  // The refused query destroyed the object: nothing holds the module.
  EXPECT_EQ(Call("DllCanUnloadNow"), S_OK);
}

TEST_F(ModuleDll, LocksAndObjectsKeepTheModuleLoadedUntilReleased) {
  ASSERT_EQ(Call("DllRegisterServer"), S_OK);
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(
      CoGetClassObject(__uuidof(WbemProvider), CLSCTX_INPROC_SERVER, nullptr,
                       __uuidof(IClassFactory), reinterpret_cast<void**>(factory.GetAddressOf())),
      S_OK);
  EXPECT_EQ(Call("DllCanUnloadNow"), S_OK);
  ASSERT_EQ(factory->LockServer(TRUE), S_OK);
  EXPECT_EQ(Call("DllCanUnloadNow"), S_FALSE);
  ComPtr<IUnknown> object;
  ASSERT_EQ(factory->CreateInstance(nullptr, __uuidof(IUnknown),
                                    reinterpret_cast<void**>(object.GetAddressOf())),
            S_OK);
  ASSERT_EQ(factory->LockServer(FALSE), S_OK);
  EXPECT_EQ(Call("DllCanUnloadNow"), S_FALSE);
  CoFreeUnusedLibraries();
  factory.Reset();
  object.Reset();
  EXPECT_EQ(Call("DllCanUnloadNow"), S_OK);
  ASSERT_EQ(Call("DllUnregisterServer"), S_OK);

  // COM's reference goes once the module agrees (with no delay: free-threaded libraries
  // are otherwise kept for minutes); then this test's own.
  library_.Reset();
  EXPECT_TRUE(ModuleLoaded());
  CoFreeUnusedLibrariesEx(0, 0);
  EXPECT_FALSE(ModuleLoaded());
}

// Objects made and released on eight threads at once through one class factory.
using ModuleDllThreads = ModuleDll;
TEST_F(ModuleDllThreads, EightThreadsShareOneClassFactory) {
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(ClassObject(__uuidof(Administer), &factory), S_OK);
  std::vector<std::thread> threads;
  std::vector<int> made(8, 0);
  for (int& count : made) {
    threads.emplace_back([&factory, &count] {
      for (int round = 0; round < 50; ++round) {
        ComPtr<quillmere::ISetting> setting;
        if (factory->CreateInstance(nullptr, __uuidof(quillmere::ISetting),
                                    reinterpret_cast<void**>(setting.GetAddressOf())) == S_OK) {
          ++count;
        }
      }
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(made, std::vector<int>(8, 50));
  EXPECT_EQ(Call("DllCanUnloadNow"), S_OK);
}

// A client that knows only the ProgIDs: after an installer's registration it activates
// both objects, starts them on the host, has the listing answered, and the library goes
// once released; unregistration then takes the ProgIDs away.
TEST(ModuleClient, ActivatesByProgIdAnswersAndUnloads) {
  ASSERT_EQ(RegisterAsInstaller(false), S_OK);
  ASSERT_FALSE(ModuleLoaded());
  soap_testing::TestHost host;
  host.sessions->AddCaller("tok-admin", quillmere::GroupAdmin);
  host.sessions->AddSession("tok-admin", "<SESSION id=\"b\">", 0x41);
  for (const OLECHAR* progId : {OLESTR("quillmere.Administer"), OLESTR("quillmere.WbemProvider")}) {
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(progId, &clsid), S_OK);
    ComPtr<quillmere::_ISoapObject> object;
    ASSERT_EQ(
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(quillmere::_ISoapObject),
                         reinterpret_cast<void**>(object.GetAddressOf())),
        S_OK);
    ASSERT_EQ(object->Init(host.service.Get()), S_OK);
    if (IsEqualGUID(clsid, __uuidof(Administer))) {
      const auto request =
          soap_testing::TestHost::Request("AdminSessionList", {{"IdentityToken", "tok-admin"}});
      const auto documents = soap_testing::Documents(host.Execute(object.Get(), request.Get()));
      ASSERT_EQ(documents.size(), 1u);
      EXPECT_NE(documents[0].find("<SESSION id=\"b\"><SELF/>"), std::string::npos) << documents[0];
    }
    EXPECT_EQ(object->SetStop(), S_OK);
  }
  EXPECT_EQ(host.service->log.Calls(),
            (std::vector<std::string>{"Register Administrator", "NamedObject", "NamedObject",
                                      "Unregister Administrator", "Register WbemProvider",
                                      "Unregister WbemProvider"}));
  ASSERT_TRUE(ModuleLoaded());
  CoFreeUnusedLibrariesEx(0, 0);
  EXPECT_FALSE(ModuleLoaded());
  // Nothing of the library is left for the process's exceptions to reach.
  EXPECT_THROW(throw std::runtime_error("after the unload"), std::runtime_error);

  ASSERT_EQ(RegisterAsInstaller(true), S_OK);
  for (const OLECHAR* progId : {OLESTR("quillmere.Administer"), OLESTR("quillmere.WbemProvider")})
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, progId)) << Narrow(progId);
}

}  // namespace
