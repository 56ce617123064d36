#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include <winport/windows.h>

#include "platform_skips.h"
#include "registry_text.h"
#include "testlib/testlib_key.h"
#include "wide_matchers.h"

namespace {

using testing_support::Narrow;

constexpr const OLECHAR* kTestLibrary = OLESTR("quillmere_testlib.dll");

using SelfFunction = HMODULE (*)();
using FileNameFunction = DWORD (*)(LPWSTR, DWORD);

template <typename Function>
Function Export(HMODULE module, const char* name) {
  // Through void (*)(), which converts to every function type without a warning.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

std::string Lower(std::string text) {
  for (char& c : text)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string ModuleFileName(HMODULE module) {
  WCHAR buffer[4096];
  const DWORD length = GetModuleFileNameW(module, buffer, 4096);
  return Narrow(winport::WideView(buffer, length));
}

// One reference on a library for one test.
winport::ScopedLibrary Load(const OLECHAR* name = kTestLibrary) {
  return winport::ScopedLibrary(LoadLibraryW(name));
}

TEST(LibraryLoad, MissingLibrariesAndExportsAreNullWithTheirErrors) {
  SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(LoadLibraryW(OLESTR("C:\\Windows\\system32\\quillmere_no_such.dll")), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  // Export names are exact, and only the module's own: not those of what it links to.
  winport::ScopedLibrary library = Load();
  ASSERT_NE(library.Get(), nullptr);
  for (const char* name : {"quillmeretestadd", "strlen"}) {
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(GetProcAddress(library.Get(), name), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND)) << name;
  }
}

// As a module finds itself to register: its handle from an address inside it, and the
// Windows path of its file.
TEST(LibraryModuleHandle, ALibraryFindsItselfAndItsOwnPath) {
  winport::ScopedLibrary library = Load();
  ASSERT_NE(library.Get(), nullptr);
  const auto self = Export<SelfFunction>(library.Get(), "QuillmereTestSelf");
  const auto file_name = Export<FileNameFunction>(library.Get(), "QuillmereTestModuleFileName");
  ASSERT_NE(self, nullptr);
  ASSERT_NE(file_name, nullptr);
  EXPECT_EQ(self(), library.Get());

  WCHAR buffer[4096];
  const DWORD length = file_name(buffer, 4096);
  const std::string own_path = Narrow(winport::WideView(buffer, length));
  EXPECT_EQ(own_path, ModuleFileName(library.Get()));
  const std::string file = Lower(QUILLMERE_TESTLIB_FILE_NAME);
  ASSERT_GT(own_path.size(), file.size());
  EXPECT_EQ(Lower(own_path).substr(own_path.size() - file.size() - 1), "\\" + file) << own_path;
  EXPECT_EQ(own_path.find('/'), std::string::npos) << own_path;
}

TEST(LibraryFaults, InjectedFailuresAreNullWithTheInjectedError) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  winport::ScopedLibrary library = Load();  // loaded before the rule, for GetProcAddress
  ASSERT_NE(library.Get(), nullptr);
  winport::fault::FailCall("LoadLibraryW", ERROR_NOT_ENOUGH_MEMORY);
  SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(LoadLibraryW(kTestLibrary), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  winport::fault::FailCall("GetProcAddress", ERROR_NOT_ENOUGH_MEMORY);
  SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(GetProcAddress(library.Get(), "QuillmereTestAdd"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  // One failure only: the next call works.
  EXPECT_NE(GetProcAddress(library.Get(), "QuillmereTestAdd"), nullptr);
}

const winport::WideString kTestLibKey = TestLibKey();

// What the test library's DllMain has recorded so far (see quillmere_testlib.cpp).
std::string Notifications() {
  return Narrow(testing_support::ReadRegistryString(HKEY_CURRENT_USER, kTestLibKey.c_str(),
                                                    OLESTR("Notifications"))
                    .value_or(OLESTR("")));
}

unsigned __stdcall DoNothing(void*) {
  return 0;
}

// Each test starts without notifications: on Windows the registry outlives the tests.
class LibraryEntryPoint : public testing::Test {
 protected:
  void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, kTestLibKey.c_str()); }
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, kTestLibKey.c_str()); }
};

// The library is attached on its first reference and detached on its last, each once,
// and a thread started meanwhile notifies nothing.
TEST_F(LibraryEntryPoint, AttachesOnTheFirstReferenceAndDetachesOnTheLast) {
  struct Step {
    const char* action;
    const char* notified;
  };
  std::vector<winport::ScopedLibrary> held;
  for (const Step& step :
       {Step{"load", "1"}, Step{"load", "1"}, Step{"thread", "1"}, Step{"free", "1"},
        Step{"free", "10"}, Step{"load", "101"}, Step{"free", "1010"}}) {
    const std::string action = step.action;
    if (action == "load") {
      held.push_back(Load());
      ASSERT_NE(held.back().Get(), nullptr);
    } else if (action == "free") {
      held.pop_back();
    } else {
      winport::ScopedHandle thread(
          reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &DoNothing, nullptr, 0, nullptr)));
      ASSERT_TRUE(thread.IsValid());
      EXPECT_EQ(WaitForSingleObject(thread.Get(), INFINITE), WAIT_OBJECT_0);
    }
    EXPECT_EQ(Notifications(), step.notified) << "after " << action << " #" << held.size();
  }
}

TEST_F(LibraryEntryPoint, ARefusedAttachIsDetachedAndTheLoadFails) {
  testing_support::WriteRegistryString(HKEY_CURRENT_USER, kTestLibKey.c_str(), OLESTR("FailAttach"),
                                       OLESTR("1"));
  SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(LoadLibraryW(kTestLibrary), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
  EXPECT_EQ(Notifications(), "10");
  HMODULE module = nullptr;
  EXPECT_FALSE(
      GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, kTestLibrary, &module));
}

// Ending takes the loader lock, as on Windows: while the library is detached its thread
// can say it is done but cannot end.
TEST_F(LibraryEntryPoint, AThreadCannotEndWhileItsLibraryIsDetached) {
  winport::ScopedLibrary library = Load();
  const auto startThread = Export<BOOL (*)()>(library.Get(), "QuillmereTestStartThread");
  ASSERT_NE(startThread, nullptr);
  ASSERT_TRUE(startThread());
  library.Reset();
  EXPECT_EQ(Notifications(), "10H");
}

TEST_F(LibraryEntryPoint, DisableThreadLibraryCallsNeedsAModule) {
  SetLastError(ERROR_SUCCESS);
  EXPECT_FALSE(DisableThreadLibraryCalls(nullptr));
  EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
}

}  // namespace
