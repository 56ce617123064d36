// The report operations as callers meet them: the level filter, what a record carries and
// its time stamp, and the event type and category of each level.
#include <gtest/gtest.h>

#include <functional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <winport/test_clock.h>
#include <winport/wide.h>
#include <winport/windows.h>

#include "allocation/failing_allocations.h"
#include "diagnostics/reporting.h"
#include "errors/com_error.h"
#include "recording_reporting.h"

namespace {

using quillmere::kLevelError;
using quillmere::kLevelInformation;
using quillmere::kLevelTrace;
using quillmere::kLevelWarning;
using quillmere::kTraceBitsLoaded;
using testing_support::RecordingReporting;
using testing_support::Text;

// Each row makes a Report of `level` and a Trace. One object through every row, so each
// row also shows that a new level or new trace bits take effect for the next report.
TEST(ReportFilter, QueuesWhatPassesTheLevelAndTheTraceBits) {
  struct Row {
    DWORD reportingLevel;
    DWORD traceBits;
    DWORD level;
    bool reportQueued;
    bool traceQueued;
  };
  const Row rows[] = {
      // Level 0: errors only; an error bit among others will do.
      {0, kTraceBitsLoaded, kLevelError, true, false},
      {0, kTraceBitsLoaded, kLevelWarning, false, false},
      {0, 0, kLevelError | kLevelWarning, true, false},
      // 0x100 switches tracing on through the trace bits, and only through them.
      {0x100, kTraceBitsLoaded, kLevelTrace, true, true},
      {0x100, kTraceBitsLoaded, kLevelWarning, false, true},
      {0x100, 0, kLevelTrace, false, false},
      {0x200, kTraceBitsLoaded, kLevelTrace, false, false},
      {6, kTraceBitsLoaded, kLevelWarning, true, false},
      {6, kTraceBitsLoaded, kLevelInformation, true, false},
      {8, 0, kLevelTrace, true, true},
      // A level that is none of the four passes on a shared bit.
      {16, 0, 16, true, false},
      {0xF, 0, 16, false, true},
  };
  RecordingReporting reporting;
  std::vector<std::string> expected;
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    const Row& row = rows[i];
    reporting.SetReportingLevel(row.reportingLevel);
    reporting.SetTraceBits(row.traceBits);
    const std::string report = "report " + std::to_string(i);
    const std::string trace = "trace " + std::to_string(i);
    reporting.Report(row.level, winport::Utf8ToWide(report).c_str(), nullptr);
    reporting.Trace(true, winport::Utf8ToWide(trace).c_str());
    if (row.reportQueued) expected.push_back(report);
    if (row.traceQueued) expected.push_back(trace);
    // LevelEnabled answers the mask alone: errors pass the filter, not the mask.
    EXPECT_EQ(reporting.LevelEnabled(row.level), row.reportQueued && (row.level & kLevelError) == 0)
        << report;
    EXPECT_EQ(reporting.LevelEnabled(kLevelTrace), row.traceQueued) << trace;
  }
  // Records from one thread arrive in order: the error reported last comes last.
  reporting.ReportError(OLESTR("sentinel"), nullptr, 0, nullptr);
  expected.push_back("sentinel");
  ASSERT_TRUE(reporting.WaitFor(expected.size()));
  std::vector<std::string> queued;
  for (const quillmere::ReportRecord* record : reporting.Records())
    queued.push_back(Text(record->source));
  EXPECT_EQ(queued, expected);
}

// A filtered report allocates nothing, because it copies nothing.
TEST(ReportFilter, AFilteredReportCopiesNothing) {
  quillmere::Reporting reporting;
  reporting.SetTraceBits(kTraceBitsLoaded);
  reporting.EnsureInitialized();  // reading the settings allocates; the probe must not
  testing_support::FailAllocation(1);
  EXPECT_NO_THROW(reporting.Report(kLevelWarning, OLESTR("probe"), OLESTR("text")));
  EXPECT_NO_THROW(reporting.Trace(true, OLESTR("probe")));
  EXPECT_FALSE(testing_support::AllocationFailed());
  testing_support::FailAllocation(0);
}

TEST(ReportRecord, EveryOperationInitialisesFirstEvenWhenFiltered) {
  const std::function<void(quillmere::Reporting&)> operations[] = {
      [](quillmere::Reporting& r) { r.Report(kLevelWarning, nullptr, nullptr); },
      [](quillmere::Reporting& r) { r.ReportError(nullptr, nullptr, 0, nullptr); },
      [](quillmere::Reporting& r) { r.Trace(true, OLESTR("f")); }};
  for (const auto& operation : operations) {
    quillmere::Reporting reporting;
    EXPECT_FALSE(reporting.IsInitialized());
    operation(reporting);
    EXPECT_TRUE(reporting.IsInitialized());
  }
}

