#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include <winport/windows.h>

#include "platform_skips.h"
#include "wide_matchers.h"

namespace {

using testing_support::Narrow;
using winport::WideString;

// Each test works under its own key, HKEY_CURRENT_USER\Software\QuillmereTests\<test>,
// so the tests also run against a real registry and leave nothing behind.
class RegistryTest : public testing::Test {
 protected:
  void SetUp() override {
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    path_ = winport::Utf8ToWide(std::string("Software\\QuillmereTests\\") +
                                info->test_suite_name() + "." + info->name());
    RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());  // what a crashed run left
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &key_, nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    if (key_ != nullptr) RegCloseKey(key_);
    RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, OLESTR("Software\\QuillmereTests"));  // when empty
  }

  LSTATUS Create(HKEY parent, const OLECHAR* name, HKEY* key, DWORD* disposition = nullptr) {
    return RegCreateKeyExW(parent, name, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                           nullptr, key, disposition);
  }
  LSTATUS CreateAndClose(const OLECHAR* name) {
    HKEY key = nullptr;
    const LSTATUS status = Create(key_, name, &key);
    if (status == ERROR_SUCCESS) RegCloseKey(key);
    return status;
  }
  LSTATUS Open(HKEY parent, const OLECHAR* name, HKEY* key, REGSAM access = KEY_READ) {
    return RegOpenKeyExW(parent, name, 0, access, key);
  }
  LSTATUS SetString(HKEY key, const OLECHAR* name, const OLECHAR* text, DWORD type = REG_SZ) {
    const DWORD bytes = static_cast<DWORD>((std::char_traits<OLECHAR>::length(text) + 1) * 2);
    return RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(text), bytes);
  }
  LSTATUS SetDword(HKEY key, const OLECHAR* name, DWORD number) {
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4);
  }
  // The value's data as text (without its terminator), or "" when it cannot be read.
  std::string QueryString(HKEY key, const OLECHAR* name) {
    OLECHAR buffer[256] = {};
    DWORD size = sizeof buffer - sizeof(OLECHAR);
    if (RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) !=
        ERROR_SUCCESS) {
      return "";
    }
    return Narrow(buffer);
  }
  // Every name an enumeration gives, checking that it ends with ERROR_NO_MORE_ITEMS.
  template <class Enumerate>
  static std::vector<std::string> Names(Enumerate enumerate) {
    std::vector<std::string> names;
    for (DWORD index = 0;; ++index) {
      OLECHAR name[256];
      DWORD length = 256;
      const LSTATUS status = enumerate(index, name, &length);
      if (status != ERROR_SUCCESS) {
        EXPECT_EQ(status, ERROR_NO_MORE_ITEMS);
        return names;
      }
      names.push_back(Narrow(winport::WideView(name, length)));
    }
  }
  std::vector<std::string> SubkeyNames(HKEY key) {
    return Names([key](DWORD index, OLECHAR* name, DWORD* length) {
      return RegEnumKeyExW(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
    });
  }
  std::vector<std::string> ValueNames(HKEY key) {
    return Names([key](DWORD index, OLECHAR* name, DWORD* length) {
      return RegEnumValueW(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
    });
  }

  WideString path_;
  HKEY key_ = nullptr;
};

using RegistryKeys = RegistryTest;
using RegistryValues = RegistryTest;
using RegistryEnumeration = RegistryTest;
using RegistryDeletion = RegistryTest;
using RegistryHandles = RegistryTest;
using RegistryFaults = RegistryTest;

TEST(RegistryConstants, PredefinedKeysAreSignExtended) {
  // Win64 widens the predefined keys' negative 32-bit values.
  EXPECT_EQ(reinterpret_cast<ULONG_PTR>(HKEY_CLASSES_ROOT), 0xFFFFFFFF80000000ULL);
  EXPECT_EQ(reinterpret_cast<ULONG_PTR>(HKEY_CURRENT_USER), 0xFFFFFFFF80000001ULL);
  EXPECT_EQ(reinterpret_cast<ULONG_PTR>(HKEY_LOCAL_MACHINE), 0xFFFFFFFF80000002ULL);
}

TEST_F(RegistryKeys, CreateMakesEveryMissingKeyThenOpensThem) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(Create(key_, OLESTR("a\\b\\c"), &key, &disposition), ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  RegCloseKey(key);

  const struct {
    const OLECHAR* path;
    DWORD disposition;
  } cases[] = {
      {OLESTR("a"), REG_OPENED_EXISTING_KEY},
      {OLESTR("a\\b"), REG_OPENED_EXISTING_KEY},
      {OLESTR("A\\B\\C"), REG_OPENED_EXISTING_KEY},  // names compare without case
      {OLESTR("a\\b\\d"), REG_CREATED_NEW_KEY},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Narrow(c.path));
    key = nullptr;
    disposition = 0;
    ASSERT_EQ(Create(key_, c.path, &key, &disposition), ERROR_SUCCESS);
    EXPECT_EQ(disposition, c.disposition);
    RegCloseKey(key);
  }
  // An empty name answers a new handle to the key itself.
  key = nullptr;
  ASSERT_EQ(Create(key_, OLESTR(""), &key), ERROR_SUCCESS);
  EXPECT_NE(key, key_);
  RegCloseKey(key);
}

