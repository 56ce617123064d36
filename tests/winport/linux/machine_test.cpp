#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

#include <winport/machine.h>
#include <winport/message_queuing.h>
#include <winport/windows.h>

#include "fresh_machine.h"

namespace {

namespace fs = std::filesystem;
using winport::machine::MapPath;

TEST(MachinePrefix, IsTheTestsOwnAndLaidOut) {
  const fs::path prefix = winport::machine::Prefix();
  EXPECT_EQ(prefix, testing_support::MachinePrefix());
  for (const char* folder : {"registry", "eventlog", "wmi", "msmq", "windows/system32", "lib"}) {
    EXPECT_TRUE(fs::is_directory(prefix / folder)) << folder;
  }
  EXPECT_EQ(winport::machine::SystemDirectory(), prefix / "windows" / "system32");
}

TEST(MachinePrefix, WindowsPathsMapOntoThePrefix) {
  const fs::path prefix = winport::machine::Prefix();
  EXPECT_EQ(MapPath(OLESTR("C:\\Windows\\system32\\LogFiles")),
            prefix / "windows" / "system32" / "LogFiles");
  // Existing folders are found whatever the case the path gives them.
  EXPECT_EQ(MapPath(OLESTR("c:\\WINDOWS\\System32")), prefix / "windows" / "system32");
  EXPECT_EQ(MapPath(OLESTR("C:/Windows/./Temp/../system32")), prefix / "windows" / "system32");
  EXPECT_EQ(MapPath(OLESTR("D:\\data")), prefix / "drive_d" / "data");
  EXPECT_EQ(MapPath(OLESTR("\\\\?\\C:\\Windows")), prefix / "windows");
  EXPECT_EQ(MapPath(OLESTR("/var/tmp/x")), fs::path("/var/tmp/x"));
}

mode_t Mode(const fs::path& path) {
  struct stat status {};
  return ::lstat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 07777;
}

// What under `directory` its group or others may use, as "path 0644".
std::vector<std::string> OpenToOthers(const fs::path& directory) {
  std::vector<std::string> open;
  for (const auto& entry : fs::recursive_directory_iterator(directory)) {
    if ((Mode(entry.path()) & 077) != 0)
      open.push_back(entry.path().string() + " " + std::to_string(Mode(entry.path())));
  }
  return open;
}

class UsualUmask {
 public:
  UsualUmask() : before_(::umask(022)) {}
  ~UsualUmask() { ::umask(before_); }

 private:
  const mode_t before_;
};

// Each facility that writes to the machine, under the usual umask: the registry, the event
// log, a named mutex, a folder and a file made through the file API, message queuing.
TEST(MachineFiles, WhatThePlatformWritesIsTheOwnersAlone) {
  const UsualUmask umask;
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, OLESTR("SOFTWARE\\Quillmere"), 0, nullptr, 0,
                            KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
  const HANDLE source = RegisterEventSourceW(nullptr, OLESTR("Quillmere"));
  ASSERT_TRUE(ReportEventW(source, EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 0, 0, nullptr, nullptr));
  DeregisterEventSource(source);
  const HANDLE mutex = CreateMutexW(nullptr, FALSE, OLESTR("Global\\QuillmereFiles"));
  ASSERT_NE(mutex, nullptr);
  ASSERT_TRUE(CreateDirectoryW(OLESTR("C:\\Windows\\system32\\LogFiles"), nullptr));
  const HANDLE file = CreateFileW(OLESTR("C:\\Windows\\system32\\LogFiles\\a.log"), GENERIC_WRITE,
                                  0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  ASSERT_EQ(winport::msmq::Install(), 0u);
  ASSERT_EQ(winport::msmq::Stop(), 0u);

  const fs::path prefix = winport::machine::Prefix();
  EXPECT_EQ(Mode(prefix / "sync"), 0700u);
  EXPECT_EQ(Mode(prefix / "eventlog" / "Application.log"), 0600u);
  EXPECT_EQ(OpenToOthers(prefix), std::vector<std::string>());
  CloseHandle(mutex);

  // Off the machine, a file follows the umask as any program's does.
  const fs::path outside = prefix.parent_path() / (prefix.filename().string() + "-outside");
  const HANDLE elsewhere = CreateFileW(winport::Utf8ToWide(outside.string()).c_str(), GENERIC_WRITE,
                                       0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(elsewhere, INVALID_HANDLE_VALUE);
  CloseHandle(elsewhere);
  EXPECT_EQ(Mode(outside), 0644u);
  fs::remove(outside);
}

// A prefix made afresh is 0700; one an older build left open to others is tightened, with
// all in it, the first time it is used.
TEST(MachineFiles, APrefixIsTheOwnersAloneFromItsFirstUse) {
  const UsualUmask umask;
  const fs::path fresh = winport::machine::Prefix() / "fresh" / "machine";
  const fs::path older = winport::machine::Prefix() / "older";
  fs::create_directories(older / "host" / "content");
  std::ofstream(older / "host" / "users.db") << "x";
  std::ofstream(older / "host" / "content" / "mainmenu.xml") << "<menu/>";
  fs::permissions(older, fs::perms(0755));
  for (const fs::path& prefix : {fresh, older}) {
    SCOPED_TRACE(prefix);
    ::setenv("QUILLMERE_PREFIX", prefix.c_str(), 1);
    EXPECT_EQ(winport::machine::Prefix(), prefix);
    EXPECT_EQ(Mode(prefix), 0700u);
    EXPECT_EQ(OpenToOthers(prefix), std::vector<std::string>());
  }
  EXPECT_EQ(Mode(older / "host" / "users.db"), 0600u);
  ::setenv("QUILLMERE_PREFIX", testing_support::MachinePrefix().c_str(), 1);
}

}  // namespace
