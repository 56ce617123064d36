#include <gtest/gtest.h>

#include <winport/machine.h>
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

}  // namespace
