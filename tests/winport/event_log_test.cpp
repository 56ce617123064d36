#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include <winport/windows.h>

#ifndef _WIN32
#include <winport/event_log_reader.h>
#endif

#include "platform_skips.h"

namespace {

using winport::WideString;

// A source name no earlier run has used, as Windows keeps its log.
WideString UniqueSource() {
  const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  return winport::Utf8ToWide(
      std::string("Quillmere test ") + test->name() + " " +
      std::to_string(std::chrono::duration_cast<std::chrono::microseconds>(now).count()));
}

// Registers a unique source for one test.
class Source {
 public:
  Source() : name_(UniqueSource()), handle_(RegisterEventSourceW(nullptr, name_.c_str())) {}
  ~Source() {
    if (handle_ != nullptr) DeregisterEventSource(handle_);
  }
  HANDLE handle() const { return handle_; }
  const WideString& name() const { return name_; }

 private:
  WideString name_;
  HANDLE handle_;
};

// The records are read back where the log is winport's; the record layout of the file
// is tested with the Linux implementation.
TEST(EventLog, AReportIsOneRecordAsGiven) {
  Source source;
  ASSERT_NE(source.handle(), nullptr);
  HANDLE same_name = RegisterEventSourceW(nullptr, source.name().c_str());
  ASSERT_NE(same_name, nullptr);
  EXPECT_TRUE(DeregisterEventSource(same_name));
  // S-1-5-32-544, the Administrators group.
  alignas(DWORD)
      BYTE administrators[SECURITY_MAX_SID_SIZE] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2};
  LPCWSTR strings[] = {OLESTR("user \"bob\""), OLESTR(""), OLESTR("two\nlines")};
  std::vector<BYTE> data(0xF000, 0xA5);  // the largest data a record takes
  EXPECT_TRUE(ReportEventW(source.handle(), EVENTLOG_AUDIT_FAILURE, 65535, 0xC0000064,
                           administrators, 3, static_cast<DWORD>(data.size()), strings,
                           data.data()));
  EXPECT_TRUE(
      ReportEventW(source.handle(), EVENTLOG_SUCCESS, 0, 2, nullptr, 0, 0, nullptr, nullptr));
#ifndef _WIN32
  const auto records = winport::eventlog::ReadEvents(0, source.name());
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].type, EVENTLOG_AUDIT_FAILURE);
  EXPECT_EQ(records[0].category, 65535);
  EXPECT_EQ(records[0].event_id, 0xC0000064u);
  EXPECT_EQ(records[0].user_sid, "S-1-5-32-544");
  EXPECT_EQ(records[0].strings,
            (std::vector<WideString>{OLESTR("user \"bob\""), OLESTR(""), OLESTR("two\nlines")}));
  EXPECT_EQ(records[0].data, data);
  EXPECT_EQ(records[1].event_id, 2u);
  EXPECT_EQ(records[1].user_sid, "");
#endif
}

TEST(EventLogFaults, RegisterAndReportFailWithTheInjectedError) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  winport::fault::FailCall("RegisterEventSourceW", ERROR_NOT_ENOUGH_MEMORY);
  SetLastError(0);
  EXPECT_EQ(RegisterEventSourceW(nullptr, OLESTR("Quillmere")), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));

  Source source;
  ASSERT_NE(source.handle(), nullptr);
  winport::fault::FailCall("ReportEventW", ERROR_WRITE_FAULT);
  SetLastError(0);
  EXPECT_FALSE(
      ReportEventW(source.handle(), EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 0, 0, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WRITE_FAULT));
  EXPECT_TRUE(
      ReportEventW(source.handle(), EVENTLOG_ERROR_TYPE, 0, 2, nullptr, 0, 0, nullptr, nullptr));
#ifndef _WIN32
  const auto logged = winport::eventlog::ReadEvents(0, source.name());
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_EQ(logged[0].event_id, 2u);
#endif
}

}  // namespace
