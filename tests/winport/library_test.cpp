#include <gtest/gtest.h>

#include <cctype>
#include <memory>
#include <string>

#include <winport/windows.h>

#include "platform_skips.h"
#include "wide_matchers.h"

namespace {

using testing_support::Narrow;

constexpr const OLECHAR* kTestLibrary = OLESTR("quillmere_testlib.dll");

using AddFunction = int (*)(int, int);
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

std::string DirectoryOf(const std::string& path) {
  return path.substr(0, path.find_last_of('\\'));
}

// One reference on a library for one test.
winport::ScopedLibrary Load(const OLECHAR* name = kTestLibrary) {
  return winport::ScopedLibrary(LoadLibraryW(name));
}

TEST(LibraryLoad, BareNameFindsTheLibraryBesideTheProgramAndItsExports) {
  winport::ScopedLibrary library = Load();
  ASSERT_NE(library.Get(), nullptr) << GetLastError();
  const auto add = Export<AddFunction>(library.Get(), "QuillmereTestAdd");
  ASSERT_NE(add, nullptr) << GetLastError();
  EXPECT_EQ(add(40, 2), 42);
  EXPECT_EQ(DirectoryOf(Lower(ModuleFileName(library.Get()))),
            DirectoryOf(Lower(ModuleFileName(nullptr))));
}

class LibraryNameSpelling : public testing::TestWithParam<const OLECHAR*> {};

// Module names are file names: any case, and ".dll" when no extension is given.
TEST_P(LibraryNameSpelling, NamesTheSameModule) {
  winport::ScopedLibrary canonical = Load();
  winport::ScopedLibrary spelled = Load(GetParam());
  ASSERT_NE(spelled.Get(), nullptr) << GetLastError();
  EXPECT_EQ(spelled.Get(), canonical.Get());
}

INSTANTIATE_TEST_SUITE_P(LibraryLoad, LibraryNameSpelling,
                         testing::Values(OLESTR("QUILLMERE_TESTLIB.DLL"),
                                         OLESTR("Quillmere_TestLib.Dll"),
                                         OLESTR("quillmere_testlib")));

TEST(LibraryLoad, EveryLoadIsAReferenceTheModuleOutlivesUntilTheLast) {
  const HMODULE first = LoadLibraryW(kTestLibrary);
  const HMODULE second = LoadLibraryW(kTestLibrary);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first, second);
  ASSERT_TRUE(FreeLibrary(second));
  HMODULE found = nullptr;
  EXPECT_TRUE(
      GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, kTestLibrary, &found));
  EXPECT_EQ(found, first);
  const auto add = Export<AddFunction>(first, "QuillmereTestAdd");
  ASSERT_NE(add, nullptr);
  EXPECT_EQ(add(1, 2), 3);
  EXPECT_TRUE(FreeLibrary(first));
}

struct MissingLibraryCase {
  const char* label;
  const OLECHAR* name;
};

class LibraryMissing : public testing::TestWithParam<MissingLibraryCase> {};

