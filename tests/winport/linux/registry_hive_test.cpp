// The registry's hive file: its text, its survival of failed writes, and several
// processes changing it at once.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <winport/machine.h>
#include <winport/windows.h>

#include "linux/child_process.h"
#include "wide_matchers.h"

namespace {

using winport_tests::Child;

namespace fs = std::filesystem;
using testing_support::Narrow;

fs::path HivePath() {
  return winport::machine::RegistryDirectory() / "machine.reg";
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteText(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

HKEY CreateKey(HKEY parent, const OLECHAR* path) {
  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyExW(parent, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  return key;
}

LSTATUS SetBytes(HKEY key, const OLECHAR* name, DWORD type, const void* data, std::size_t size) {
  return RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data),
                        static_cast<DWORD>(size));
}

std::string Hex(const BYTE* data, std::size_t size) {
  std::string out;
  for (std::size_t i = 0; i < size; ++i) {
    out += "0123456789abcdef"[data[i] >> 4];
    out += "0123456789abcdef"[data[i] & 15];
  }
  return out;
}

// The value as "type:hex bytes", or the error that kept it from being read.
std::string Describe(HKEY key, const OLECHAR* name) {
  BYTE data[256];
  DWORD size = sizeof data;
  DWORD type = 0;
  const LSTATUS status = RegQueryValueExW(key, name, nullptr, &type, data, &size);
  if (status != ERROR_SUCCESS) return "error " + std::to_string(status);
  return std::to_string(type) + ":" + Hex(data, size);
}

// Values whose names and data need the hive's escapes.
struct Awkward {
  const OLECHAR* name;
  DWORD type;
  std::basic_string<OLECHAR> data;  // stored as its UTF-16 units, as given
};
const Awkward kAwkward[] = {
    {OLESTR(""), REG_SZ, std::basic_string<OLECHAR>(OLESTR("default"), 8)},
    {OLESTR("quote\" back\\slash"), REG_SZ, std::basic_string<OLECHAR>(OLESTR("a\"b\\c"), 6)},
    {OLESTR("line\nbreak\ttab"), REG_EXPAND_SZ, std::basic_string<OLECHAR>(OLESTR("%P%\r\n"), 6)},
    {OLESTR("[section] = @"), REG_MULTI_SZ, std::basic_string<OLECHAR>(OLESTR("x\0y\0\0"), 5)},
    {OLESTR("caf\u00e9 \U0001F600"), REG_SZ, OLESTR("\u00fcber \U0001F600")},  // unterminated
    {OLESTR("lone"), REG_SZ, std::basic_string<OLECHAR>(1, 0xD800) + OLECHAR(0)},
    {OLESTR("binary"), REG_BINARY, std::basic_string<OLECHAR>(OLESTR("\x0102"))},
    {OLESTR("custom"), 0x1234, OLESTR("zz")},
};

// Another process's values, escaped in the hive's text, and its deletions reach this
// process's open handles.
TEST(RegistryHive, AnotherProcessesChangesReachOpenHandles) {
  HKEY shared = CreateKey(HKEY_CURRENT_USER, OLESTR("Software\\Quill%mere\\[odd] key"));
  HKEY doomed = CreateKey(shared, OLESTR("doomed"));
  EXPECT_EQ(Describe(shared, OLESTR("Port")), "error 2");  // this process has read it
  Child child([](int, int) {
    HKEY key = CreateKey(HKEY_CURRENT_USER, OLESTR("software\\QUILL%MERE\\[ODD] KEY"));
    const DWORD port = 8080;
    bool ok = SetBytes(key, OLESTR("Port"), REG_DWORD, &port, 4) == ERROR_SUCCESS &&
              RegDeleteKeyW(key, OLESTR("doomed")) == ERROR_SUCCESS;
    for (const Awkward& value : kAwkward) {
      ok = ok && SetBytes(key, value.name, value.type, value.data.data(), value.data.size() * 2) ==
                     ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return ok ? 0 : 1;
  });
  child.Go();
  EXPECT_EQ(child.Wait(), 0);

  const std::string text = ReadText(HivePath());
  EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Quill%0025mere\\%005Bodd%005D key] "),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\"Port\" = dword 0x00001f90\n"), std::string::npos) << text;
  EXPECT_NE(text.find("@ = sz \"default\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\"line\\nbreak\\ttab\" = expand_sz \"%P%\\r\\n\"\n"), std::string::npos)
      << text;
  EXPECT_EQ(Describe(shared, OLESTR("port")), "4:901f0000");
  for (const Awkward& value : kAwkward) {
    SCOPED_TRACE(Narrow(value.name));
    EXPECT_EQ(Describe(shared, value.name),
              std::to_string(value.type) + ":" +
                  Hex(reinterpret_cast<const BYTE*>(value.data.data()), value.data.size() * 2));
  }
  EXPECT_EQ(Describe(doomed, OLESTR("v")), "error " + std::to_string(ERROR_KEY_DELETED));
  RegCloseKey(doomed);
  RegCloseKey(shared);
}