TEST_F(RegistryKeys, OpenFindsOnlyWhatExists) {
  ASSERT_EQ(CreateAndClose(OLESTR("present\\child")), ERROR_SUCCESS);
  const struct {
    const OLECHAR* path;
    LSTATUS expected;
  } cases[] = {
      {OLESTR("present"), ERROR_SUCCESS},
      {OLESTR("PRESENT\\Child"), ERROR_SUCCESS},
      {OLESTR("present\\child\\"), ERROR_SUCCESS},
      {OLESTR("missing"), ERROR_FILE_NOT_FOUND},
      {OLESTR("missing\\child"), ERROR_FILE_NOT_FOUND},
      {OLESTR("present\\missing"), ERROR_FILE_NOT_FOUND},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Narrow(c.path));
    HKEY key = nullptr;
    EXPECT_EQ(Open(key_, c.path, &key), c.expected);
    if (key != nullptr) RegCloseKey(key);
  }
}

TEST_F(RegistryKeys, OpeningAPredefinedKeyAsItselfAnswersTheSameHandle) {
  for (HKEY predefined : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT}) {
    HKEY key = nullptr;
    EXPECT_EQ(Open(predefined, OLESTR(""), &key), ERROR_SUCCESS);
    EXPECT_EQ(key, predefined);
    key = nullptr;
    EXPECT_EQ(Open(predefined, nullptr, &key), ERROR_SUCCESS);
    EXPECT_EQ(key, predefined);
  }
}

TEST_F(RegistryKeys, OpeningAnOpenKeyAsItselfGivesAnIndependentHandle) {
  HKEY again = nullptr;
  ASSERT_EQ(Open(key_, OLESTR(""), &again, KEY_ALL_ACCESS), ERROR_SUCCESS);
  EXPECT_NE(again, key_);
  RegCloseKey(key_);
  key_ = nullptr;
  EXPECT_EQ(SetDword(again, OLESTR("still"), 1), ERROR_SUCCESS);
  key_ = again;
}

TEST_F(RegistryKeys, NamesKeepTheirFirstSpelling) {
  ASSERT_EQ(CreateAndClose(OLESTR("MixedCase")), ERROR_SUCCESS);
  ASSERT_EQ(CreateAndClose(OLESTR("MIXEDCASE")), ERROR_SUCCESS);
  EXPECT_EQ(SubkeyNames(key_), std::vector<std::string>{"MixedCase"});
}

