// What a queued record carries: who, where, when, and what.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <thread>
#include <vector>

#include <winport/test_clock.h>
#include <winport/windows.h>

#include "diagnostics/reporting.h"
#include "diagnostics/timestamp.h"
#include "errors/com_error.h"
#include "platform_skips.h"
#include "recording_reporting.h"
#include "wide_matchers.h"

namespace {

using quillmere::kLevelError;
using quillmere::kLevelTrace;
using quillmere::kLevelWarning;
using testing_support::RecordedReport;
using testing_support::RecordingReporting;

// "yyyy-MM-dd HH:mm:ss.mmm", digits where the picture has letters.
bool IsTimestamp(const std::string& text) {
  const std::string picture = "dddd-dd-dd dd:dd:dd.ddd";
  if (text.size() != picture.size()) return false;
  for (std::size_t i = 0; i < picture.size(); ++i) {
    const bool digit = std::isdigit(static_cast<unsigned char>(text[i])) != 0;
    if (picture[i] == 'd' ? !digit : text[i] != picture[i]) return false;
  }
  return true;
}

TEST(ReportRecord, ReportCarriesProcessThreadAndText) {
  RecordingReporting reporting;
  reporting.SetReportingLevel(kLevelWarning);
  DWORD reportingThread = 0;
  std::thread([&] {
    reportingThread = GetCurrentThreadId();
    reporting.Report(kLevelWarning, OLESTR("CUserList::execute::execute"),
                     OLESTR(" Not a member of QMS_ADMIN group"));
  }).join();

  ASSERT_TRUE(reporting.WaitForRecords(1));
  const RecordedReport record = reporting.Records().at(0);
  EXPECT_EQ(record.level, kLevelWarning);
  EXPECT_EQ(record.processId, GetCurrentProcessId());
  EXPECT_EQ(record.threadId, reportingThread);
  EXPECT_NE(record.threadId, GetCurrentThreadId());
  EXPECT_EQ(record.source, "CUserList::execute::execute");
  EXPECT_EQ(record.description, " Not a member of QMS_ADMIN group");
  EXPECT_EQ(record.location, std::nullopt);
  EXPECT_EQ(record.errorNumber, 0);
  EXPECT_TRUE(IsTimestamp(record.time)) << record.time;
}

TEST(ReportRecord, ReportErrorCarriesNumberAndLocation) {
  RecordingReporting reporting;  // level 0: errors still pass
  reporting.ReportError(OLESTR("ISOAPObjectImpl::Execute"), OLESTR("Unspecified error"),
                        static_cast<LONG>(0x80004005), OLESTR("line 42"));

  ASSERT_TRUE(reporting.WaitForRecords(1));
  const RecordedReport record = reporting.Records().at(0);
  EXPECT_EQ(record.level, kLevelError);
  EXPECT_EQ(record.threadId, GetCurrentThreadId());
  EXPECT_EQ(record.source, "ISOAPObjectImpl::Execute");
  EXPECT_EQ(record.description, "Unspecified error");
  EXPECT_EQ(record.location, "line 42");
  EXPECT_EQ(record.errorNumber, static_cast<LONG>(0x80004005));
}

TEST(ReportRecord, NullTextsStayNullAndEmptyTextsStayEmpty) {
  RecordingReporting reporting;
  reporting.ReportError(nullptr, nullptr, 0, nullptr);
  reporting.ReportError(OLESTR(""), OLESTR(""), 0, OLESTR(""));

  ASSERT_TRUE(reporting.WaitForRecords(2));
  const auto records = reporting.Records();
  EXPECT_EQ(records[0].source, std::nullopt);
  EXPECT_EQ(records[0].description, std::nullopt);
  EXPECT_EQ(records[0].location, std::nullopt);
  EXPECT_EQ(records[1].source, "");
  EXPECT_EQ(records[1].description, "");
  EXPECT_EQ(records[1].location, "");
}

struct TraceCase {
  bool entering;
  const char* description;
  LONG errorNumber;
};
void PrintTo(const TraceCase& c, std::ostream* out) {
  *out << c.description;
}

class TraceRecord : public testing::TestWithParam<TraceCase> {};

TEST_P(TraceRecord, NamesTheFunctionAndTheDirection) {
  RecordingReporting reporting;
  reporting.SetReportingLevel(kLevelTrace);
  reporting.Trace(GetParam().entering, OLESTR("CAdministrator::OnStart"));

  ASSERT_TRUE(reporting.WaitForRecords(1));
  const RecordedReport record = reporting.Records().at(0);
  EXPECT_EQ(record.level, kLevelTrace);
  EXPECT_EQ(record.source, "CAdministrator::OnStart");
  EXPECT_EQ(record.description, GetParam().description);
  EXPECT_EQ(record.errorNumber, GetParam().errorNumber);
  EXPECT_EQ(record.location, std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Directions, TraceRecord,
                         testing::Values(TraceCase{true, "*ENTER*", 1},
                                         TraceCase{false, "*LEAVE*", -1}),
                         [](const testing::TestParamInfo<TraceCase>& info) {
                           return std::string(info.param.entering ? "Entering" : "Leaving");
                         });

TEST(ReportRecord, IsStampedWithTheLocalTimeOfTheReport) {
  SKIP_UNLESS_TEST_CLOCK_REACHES_PLATFORM();
  winport::test_clock::Set({2006, 3, 0, 1, 13, 5, 9, 42}, 60);
  RecordingReporting reporting;
  reporting.ReportError(OLESTR("first"), nullptr, 0, nullptr);
  winport::test_clock::Advance(1000);
  reporting.ReportError(OLESTR("second"), nullptr, 0, nullptr);

  ASSERT_TRUE(reporting.WaitForRecords(2));
  EXPECT_EQ(reporting.Records()[0].time, "2006-03-01 14:05:09.042");
  EXPECT_EQ(reporting.Records()[1].time, "2006-03-01 14:05:10.042");
}

struct TimestampCase {
  const char* name;
  SYSTEMTIME utc;
  int localOffsetMinutes;
  const char* expected;
};
void PrintTo(const TimestampCase& c, std::ostream* out) {
  *out << c.name;
}

class Timestamp : public testing::TestWithParam<TimestampCase> {};

TEST_P(Timestamp, FormatsTheLocalTime) {
  SKIP_UNLESS_TEST_CLOCK_REACHES_PLATFORM();
  winport::test_clock::Set(GetParam().utc, GetParam().localOffsetMinutes);
  EXPECT_EQ(testing_support::NarrowBstr(quillmere::FormatTimestamp().Get()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Instants, Timestamp,
    testing::Values(
        TimestampCase{"Example", {2006, 3, 0, 1, 14, 5, 9, 42}, 0, "2006-03-01 14:05:09.042"},
        TimestampCase{"WholeSecond", {2024, 1, 0, 1, 0, 0, 0, 0}, 0, "2024-01-01 00:00:00.000"},
        TimestampCase{
            "Afternoon", {2024, 11, 0, 30, 23, 59, 59, 999}, 0, "2024-11-30 23:59:59.999"},
        TimestampCase{"Noon", {2024, 7, 0, 4, 12, 0, 0, 100}, 0, "2024-07-04 12:00:00.100"},
        TimestampCase{"LeapDay", {2000, 2, 0, 29, 9, 8, 7, 5}, 0, "2000-02-29 09:08:07.005"},
        TimestampCase{
            "LocalIntoNextYear", {2026, 12, 0, 31, 23, 59, 59, 999}, 60, "2027-01-01 00:59:59.999"},
        TimestampCase{"LocalIntoPreviousDay",
                      {2024, 3, 0, 1, 0, 30, 0, 250},
                      -60,
                      "2024-02-29 23:30:00.250"}),
    [](const testing::TestParamInfo<TimestampCase>& info) { return std::string(info.param.name); });

TEST(Timestamp, EachStampFollowsTheClockThroughTheSecondAndTheDay) {
  SKIP_UNLESS_TEST_CLOCK_REACHES_PLATFORM();
  // The same thread stamps within one second and then across midnight.
  winport::test_clock::Set({2025, 12, 0, 31, 23, 59, 59, 998}, 0);
  std::vector<std::string> stamps;
  for (int i = 0; i < 3; ++i) {
    stamps.push_back(testing_support::NarrowBstr(quillmere::FormatTimestamp().Get()));
    winport::test_clock::Advance(1);
  }
  EXPECT_EQ(stamps, (std::vector<std::string>{"2025-12-31 23:59:59.998", "2025-12-31 23:59:59.999",
                                              "2026-01-01 00:00:00.000"}));
}

}  // namespace
