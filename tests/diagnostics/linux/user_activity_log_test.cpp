// The daily user-activity files: header once per file, one whole line per action, also
// with two processes writing at once.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <winport/machine.h>
#include <winport/wide.h>

#include "diagnostics/log_user_actions.h"
#include "fresh_machine.h"
#include "linux/child_process.h"

namespace {

constexpr const char* kHeaderEnd = "\r\n[time]    [user]              [action]\r\n\r\n";

// The folder the log's own folder is made in, which Windows has from installation on.
class UserActivityLog : public testing::Test {
 protected:
  void SetUp() override {
    WCHAR system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    std::filesystem::create_directories(
        winport::machine::MapPath(winport::WideString(system) + OLESTR("\\LogFiles")));
  }
};

std::string DayFile(const quillmere::LogUserActions& log, const char* name) {
  std::ifstream file(
      winport::machine::MapPath(log.Folder() + OLESTR("\\") + winport::Utf8ToWide(name)));
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

TEST_F(UserActivityLog, WritesNothingUntilSwitchedOn) {
  quillmere::LogUserActions log;
  winport::test_clock::Set({2026, 12, 0, 31, 23, 59, 59, 0});
  EXPECT_FALSE(log.LogUserAction(OLESTR("ann"), OLESTR("logon")));
  EXPECT_EQ(DayFile(log, "sw261231.log"), "");
}

// A 25-character name pushes the action right; just after midnight the next day's file
// starts with its own header.
TEST_F(UserActivityLog, DayFilesGetOneHeaderAndALinePerAction) {
  quillmere::LogUserActions log;
  log.EnableUserActivityLog();
  winport::test_clock::Set({2026, 12, 0, 31, 23, 59, 59, 999});
  EXPECT_TRUE(log.LogUserAction(OLESTR("ann"), OLESTR("logon")));
  EXPECT_TRUE(log.LogUserAction(OLESTR("abcdefghijklmnopqrstuvwxy"), OLESTR("édit")));
  winport::test_clock::Advance(1);
  EXPECT_TRUE(log.LogUserAction(OLESTR("bob"), OLESTR("logoff")));
  const std::string header = "#Software:\tTessaline Quillmere\r\n#Version:\t7.0\r\n#Date:\t\t";
  EXPECT_EQ(DayFile(log, "sw261231.log"), header + "12/31/26\r\n" + kHeaderEnd +
                                              "23:59:59  ann                 logon\r\n"
                                              "23:59:59  abcdefghijklmnopqrstuvwxy\xE9"
                                              "dit\r\n");
  EXPECT_EQ(DayFile(log, "sw270101.log"),
            header + "01/01/27\r\n" + kHeaderEnd + "00:00:00  bob                 logoff\r\n");
}

TEST_F(UserActivityLog, TwoProcessesWriteWholeLinesUnderOneHeader) {
  constexpr int kLines = 200;
  const auto writeLines = [](int, int) {
    quillmere::LogUserActions log;
    log.EnableUserActivityLog();
    for (int i = 0; i < kLines; ++i)
      log.LogUserAction(OLESTR("user"), OLESTR("a fairly long action text that must stay whole"));
    return 0;
  };
  winport_tests::Child first(writeLines);
  winport_tests::Child second(writeLines);
  first.Go();
  second.Go();
  ASSERT_EQ(first.Wait(), 0);
  ASSERT_EQ(second.Wait(), 0);

  quillmere::LogUserActions log;
  SYSTEMTIME now{};
  GetLocalTime(&now);
  char name[32];
  std::snprintf(name, sizeof name, "sw%02d%02d%02d.log", now.wYear % 100, now.wMonth, now.wDay);
  std::istringstream text(DayFile(log, name));
  int headers = 0;
  int lines = 0;
  for (std::string line; std::getline(text, line);) {
    if (line.rfind("#Software:", 0) == 0) ++headers;
    if (line.find("user                a fairly long action text that must stay whole\r") == 10)
      ++lines;
  }
  EXPECT_EQ(headers, 1);
  EXPECT_EQ(lines, 2 * kLines);
}

}  // namespace