TEST_F(RegistryKeys, SubkeyWithLeadingBackslashIsABadPath) {
  HKEY key = nullptr;
  // Documented for RegCreateKeyEx; opening refuses it alike.
  EXPECT_EQ(Create(key_, OLESTR("\\leading"), &key), ERROR_BAD_PATHNAME);
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(SubkeyNames(key_), std::vector<std::string>{});
  ASSERT_EQ(CreateAndClose(OLESTR("leading")), ERROR_SUCCESS);
  EXPECT_EQ(Open(key_, OLESTR("\\leading"), &key), ERROR_BAD_PATHNAME);
  EXPECT_EQ(Open(HKEY_CURRENT_USER, OLESTR("\\Software"), &key), ERROR_BAD_PATHNAME);
}

TEST_F(RegistryKeys, NothingIsCreatedDirectlyUnderLocalMachine) {
  HKEY key = nullptr;
  const LSTATUS status = Create(HKEY_LOCAL_MACHINE, OLESTR("QuillmereTestsDirectChild"), &key);
  if (key != nullptr) {
    RegCloseKey(key);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, OLESTR("QuillmereTestsDirectChild"));
  }
  SKIP_ON_WINE("creates keys directly under HKEY_LOCAL_MACHINE");
  EXPECT_EQ(status, ERROR_ACCESS_DENIED);
}

// One value of each kind, written and read back byte for byte.
struct StoredValue {
  const char* label;
  DWORD type;
  std::vector<BYTE> data;
};

std::vector<BYTE> TextBytes(const OLECHAR* text, std::size_t units) {
  std::vector<BYTE> bytes(units * sizeof(OLECHAR));
  std::memcpy(bytes.data(), text, bytes.size());
  return bytes;
}

class RegistryValueKinds : public RegistryTest, public testing::WithParamInterface<StoredValue> {};

