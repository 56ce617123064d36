#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <winport/machine.h>
#include <winport/windows.h>

#include "wide_matchers.h"

namespace {

namespace fs = std::filesystem;
using testing_support::Narrow;
using winport::machine::MapPath;

fs::path ProgramDirectory() {
  return fs::read_symlink("/proc/self/exe").parent_path();
}

fs::path BuiltLibrary() {
  return ProgramDirectory() / QUILLMERE_TESTLIB_FILE_NAME;
}

std::string ModuleFileName(HMODULE module) {
  WCHAR buffer[4096];
  const DWORD length = GetModuleFileNameW(module, buffer, 4096);
  return Narrow(winport::WideView(buffer, length));
}

// One reference on a library for one test.
winport::ScopedLibrary Load(const winport::WideString& name) {
  return winport::ScopedLibrary(LoadLibraryW(name.c_str()));
}

struct PlacedLibraryCase {
  const char* label;
  const char* directory;  // under the prefix, where a copy of the test library is put
  const char* name;       // what LoadLibraryW is given
  const char* file_name;  // what GetModuleFileNameW answers
};

class LibrarySearchPlaced : public testing::TestWithParam<PlacedLibraryCase> {};

TEST_P(LibrarySearchPlaced, LoadsTheCopyAndNamesItAsAWindowsPath) {
  const PlacedLibraryCase& c = GetParam();
  const fs::path copy = winport::machine::Prefix() / c.directory / QUILLMERE_TESTLIB_FILE_NAME;
  fs::create_directories(copy.parent_path());
  fs::copy_file(BuiltLibrary(), copy);

  winport::ScopedLibrary library = Load(winport::Utf8ToWide(c.name));
  ASSERT_NE(library.Get(), nullptr) << GetLastError();
  const std::string file_name = ModuleFileName(library.Get());
  EXPECT_EQ(file_name, c.file_name);
  EXPECT_EQ(MapPath(winport::Utf8ToWide(file_name)), copy);
}

INSTANTIATE_TEST_SUITE_P(
    LibrarySearch, LibrarySearchPlaced,
    testing::Values(
        // The machine's library directory comes before the program's own.
        PlacedLibraryCase{"LibraryDirectoryFirst", "lib", "quillmere_testlib.dll",
                          "C:\\lib\\libquillmere_testlib.so"},
        PlacedLibraryCase{"WindowsPathAnyCase", "windows/system32",
                          "C:\\WINDOWS\\System32\\Quillmere_TestLib.DLL",
                          "C:\\windows\\system32\\libquillmere_testlib.so"}),
    [](const testing::TestParamInfo<PlacedLibraryCase>& info) { return info.param.label; });

TEST(LibrarySearch, LinuxPathLoadsAsGivenAndReadsBackWithBackslashes) {
  winport::ScopedLibrary library = Load(winport::Utf8ToWide(BuiltLibrary().string()));
  ASSERT_NE(library.Get(), nullptr) << GetLastError();
  std::string expected = BuiltLibrary().string();
  for (char& c : expected)
    c = c == '/' ? '\\' : c;
  const std::string file_name = ModuleFileName(library.Get());
  EXPECT_EQ(file_name, expected);
  EXPECT_EQ(MapPath(winport::Utf8ToWide(file_name)), BuiltLibrary());
}

}  // namespace
