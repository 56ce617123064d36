// The daily user-activity files: a header once per file, one whole line per action, also
// with two processes writing at once.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <winport/machine.h>

#include "diagnostics/log_user_actions.h"
#include "linux/child_process.h"

namespace {

const std::string kHeader = "#Software:\tTessaline Quillmere\r\n#Version:\t7.0\r\n#Date:\t\t";
const std::string kColumns = "\r\n[time]    [user]              [action]\r\n\r\n";

class UserActivityLog : public testing::Test {
 protected:
  // Windows has the folder the log's own folder is made in from installation on.
  void SetUp() override {
    WCHAR system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    std::filesystem::create_directories(
        winport::machine::MapPath(winport::WideString(system) + OLESTR("\\LogFiles")));
  }
  static std::string DayFile(const quillmere::LogUserActions& log, const char* name) {
    std::ifstream file(
        winport::machine::MapPath(log.Folder() + OLESTR("\\") + winport::Utf8ToWide(name)));
    return std::string(std::istreambuf_iterator<char>(file), {});
  }
};

// Off until switched on; a 25-character name pushes the action right; just after midnight
// the next day's file starts with its own header.
TEST_F(UserActivityLog, DayFilesGetOneHeaderAndALinePerAction) {
  quillmere::LogUserActions log;
  winport::test_clock::Set({2026, 12, 0, 31, 23, 59, 59, 999});
  EXPECT_FALSE(log.LogUserAction(OLESTR("ann"), OLESTR("unseen")));
  log.EnableUserActivityLog();
  EXPECT_TRUE(log.LogUserAction(OLESTR("ann"), OLESTR("logon")));
  EXPECT_TRUE(log.LogUserAction(OLESTR("abcdefghijklmnopqrstuvwxy"), OLESTR("édit")));
  winport::test_clock::Advance(1);
  EXPECT_TRUE(log.LogUserAction(OLESTR("bob"), OLESTR("logoff")));
  EXPECT_EQ(DayFile(log, "sw261231.log"), kHeader + "12/31/26\r\n" + kColumns +
                                              "23:59:59  ann                 logon\r\n"
                                              "23:59:59  abcdefghijklmnopqrstuvwxy\xE9"
                                              "dit\r\n");
  EXPECT_EQ(DayFile(log, "sw270101.log"),
            kHeader + "01/01/27\r\n" + kColumns + "00:00:00  bob                 logoff\r\n");
}

TEST_F(UserActivityLog, TwoProcessesWriteWholeLinesUnderOneHeader) {
  const auto writeLines = [](int, int) {
    quillmere::LogUserActions log;
    log.EnableUserActivityLog();
    for (int i = 0; i < 200; ++i)
      log.LogUserAction(OLESTR("user"), OLESTR("a long action text that must stay whole"));
    return 0;
  };
  winport::test_clock::Set({2026, 6, 0, 1, 12, 0, 0, 0});
  winport_tests::Child first(writeLines), second(writeLines);
  first.Go();
  second.Go();
  ASSERT_EQ(first.Wait() | second.Wait(), 0);
  std::istringstream text(DayFile(quillmere::LogUserActions(), "sw260601.log"));
  int headers = 0, lines = 0;
  for (std::string line; std::getline(text, line);) {
    headers += line.rfind("#Software:", 0) == 0;
    lines += line == "12:00:00  user                a long action text that must stay whole\r";
  }
  EXPECT_EQ(headers, 1);
  EXPECT_EQ(lines, 400);
}

}  // namespace