TEST_P(RegistryValueKinds, ReadBackAsStored) {
  const StoredValue& stored = GetParam();
  ASSERT_EQ(RegSetValueExW(key_, OLESTR("v"), 0, stored.type, stored.data.data(),
                           static_cast<DWORD>(stored.data.size())),
            ERROR_SUCCESS);
  DWORD type = 0xDEAD;
  DWORD size = 0;
  ASSERT_EQ(RegQueryValueExW(key_, OLESTR("v"), nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, stored.type);
  EXPECT_EQ(size, stored.data.size());
  std::vector<BYTE> data(stored.data.size() + 8, 0xCC);
  size = static_cast<DWORD>(data.size());
  ASSERT_EQ(RegQueryValueExW(key_, OLESTR("v"), nullptr, &type, data.data(), &size), ERROR_SUCCESS);
  ASSERT_EQ(size, stored.data.size());
  data.resize(size);
  EXPECT_EQ(data, stored.data);
}

INSTANTIATE_TEST_SUITE_P(
    Registry, RegistryValueKinds,
    testing::Values(
        // The terminator is counted in the size, as the writer gave it.
        StoredValue{"sz", REG_SZ, TextBytes(OLESTR("text"), 5)},
        // A string stored without its terminator comes back without one.
        StoredValue{"sz_unterminated", REG_SZ, TextBytes(OLESTR("text"), 4)},
        StoredValue{"sz_empty", REG_SZ, TextBytes(OLESTR(""), 1)},
        // Environment references stay unexpanded.
        StoredValue{"expand_sz", REG_EXPAND_SZ, TextBytes(OLESTR("%SystemRoot%\\x"), 15)},
        StoredValue{"multi_sz", REG_MULTI_SZ, TextBytes(OLESTR("a\0bc\0"), 6)},
        StoredValue{"dword", REG_DWORD, {0x2A, 0x00, 0x01, 0x80}},
        StoredValue{"binary", REG_BINARY, {0x00, 0xFF, 0x0A, 0x00, 0x22, 0x5C}},
        StoredValue{"binary_empty", REG_BINARY, {}}, StoredValue{"none", REG_NONE, {0x01}}),
    [](const testing::TestParamInfo<StoredValue>& info) { return info.param.label; });

TEST_F(RegistryValues, ShortBufferAsksForTheSizeAndNullBufferMeasures) {
  ASSERT_EQ(SetString(key_, OLESTR("name"), OLESTR("abcdef")), ERROR_SUCCESS);  // 14 bytes
  const struct {
    bool with_buffer;
    DWORD given;
    LSTATUS expected;
  } cases[] = {
      {false, 0, ERROR_SUCCESS},   {false, 100, ERROR_SUCCESS}, {true, 0, ERROR_MORE_DATA},
      {true, 13, ERROR_MORE_DATA}, {true, 14, ERROR_SUCCESS},   {true, 64, ERROR_SUCCESS},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.with_buffer << " " << c.given);
    BYTE buffer[64];
    DWORD size = c.given;
    DWORD type = 0;
    EXPECT_EQ(RegQueryValueExW(key_, OLESTR("name"), nullptr, &type,
                               c.with_buffer ? buffer : nullptr, &size),
              c.expected);
    EXPECT_EQ(size, 14u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  }
}

TEST_F(RegistryValues, MissingValueIsNotFound) {
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(key_, OLESTR("absent"), nullptr, nullptr, nullptr, &size),
            ERROR_FILE_NOT_FOUND);
  // Keys have no default value until one is set.
  EXPECT_EQ(RegQueryValueExW(key_, nullptr, nullptr, nullptr, nullptr, &size),
            ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryValues, DefaultValueIsTheEmptyOrNullName) {
  ASSERT_EQ(SetString(key_, nullptr, OLESTR("by null")), ERROR_SUCCESS);
  EXPECT_EQ(QueryString(key_, OLESTR("")), "by null");
  ASSERT_EQ(SetString(key_, OLESTR(""), OLESTR("by empty")), ERROR_SUCCESS);
  EXPECT_EQ(QueryString(key_, nullptr), "by empty");
  EXPECT_EQ(ValueNames(key_), std::vector<std::string>{""});
}

TEST_F(RegistryValues, NamesCompareWithoutCaseAndKeepTheirFirstSpelling) {
  ASSERT_EQ(SetDword(key_, OLESTR("Port"), 80), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(key_, OLESTR("PORT"), 8080), ERROR_SUCCESS);
  DWORD port = 0;
  DWORD size = sizeof port;
  ASSERT_EQ(RegQueryValueExW(key_, OLESTR("port"), nullptr, nullptr, reinterpret_cast<BYTE*>(&port),
                             &size),
            ERROR_SUCCESS);
  EXPECT_EQ(port, 8080u);
  EXPECT_EQ(ValueNames(key_), std::vector<std::string>{"Port"});
}

TEST_F(RegistryValues, SettingAgainReplacesTypeAndData) {
  ASSERT_EQ(SetDword(key_, OLESTR("v"), 7), ERROR_SUCCESS);
  ASSERT_EQ(SetString(key_, OLESTR("v"), OLESTR("seven"), REG_EXPAND_SZ), ERROR_SUCCESS);
  DWORD type = 0;
  DWORD size = 0;
  ASSERT_EQ(RegQueryValueExW(key_, OLESTR("v"), nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
  EXPECT_EQ(size, 12u);
  EXPECT_EQ(QueryString(key_, OLESTR("v")), "seven");
}

TEST_F(RegistryEnumeration, ListsEverySubkeyOnceThenNoMoreItems) {
  const std::set<std::string> expected = {"alpha", "Beta", "gamma\xC3\xA9", "delta"};
  for (const std::string& name : expected) {
    ASSERT_EQ(CreateAndClose(winport::Utf8ToWide(name).c_str()), ERROR_SUCCESS);
  }
  ASSERT_EQ(CreateAndClose(OLESTR("alpha\\nested")), ERROR_SUCCESS);  // not listed
  const std::vector<std::string> names = SubkeyNames(key_);
  EXPECT_EQ(names.size(), expected.size());
  EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), expected);
}

TEST_F(RegistryEnumeration, ListsEveryValueWithItsData) {
  ASSERT_EQ(SetDword(key_, OLESTR("one"), 1), ERROR_SUCCESS);
  ASSERT_EQ(SetString(key_, OLESTR("two"), OLESTR("2")), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(key_, nullptr, 3), ERROR_SUCCESS);
  std::set<std::string> seen;
  for (DWORD index = 0;; ++index) {
    OLECHAR name[32];
    DWORD length = 32;
    DWORD type = 0;
    BYTE data[16];
    DWORD size = sizeof data;
    const LSTATUS status = RegEnumValueW(key_, index, name, &length, nullptr, &type, data, &size);
    if (status == ERROR_NO_MORE_ITEMS) break;
    ASSERT_EQ(status, ERROR_SUCCESS);
    const std::string text = Narrow(winport::WideView(name, length));
    seen.insert(text);
    if (text == "two") {
      EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
      EXPECT_EQ(size, 4u);
    } else {
      EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
      EXPECT_EQ(size, 4u);
    }
  }
  EXPECT_EQ(seen, (std::set<std::string>{"", "one", "two"}));
}

TEST_F(RegistryEnumeration, NameBufferMustHoldTheTerminator) {
  ASSERT_EQ(CreateAndClose(OLESTR("five5")), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(key_, OLESTR("four"), 4), ERROR_SUCCESS);
  const struct {
    DWORD given;
    LSTATUS expected;
  } cases[] = {{1, ERROR_MORE_DATA}, {5, ERROR_MORE_DATA}, {6, ERROR_SUCCESS}, {64, ERROR_SUCCESS}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.given);
    OLECHAR name[64];
    DWORD length = c.given;
    EXPECT_EQ(RegEnumKeyExW(key_, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              c.expected);
    if (c.expected == ERROR_SUCCESS) {
      EXPECT_EQ(length, 5u);
      EXPECT_EQ(Narrow(name), "five5");
    }
    // "four" is one shorter.
    length = c.given;
    const LSTATUS value_status =
        RegEnumValueW(key_, 0, name, &length, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(value_status, c.given >= 5 ? ERROR_SUCCESS : ERROR_MORE_DATA);
    if (value_status == ERROR_SUCCESS) {
      EXPECT_EQ(length, 4u);
    }
  }
}

TEST_F(RegistryEnumeration, ShortDataBufferAsksForTheSize) {
  ASSERT_EQ(SetString(key_, OLESTR("s"), OLESTR("abcdef")), ERROR_SUCCESS);  // 14 bytes
  OLECHAR name[8];
  DWORD length = 8;
  BYTE data[4];
  DWORD size = sizeof data;
  EXPECT_EQ(RegEnumValueW(key_, 0, name, &length, nullptr, nullptr, data, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 14u);
  length = 8;
  size = 0;
  EXPECT_EQ(RegEnumValueW(key_, 0, name, &length, nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 14u);
}

TEST_F(RegistryDeletion, DeleteValue) {
  ASSERT_EQ(SetDword(key_, OLESTR("gone"), 1), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(key_, OLESTR("kept"), 2), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueW(key_, OLESTR("GONE")), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueW(key_, OLESTR("gone")), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValueW(key_, nullptr), ERROR_FILE_NOT_FOUND);  // no default value
  EXPECT_EQ(ValueNames(key_), std::vector<std::string>{"kept"});
}

TEST_F(RegistryDeletion, DeleteKeyRefusesAKeyWithSubkeys) {
  ASSERT_EQ(CreateAndClose(OLESTR("parent\\child")), ERROR_SUCCESS);
  const struct {
    const OLECHAR* path;
    LSTATUS expected;
  } steps[] = {
      {OLESTR("parent"), ERROR_ACCESS_DENIED},  // it has a subkey
      {OLESTR("missing"), ERROR_FILE_NOT_FOUND},
      {OLESTR("parent\\CHILD"), ERROR_SUCCESS},
      {OLESTR("parent\\child"), ERROR_FILE_NOT_FOUND},
      {OLESTR("parent"), ERROR_SUCCESS},  // now a leaf
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(Narrow(step.path));
    EXPECT_EQ(RegDeleteKeyW(key_, step.path), step.expected);
  }
  EXPECT_EQ(SubkeyNames(key_), std::vector<std::string>{});
}

TEST_F(RegistryDeletion, DeleteKeyWithEmptyNameDeletesTheKeyItself) {
  HKEY leaf = nullptr;
  ASSERT_EQ(Create(key_, OLESTR("leaf"), &leaf), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyW(leaf, OLESTR("")), ERROR_SUCCESS);
  RegCloseKey(leaf);
  EXPECT_EQ(SubkeyNames(key_), std::vector<std::string>{});
}

TEST_F(RegistryDeletion, DeleteTreeRemovesTheSubkeyAndAllBelow) {
  ASSERT_EQ(CreateAndClose(OLESTR("tree\\a\\b")), ERROR_SUCCESS);
  ASSERT_EQ(CreateAndClose(OLESTR("tree\\c")), ERROR_SUCCESS);
  ASSERT_EQ(CreateAndClose(OLESTR("sibling")), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteTreeW(key_, OLESTR("Tree")), ERROR_SUCCESS);
  EXPECT_EQ(SubkeyNames(key_), std::vector<std::string>{"sibling"});
  EXPECT_EQ(RegDeleteTreeW(key_, OLESTR("tree")), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryDeletion, DeleteTreeWithoutSubkeyEmptiesTheKey) {
  ASSERT_EQ(CreateAndClose(OLESTR("a\\b")), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(key_, OLESTR("v"), 1), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(key_, nullptr, 1), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteTreeW(key_, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(SubkeyNames(key_), std::vector<std::string>{});
  EXPECT_EQ(ValueNames(key_), std::vector<std::string>{});
  EXPECT_EQ(SetDword(key_, OLESTR("v"), 2), ERROR_SUCCESS);  // the key itself remains
}

TEST_F(RegistryHandles, KeyDeletedThroughAnotherHandleFailsItsOperations) {
  HKEY doomed = nullptr;
  ASSERT_EQ(Create(key_, OLESTR("doomed"), &doomed), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(doomed, OLESTR("v"), 1), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteKeyW(key_, OLESTR("doomed")), ERROR_SUCCESS);

  DWORD size = 0;
  OLECHAR name[16];
  DWORD length = 16;
  HKEY child = nullptr;
  EXPECT_EQ(RegQueryValueExW(doomed, OLESTR("v"), nullptr, nullptr, nullptr, &size),
            ERROR_KEY_DELETED);
  EXPECT_EQ(SetDword(doomed, OLESTR("v"), 2), ERROR_KEY_DELETED);
  EXPECT_EQ(RegEnumValueW(doomed, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_KEY_DELETED);
  length = 16;
  EXPECT_EQ(RegEnumKeyExW(doomed, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_KEY_DELETED);
  EXPECT_EQ(Create(doomed, OLESTR("child"), &child), ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(doomed), ERROR_SUCCESS);
  EXPECT_EQ(SubkeyNames(key_), std::vector<std::string>{});
}

TEST_F(RegistryHandles, ClosedOrNullHandleIsInvalid) {
  HKEY closed = nullptr;
  ASSERT_EQ(Create(key_, OLESTR("k"), &closed), ERROR_SUCCESS);
  ASSERT_EQ(RegCloseKey(closed), ERROR_SUCCESS);
  for (HKEY bad : {closed, static_cast<HKEY>(nullptr)}) {
    SCOPED_TRACE(bad == nullptr ? "null" : "closed");
    HKEY key = nullptr;
    DWORD size = 0;
    OLECHAR name[8];
    DWORD length = 8;
    EXPECT_EQ(Open(bad, OLESTR("k"), &key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(Create(bad, OLESTR("k"), &key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(SetDword(bad, OLESTR("v"), 1), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegQueryValueExW(bad, OLESTR("v"), nullptr, nullptr, nullptr, &size),
              ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegEnumKeyExW(bad, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegEnumValueW(bad, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegDeleteValueW(bad, OLESTR("v")), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegDeleteKeyW(bad, OLESTR("k")), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegDeleteTreeW(bad, OLESTR("k")), ERROR_INVALID_HANDLE);
  }
  // Windows recycles handle values, so only a null handle is sure to stay invalid.
  EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryHandles, RightsOfTheHandleGovernItsValueCalls) {
  ASSERT_EQ(CreateAndClose(OLESTR("k\\sub")), ERROR_SUCCESS);
  const struct {
    const char* label;
    REGSAM access;
    LSTATUS set, query, enumerate;
  } cases[] = {
      {"read", KEY_READ, ERROR_ACCESS_DENIED, ERROR_SUCCESS, ERROR_SUCCESS},
      {"write", KEY_WRITE, ERROR_SUCCESS, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
      {"query", KEY_QUERY_VALUE, ERROR_ACCESS_DENIED, ERROR_SUCCESS, ERROR_ACCESS_DENIED},
      {"all", KEY_ALL_ACCESS, ERROR_SUCCESS, ERROR_SUCCESS, ERROR_SUCCESS},
      {"view flags grant nothing", KEY_QUERY_VALUE | KEY_WOW64_64KEY, ERROR_ACCESS_DENIED,
       ERROR_SUCCESS, ERROR_ACCESS_DENIED},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    HKEY key = nullptr;
    ASSERT_EQ(Open(key_, OLESTR("k"), &key, c.access), ERROR_SUCCESS);
    EXPECT_EQ(SetDword(key, OLESTR("v"), 1), c.set);
    DWORD size = 0;
    const LSTATUS query = RegQueryValueExW(key, OLESTR("v"), nullptr, nullptr, nullptr, &size);
    EXPECT_EQ(query == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : query, c.query);
    OLECHAR name[8];
    DWORD length = 8;
    EXPECT_EQ(RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              c.enumerate);
    EXPECT_EQ(RegDeleteValueW(key, OLESTR("v")) == ERROR_ACCESS_DENIED,
              c.set == ERROR_ACCESS_DENIED);
    // Making a subkey is checked against the key's security, not the handle's rights.
    HKEY made = nullptr;
    EXPECT_EQ(Create(key, OLESTR("made"), &made), ERROR_SUCCESS);
    RegCloseKey(made);
    RegCloseKey(key);
  }
}

TEST_F(RegistryFaults, InjectedResultIsAnsweredAndChangesNothing) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  ASSERT_EQ(SetDword(key_, OLESTR("v"), 1), ERROR_SUCCESS);
  const struct {
    const char* function;
    LSTATUS (*call)(HKEY);
  } cases[] = {
      {"RegOpenKeyExW",
       [](HKEY parent) {
         HKEY key = nullptr;
         return RegOpenKeyExW(parent, OLESTR(""), 0, KEY_READ, &key);
       }},
      {"RegCreateKeyExW",
       [](HKEY parent) {
         HKEY key = nullptr;
         return RegCreateKeyExW(parent, OLESTR("made"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                &key, nullptr);
       }},
      {"RegSetValueExW",
       [](HKEY key) {
         const DWORD two = 2;
         return RegSetValueExW(key, OLESTR("v"), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&two),
                               4);
       }},
      {"RegQueryValueExW",
       [](HKEY key) {
         DWORD size = 0;
         return RegQueryValueExW(key, OLESTR("v"), nullptr, nullptr, nullptr, &size);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.function);
    winport::fault::FailCall(c.function, ERROR_OUTOFMEMORY);
    EXPECT_EQ(c.call(key_), ERROR_OUTOFMEMORY);
  }
  EXPECT_EQ(SubkeyNames(key_), std::vector<std::string>{});
  DWORD value = 0;
  DWORD size = sizeof value;
  ASSERT_EQ(
      RegQueryValueExW(key_, OLESTR("v"), nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
      ERROR_SUCCESS);
  EXPECT_EQ(value, 1u);
}

}  // namespace
