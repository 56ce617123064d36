#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include <winport/windows.h>

#include "platform_skips.h"
#include "wide_matchers.h"

namespace {

using testing_support::Narrow;

// Each test works under its own key, HKEY_CURRENT_USER\Software\QuillmereTests\<test>,
// so the tests also run against a real registry and leave nothing behind.
class RegistryTest : public testing::Test {
 protected:
  void SetUp() override {
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    path_ = winport::Utf8ToWide(std::string("Software\\QuillmereTests\\") +
                                info->test_suite_name() + "." + info->name());
    RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());  // what a crashed run left
    ASSERT_EQ(Create(HKEY_CURRENT_USER, path_.c_str(), &key_), ERROR_SUCCESS);
  }
  void TearDown() override {
    if (key_ != nullptr) RegCloseKey(key_);
    RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, OLESTR("Software\\QuillmereTests"));  // when empty
  }

  static LSTATUS Create(HKEY parent, const OLECHAR* name, HKEY* key, DWORD* disposition = nullptr) {
    return RegCreateKeyExW(parent, name, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                           nullptr, key, disposition);
  }
  LSTATUS CreateAndClose(const OLECHAR* name) {
    winport::ScopedHkey key;
    return Create(key_, name, key.Receive());
  }
  static LSTATUS SetDword(HKEY key, const OLECHAR* name, DWORD number) {
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4);
  }
  // Every subkey or value name, checking that the enumeration ends with ERROR_NO_MORE_ITEMS.
  static std::vector<std::string> Names(HKEY key, bool values = false) {
    std::vector<std::string> names;
    OLECHAR name[256];
    for (DWORD index = 0, length = 256;; ++index, length = 256) {
      const LSTATUS status =
          values ? RegEnumValueW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr)
                 : RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
      if (status != ERROR_SUCCESS) {
        EXPECT_EQ(status, ERROR_NO_MORE_ITEMS);
        return names;
      }
      names.push_back(Narrow(winport::WideView(name, length)));
    }
  }

  winport::WideString path_;
  HKEY key_ = nullptr;
};

using RegistryKeys = RegistryTest;
using RegistryValues = RegistryTest;
using RegistryHandles = RegistryTest;

TEST_F(RegistryKeys, CreateMakesWhatIsMissingAndOpenFindsOnlyWhatExists) {
  const struct {
    bool create;
    const OLECHAR* path;
    LSTATUS status;
    DWORD disposition;
  } steps[] = {
      {true, OLESTR("a\\b\\c"), ERROR_SUCCESS, REG_CREATED_NEW_KEY},
      {true, OLESTR("A\\B\\C"), ERROR_SUCCESS, REG_OPENED_EXISTING_KEY},  // without case
      {false, OLESTR("A\\b"), ERROR_SUCCESS, 0},
      {false, OLESTR("missing"), ERROR_FILE_NOT_FOUND, 0},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(Narrow(step.path));
    HKEY key = nullptr;
    DWORD disposition = 0;
    EXPECT_EQ(step.create ? Create(key_, step.path, &key, &disposition)
                          : RegOpenKeyExW(key_, step.path, 0, KEY_READ, &key),
              step.status);
    EXPECT_EQ(disposition, step.disposition);
    if (key != nullptr) RegCloseKey(key);
  }
}

TEST_F(RegistryValues, NamesCompareWithoutCaseAndTheDefaultIsTheEmptyName) {
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(key_, nullptr, nullptr, nullptr, nullptr, &size),
            ERROR_FILE_NOT_FOUND);  // no default value until one is set
  ASSERT_EQ(SetDword(key_, nullptr, 1), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(key_, OLESTR("Port"), 80), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key_, OLESTR("PORT"), 0, REG_EXPAND_SZ,
                           reinterpret_cast<const BYTE*>(OLESTR("8080")), 10),
            ERROR_SUCCESS);
  DWORD type = 0;
  EXPECT_EQ(RegQueryValueExW(key_, OLESTR("port"), nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
  EXPECT_EQ(size, 10u);
  EXPECT_EQ(RegQueryValueExW(key_, OLESTR(""), nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  // A name keeps its first spelling.
  const std::vector<std::string> names = Names(key_, true);
  EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), (std::set<std::string>{"", "Port"}));
}

TEST_F(RegistryKeys, DeletionTakesValuesLeavesAndWholeTrees) {
  ASSERT_EQ(CreateAndClose(OLESTR("parent\\child")), ERROR_SUCCESS);
  ASSERT_EQ(CreateAndClose(OLESTR("tree\\a\\b")), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(key_, OLESTR("gone"), 1), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueW(key_, OLESTR("GONE")), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueW(key_, OLESTR("gone")), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Names(key_, true), std::vector<std::string>{});

  EXPECT_EQ(RegDeleteKeyW(key_, OLESTR("parent")), ERROR_ACCESS_DENIED);  // it has a subkey
  EXPECT_EQ(RegDeleteKeyW(key_, OLESTR("parent\\CHILD")), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyW(key_, OLESTR("parent\\child")), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyW(key_, OLESTR("parent")), ERROR_SUCCESS);  // now a leaf
  EXPECT_EQ(RegDeleteTreeW(key_, OLESTR("Tree")), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteTreeW(key_, OLESTR("tree")), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Names(key_), std::vector<std::string>{});
}

TEST_F(RegistryHandles, InjectedFailuresAreAnsweredAndChangeNothing) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  ASSERT_EQ(SetDword(key_, OLESTR("v"), 1), ERROR_SUCCESS);
  HKEY key = nullptr;
  winport::fault::FailCall("RegCreateKeyExW", ERROR_OUTOFMEMORY);
  EXPECT_EQ(Create(key_, OLESTR("made"), &key), ERROR_OUTOFMEMORY);
  winport::fault::FailCall("RegSetValueExW", ERROR_OUTOFMEMORY);
  EXPECT_EQ(SetDword(key_, OLESTR("v"), 2), ERROR_OUTOFMEMORY);
  EXPECT_EQ(Names(key_), std::vector<std::string>{});
  DWORD value = 0;
  DWORD size = sizeof value;
  ASSERT_EQ(
      RegQueryValueExW(key_, OLESTR("v"), nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
      ERROR_SUCCESS);
  EXPECT_EQ(value, 1u);
}

}  // namespace
