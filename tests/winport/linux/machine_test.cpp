#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

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

// Umask 022: a new machine and what the platform writes in it, and an older machine once
// used, are the owner's alone; a file made off the machine follows the umask.
TEST(MachineFiles, AreTheOwnersAloneWhateverTheUmask) {
  const mode_t umask = ::umask(022);
  const fs::path root = testing_support::MachinePrefix();
  ::setenv("QUILLMERE_PREFIX", (root / "machine").c_str(), 1);
  const HANDLE source = RegisterEventSourceW(nullptr, OLESTR("Quillmere"));
  EXPECT_TRUE(ReportEventW(source, EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 0, 0, nullptr, nullptr));
  DeregisterEventSource(source);
  const HANDLE mutex = CreateMutexW(nullptr, FALSE, OLESTR("QuillmereFiles"));
  EXPECT_TRUE(CreateDirectoryW(OLESTR("C:\\Logs"), nullptr));
  for (const fs::path& file : {root / "machine" / "Logs" / "a.log", root / "outside"})
    CloseHandle(CreateFileW(winport::Utf8ToWide(file.string()).c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_NEW, 0, nullptr));
  EXPECT_EQ(winport::msmq::Install() | winport::msmq::Stop(), 0u);
  CloseHandle(mutex);
  fs::create_directories(root / "older" / "host");
  std::ofstream(root / "older" / "host" / "users.db") << "x";
  fs::permissions(root / "older", fs::perms(0755));
  ::setenv("QUILLMERE_PREFIX", (root / "older").c_str(), 1);
  winport::machine::Prefix();
  ::setenv("QUILLMERE_PREFIX", root.c_str(), 1);
  ::umask(umask);
  std::vector<std::string> open;  // "path mode" of what the group or others may use
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const auto mode = static_cast<unsigned>(entry.symlink_status().permissions());
    if ((mode & 077) != 0) open.push_back(entry.path().string() + " " + std::to_string(mode));
  }
  EXPECT_EQ(open, std::vector<std::string>{(root / "outside").string() + " 420"});
  EXPECT_EQ(fs::status(root / "machine").permissions(), fs::perms::owner_all);
  EXPECT_TRUE(fs::exists(root / "machine" / "Logs" / "a.log"));
}

}  // namespace