TEST_P(LibraryMissing, IsNullWithModNotFound) {
  SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(LoadLibraryW(GetParam().name), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

INSTANTIATE_TEST_SUITE_P(
    LibraryLoad, LibraryMissing,
    testing::Values(MissingLibraryCase{"BareName", OLESTR("quillmere_no_such_library.dll")},
                    MissingLibraryCase{"SystemDirectory",
                                       OLESTR("C:\\Windows\\system32\\quillmere_no_such.dll")}),
    [](const testing::TestParamInfo<MissingLibraryCase>& info) { return info.param.label; });

TEST(LibraryLoad, ExWithAlteredSearchPathLoadsAFullPath) {
  winport::ScopedLibrary library = Load();
  ASSERT_NE(library.Get(), nullptr);
  const winport::WideString path = winport::Utf8ToWide(ModuleFileName(library.Get()));
  const HMODULE again = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  EXPECT_EQ(again, library.Get());
  if (again != nullptr) FreeLibrary(again);
}

class LibraryMissingExport : public testing::TestWithParam<const char*> {};

// Export names are exact, and only the module's own: not those of what it links to.
TEST_P(LibraryMissingExport, IsNullWithProcNotFound) {
  winport::ScopedLibrary library = Load();
  ASSERT_NE(library.Get(), nullptr);
  SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(GetProcAddress(library.Get(), GetParam()), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
}

INSTANTIATE_TEST_SUITE_P(LibraryExports, LibraryMissingExport,
                         testing::Values("QuillmereTestMissing", "quillmeretestadd", "strlen"));

// Windows looks the handle up among its modules rather than trusting it.
TEST(LibraryExports, SomethingNotAModuleIsModNotFoundForEveryCall) {
  int not_a_module = 0;
  const HMODULE bogus = reinterpret_cast<HMODULE>(&not_a_module);
  SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(GetProcAddress(bogus, "QuillmereTestAdd"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  WCHAR buffer[16];
  SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(GetModuleFileNameW(bogus, buffer, 16), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  SetLastError(ERROR_SUCCESS);
  EXPECT_FALSE(FreeLibrary(bogus));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  // Only null is an invalid handle.
  EXPECT_FALSE(FreeLibrary(nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

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
  ASSERT_GT(length, 0u);
  const std::string own_path = Narrow(winport::WideView(buffer, length));
  EXPECT_EQ(own_path, ModuleFileName(library.Get()));
  const std::string file = Lower(QUILLMERE_TESTLIB_FILE_NAME);
  ASSERT_GT(own_path.size(), file.size());
  EXPECT_EQ(Lower(own_path).substr(own_path.size() - file.size() - 1), "\\" + file) << own_path;
  EXPECT_EQ(own_path.find('/'), std::string::npos) << own_path;
}

TEST(LibraryModuleHandle, FromAddressOfTheProgramIsTheProgram) {
  HMODULE program = nullptr;
  HMODULE from_address = nullptr;
  ASSERT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, nullptr, &program));
  ASSERT_TRUE(GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&ModuleFileName), &from_address));
  EXPECT_EQ(from_address, program);
  EXPECT_EQ(ModuleFileName(program), ModuleFileName(nullptr));
}

TEST(LibraryModuleHandle, WithoutUnchangedRefcountItHoldsTheLibrary) {
  const HMODULE loaded = LoadLibraryW(kTestLibrary);
  ASSERT_NE(loaded, nullptr);
  const auto add = Export<AddFunction>(loaded, "QuillmereTestAdd");
  HMODULE held = nullptr;
  ASSERT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                 reinterpret_cast<LPCWSTR>(add), &held));
  EXPECT_EQ(held, loaded);
  ASSERT_TRUE(FreeLibrary(loaded));
  // Still loaded on the reference GetModuleHandleExW took.
  HMODULE found = nullptr;
  EXPECT_TRUE(
      GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, kTestLibrary, &found));
  EXPECT_EQ(found, loaded);
  EXPECT_EQ(add(2, 2), 4);
  EXPECT_TRUE(FreeLibrary(held));
}

TEST(LibraryModuleHandle, AddressOutsideEveryModuleIsModNotFound) {
  const auto heap = std::make_unique<int>(7);
  HMODULE module = reinterpret_cast<HMODULE>(heap.get());
  SetLastError(ERROR_SUCCESS);
  EXPECT_FALSE(GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(heap.get()), &module));
  EXPECT_EQ(module, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST(LibraryModuleHandle, PinAndUnchangedRefcountTogetherAreRefused) {
  HMODULE module = reinterpret_cast<HMODULE>(&module);
  EXPECT_FALSE(GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, nullptr,
      &module));
  EXPECT_EQ(module, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

// How far the buffer falls short of the name with its terminator (negative: room left).
class LibraryModuleFileNameBuffer : public testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    ASSERT_NE(library_.Get(), nullptr);
    full_ = ModuleFileName(library_.Get());
    size_ = static_cast<DWORD>(static_cast<int>(full_.size()) + 1 - GetParam());
    buffer_.assign(size_ + 1, u'#');
  }
  DWORD Call() { return GetModuleFileNameW(library_.Get(), buffer_.data(), size_); }

  winport::ScopedLibrary library_ = Load();
  std::string full_;
  DWORD size_ = 0;
  std::basic_string<OLECHAR> buffer_;
};

TEST_P(LibraryModuleFileNameBuffer, AnswersTheLengthOrTheWholeBufferCut) {
  SetLastError(ERROR_SUCCESS);
  const DWORD result = Call();
  if (GetParam() <= 0) {
    EXPECT_EQ(result, full_.size());
    EXPECT_EQ(Narrow(buffer_.c_str()), full_);
  } else {
    // The buffer is reported as used up, and the call as short of room.
    EXPECT_EQ(result, size_);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(Narrow(winport::WideView(buffer_.data(), size_ - 1)), full_.substr(0, size_ - 1));
  }
  EXPECT_EQ(buffer_[size_], u'#') << "wrote past the buffer";
}

class LibraryModuleFileNameCut : public LibraryModuleFileNameBuffer {};

TEST_P(LibraryModuleFileNameCut, IsStillTerminated) {
  SKIP_ON_WINE("a cut name fills the buffer unterminated, as on Windows XP");
  Call();
  EXPECT_EQ(buffer_[size_ - 1], u'\0');
}

INSTANTIATE_TEST_SUITE_P(LibraryModuleFileName, LibraryModuleFileNameBuffer,
                         testing::Values(-3, 0, 1, 2, 10),
                         [](const testing::TestParamInfo<int>& info) {
                           if (info.param == 0) return std::string("Fits");
                           return info.param < 0 ? "Room" + std::to_string(-info.param)
                                                 : "Short" + std::to_string(info.param);
                         });
INSTANTIATE_TEST_SUITE_P(LibraryModuleFileName, LibraryModuleFileNameCut,
                         testing::Values(1, 2, 10));

TEST(LibraryModuleFileName, OfTheProgramIsAFullWindowsPath) {
  const std::string program = ModuleFileName(nullptr);
  ASSERT_GT(program.size(), 3u);
  EXPECT_EQ(program.find('/'), std::string::npos) << program;
  EXPECT_NE(program.find('\\'), std::string::npos) << program;
}

struct LibraryFaultCase {
  const char* function;
  HMODULE (*call)();
  bool loads;  // the call's result is a reference to give back
};

class LibraryFaults : public testing::TestWithParam<LibraryFaultCase> {};

TEST_P(LibraryFaults, InjectedFailureIsNullWithTheInjectedError) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  winport::ScopedLibrary library = Load();  // loaded before the rule, for GetProcAddress to fail on
  ASSERT_NE(library.Get(), nullptr);
  winport::fault::FailCall(GetParam().function, ERROR_NOT_ENOUGH_MEMORY);
  SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(GetParam().call(), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  // One failure only: the next call works.
  const HMODULE again = GetParam().call();
  EXPECT_NE(again, nullptr);
  if (GetParam().loads && again != nullptr) FreeLibrary(again);
}

INSTANTIATE_TEST_SUITE_P(
    LibraryFaults, LibraryFaults,
    testing::Values(LibraryFaultCase{"LoadLibraryW", [] { return LoadLibraryW(kTestLibrary); },
                                     true},
                    LibraryFaultCase{"LoadLibraryExW",
                                     [] { return LoadLibraryExW(kTestLibrary, nullptr, 0); }, true},
                    // The export's address, as a handle-sized value, only for its nullness.
                    LibraryFaultCase{"GetProcAddress",
                                     [] {
                                       HMODULE module = nullptr;
                                       GetModuleHandleExW(
                                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                           kTestLibrary, &module);
                                       return reinterpret_cast<HMODULE>(
                                           GetProcAddress(module, "QuillmereTestAdd"));
                                     },
                                     false}),
    [](const testing::TestParamInfo<LibraryFaultCase>& info) { return info.param.function; });

}  // namespace