TEST(RegistryHive, MalformedHiveIsReportedAndLeftAsItIs) {
  const char* const kMalformed[] = {
      "[HKEY_NOWHERE\\x]\n",
      "[HKEY_CURRENT_USER\\a]\n\"v\" = binary hex:abc\n",
      "[HKEY_CURRENT_USER\\a%005Cb]\n",
      "[HKEY_CURRENT_USER\\a]\n\"v\" = 99999999999999999999 hex:00\n",
  };
  for (const char* malformed : kMalformed) {
    SCOPED_TRACE(malformed);
    WriteText(HivePath(), malformed);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, OLESTR("Software"), 0, KEY_READ, &key), ERROR_BADDB);
    const DWORD one = 1;
    EXPECT_EQ(SetBytes(HKEY_CURRENT_USER, OLESTR("v"), REG_DWORD, &one, 4), ERROR_BADDB);
    EXPECT_EQ(ReadText(HivePath()), malformed);
  }
}

TEST(RegistryHive, FailedWriteLeavesThePreviousHive) {
  HKEY key = CreateKey(HKEY_CURRENT_USER, OLESTR("Software\\Kept"));
  const DWORD one = 1, two = 2;
  ASSERT_EQ(SetBytes(key, OLESTR("v"), REG_DWORD, &one, 4), ERROR_SUCCESS);
  const std::string before = ReadText(HivePath());

  winport::fault::FailCall("RegistryHiveWrite", 1);
  EXPECT_EQ(SetBytes(key, OLESTR("v"), REG_DWORD, &two, 4), ERROR_CANTWRITE);
  EXPECT_EQ(ReadText(HivePath()), before);
  EXPECT_EQ(Describe(key, OLESTR("v")), "4:01000000");  // this process forgot the change too
  EXPECT_EQ(SetBytes(key, OLESTR("v"), REG_DWORD, &two, 4), ERROR_SUCCESS);
  EXPECT_EQ(Describe(key, OLESTR("v")), "4:02000000");
  RegCloseKey(key);
}

constexpr int kKeysPerProcess = 200;

int CreateManyKeys(int process) {
  for (int i = 0; i < kKeysPerProcess; ++i) {
    const auto path = winport::FormatWide("Software\\Race\\p%d-k%03d", process, i);
    winport::ScopedHkey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        key.Receive(), nullptr) != ERROR_SUCCESS) {
      return 1;
    }
  }
  return 0;
}

TEST(RegistryHive, TwoProcessesRegisteringAtOnceLoseNothing) {
  Child first([](int, int) { return CreateManyKeys(1); });
  Child second([](int, int) { return CreateManyKeys(2); });
  ASSERT_TRUE(first.started() && second.started());
  first.Go();
  second.Go();
  EXPECT_EQ(first.Wait(), 0);
  EXPECT_EQ(second.Wait(), 0);
  HKEY race = CreateKey(HKEY_CURRENT_USER, OLESTR("Software\\Race"));
  int found = 0;
  OLECHAR name[32];
  for (DWORD length = 32; RegEnumKeyExW(race, found, name, &length, nullptr, nullptr, nullptr,
                                        nullptr) == ERROR_SUCCESS;
       length = 32) {
    ++found;
  }
  EXPECT_EQ(found, 2 * kKeysPerProcess);
  RegCloseKey(race);
}

TEST(RegistryHive, ClassesRootIsLocalMachineSoftwareClasses) {
  HKEY clsid = CreateKey(HKEY_CLASSES_ROOT, OLESTR("CLSID\\{0A0B}"));
  ASSERT_EQ(SetBytes(clsid, nullptr, REG_SZ, OLESTR("Widget"), 14), ERROR_SUCCESS);
  RegCloseKey(clsid);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, OLESTR("Software\\Classes\\CLSID\\{0a0b}"), 0,
                          KEY_READ, &key),
            ERROR_SUCCESS);
  EXPECT_EQ(Describe(key, nullptr), "1:5700690064006700650074000000");
  RegCloseKey(key);
  EXPECT_NE(ReadText(HivePath()).find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{0A0B}]"),
            std::string::npos);
}

}  // namespace