// The clock moves on after each report: each record keeps the local time it was made at,
// through a second, a new second and a new day.
TEST(ReportRecord, CarriesWhoWhenWhereAndWhat) {
  const bool clockSet = winport::test_clock::ReachesPlatform();
  if (clockSet) winport::test_clock::Set({2026, 2, 0, 28, 22, 59, 58, 998}, 60);
  RecordingReporting reporting;
  reporting.SetReportingLevel(kLevelWarning | kLevelTrace);
  DWORD reportingThread = 0;
  std::thread([&] {
    reportingThread = GetCurrentThreadId();
    const int steps[] = {1, 1, 1000, 3723005, 1};
    const int* step = steps;
    const auto tick = [&] {
      if (clockSet) winport::test_clock::Advance(*step++);
    };
    reporting.Report(kLevelWarning, OLESTR("CUserList::execute::execute"),
                     OLESTR(" Not a member of QMS_ADMIN group"));
    tick();
    reporting.ReportError(OLESTR("ISOAPObjectImpl::Execute"), OLESTR("Unspecified error"),
                          static_cast<LONG>(0x80004005), OLESTR("line 42"));
    tick();
    reporting.Trace(true, OLESTR("CAdministrator::OnStart"));
    tick();
    reporting.Trace(false, OLESTR("CAdministrator::OnStart"));
    tick();
    reporting.ReportError(nullptr, nullptr, 0, nullptr);
    tick();
    reporting.ReportError(OLESTR(""), OLESTR(""), 0, OLESTR(""));
  }).join();

  // level|source|description|location|error number
  const std::vector<std::string> expected = {
      "2|CUserList::execute::execute| Not a member of QMS_ADMIN group|(null)|0",
      "1|ISOAPObjectImpl::Execute|Unspecified error|line 42|-2147467259",
      "8|CAdministrator::OnStart|*ENTER*|(null)|1",
      "8|CAdministrator::OnStart|*LEAVE*|(null)|-1",
      "1|(null)|(null)|(null)|0",
      "1||||0"};
  const std::vector<std::string> times = {"2026-02-28 23:59:58.998", "2026-02-28 23:59:58.999",
                                          "2026-02-28 23:59:59.000", "2026-03-01 00:00:00.000",
                                          "2026-03-01 01:02:03.005", "2026-03-01 01:02:03.006"};
  ASSERT_TRUE(reporting.WaitFor(expected.size()));
  std::vector<std::string> kept;
  std::vector<std::string> stamped;
  for (const quillmere::ReportRecord* record : reporting.Records()) {
    EXPECT_EQ(record->processId, GetCurrentProcessId());
    EXPECT_EQ(record->threadId, reportingThread);
    kept.push_back(std::to_string(record->level) + "|" + Text(record->source) + "|" +
                   Text(record->description) + "|" + Text(record->location) + "|" +
                   std::to_string(record->errorNumber));
    stamped.push_back(Text(record->time));
    EXPECT_TRUE(std::regex_match(
        stamped.back(), std::regex("[0-9]{4}(-[0-9]{2}){2} [0-9]{2}(:[0-9]{2}){2}[.][0-9]{3}")))
        << stamped.back();
  }
  EXPECT_EQ(kept, expected);
  // Where the system's own clock answers, it cannot be set: there the time has its form only.
  if (clockSet) {
    EXPECT_EQ(stamped, times);
  }
}

// The record and its texts are one allocation (a record of the usual size may take a block
// freed by an earlier one instead): when it cannot be made, E_OUTOFMEMORY and nothing is
// queued. A text too long for a pooled block makes a block of its own, carried whole.
TEST(ReportRecord, AnAllocationFailureRaisesOutOfMemoryAndQueuesNothing) {
  // A still clock: the second's text, formatted by the first report, is not formatted again.
  const bool clockSet = winport::test_clock::ReachesPlatform();
  if (clockSet) winport::test_clock::Set({2026, 2, 0, 28, 22, 59, 58, 998});
  RecordingReporting reporting;
  reporting.ReportError(OLESTR("first"), nullptr, 0, nullptr);
  const winport::WideString longText(1000, OLECHAR('x'));
  testing_support::FailAllocation(1);
  try {
    reporting.ReportError(OLESTR("probe"), longText.c_str(), 0, nullptr);
    ADD_FAILURE() << "no exception";
  } catch (const quillmere::_com_error& error) {
    EXPECT_EQ(error.Error(), E_OUTOFMEMORY);
  }
  EXPECT_TRUE(testing_support::AllocationFailed());
  testing_support::FailAllocation(0);

  reporting.ReportError(OLESTR("sentinel"), longText.c_str(), 0, nullptr);
  ASSERT_TRUE(reporting.WaitFor(2));
  EXPECT_EQ(Text(reporting.Records()[1]->source), "sentinel");
  EXPECT_EQ(Text(reporting.Records()[1]->description), std::string(1000, 'x'));
  if (clockSet) winport::test_clock::Reset();
}

}  // namespace
