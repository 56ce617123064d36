// The level filter as callers meet it: which reports are queued under which setting.
#include <gtest/gtest.h>

#include <string>

#include <winport/windows.h>

#include "diagnostics/reporting.h"
#include "errors/com_error.h"
#include "platform_skips.h"
#include "recording_reporting.h"

namespace {

using quillmere::kLevelError;
using quillmere::kLevelTrace;
using quillmere::kLevelWarning;
using quillmere::kTraceBitsLoaded;
using testing_support::RecordedReport;
using testing_support::RecordingReporting;

enum class Operation { kReport, kTrace, kReportError };

struct FilterCase {
  const char* name;
  DWORD reportingLevel;
  DWORD traceBits;
  Operation operation;
  DWORD level;  // of a Report
  bool queued;
};
void PrintTo(const FilterCase& c, std::ostream* out) {
  *out << c.name;
}

void Perform(quillmere::Reporting& reporting, const FilterCase& c) {
  switch (c.operation) {
    case Operation::kReport:
      reporting.Report(c.level, OLESTR("probe"), OLESTR("text"));
      break;
    case Operation::kTrace:
      reporting.Trace(true, OLESTR("probe"));
      break;
    case Operation::kReportError:
      reporting.ReportError(OLESTR("probe"), OLESTR("text"), 5, nullptr);
      break;
  }
}

// Reports from one thread arrive in order, so once a following error (which always
// passes) has arrived, the probe has arrived too if it was queued at all.
std::vector<RecordedReport> RecordsUpToSentinel(RecordingReporting& reporting) {
  reporting.ReportError(OLESTR("sentinel"), nullptr, 0, nullptr);
  EXPECT_TRUE(
      reporting.WaitForRecord([](const RecordedReport& r) { return r.source == "sentinel"; }));
  return reporting.Records();
}

bool HasProbe(const std::vector<RecordedReport>& records) {
  for (const RecordedReport& r : records)
    if (r.source == "probe") return true;
  return false;
}

class ReportFilter : public testing::TestWithParam<FilterCase> {};

TEST_P(ReportFilter, QueuesWhatPasses) {
  const FilterCase& c = GetParam();
  RecordingReporting reporting;
  reporting.SetReportingLevel(c.reportingLevel);
  reporting.SetTraceBits(c.traceBits);

  Perform(reporting, c);

  EXPECT_EQ(HasProbe(RecordsUpToSentinel(reporting)), c.queued);
}

constexpr Operation kReport = Operation::kReport;
constexpr Operation kTrace = Operation::kTrace;
constexpr Operation kError = Operation::kReportError;

INSTANTIATE_TEST_SUITE_P(
    Levels, ReportFilter,
    testing::Values(
        // Level 0: only errors.
        FilterCase{"Zero_Error", 0, kTraceBitsLoaded, kReport, 1, true},
        FilterCase{"Zero_Warning", 0, kTraceBitsLoaded, kReport, 2, false},
        FilterCase{"Zero_Information", 0, kTraceBitsLoaded, kReport, 4, false},
        FilterCase{"Zero_ReportTrace", 0, kTraceBitsLoaded, kReport, 8, false},
        FilterCase{"Zero_Trace", 0, kTraceBitsLoaded, kTrace, 0, false},
        FilterCase{"Zero_ReportError", 0, kTraceBitsLoaded, kError, 0, true},
        FilterCase{"Zero_NoTraceBits_ReportError", 0, 0, kError, 0, true},
        // 0x100 switches tracing on through the trace bits, and only through them.
        FilterCase{"TraceBit_Trace", 0x100, kTraceBitsLoaded, kTrace, 0, true},
        FilterCase{"TraceBit_ReportTrace", 0x100, kTraceBitsLoaded, kReport, 8, true},
        FilterCase{"TraceBit_Warning", 0x100, kTraceBitsLoaded, kReport, 2, false},
        FilterCase{"TraceBit_Information", 0x100, kTraceBitsLoaded, kReport, 4, false},
        FilterCase{"TraceBitUnloaded_Trace", 0x100, 0, kTrace, 0, false},
        FilterCase{"TraceBitUnloaded_ReportTrace", 0x100, 0, kReport, 8, false},
        FilterCase{"OtherHighBit_Trace", 0x200, kTraceBitsLoaded, kTrace, 0, false},
        // 6: warnings and information; errors anyway; no trace.
        FilterCase{"Six_Warning", 6, kTraceBitsLoaded, kReport, 2, true},
        FilterCase{"Six_Information", 6, kTraceBitsLoaded, kReport, 4, true},
        FilterCase{"Six_Error", 6, kTraceBitsLoaded, kReport, 1, true},
        FilterCase{"Six_Trace", 6, kTraceBitsLoaded, kTrace, 0, false},
        FilterCase{"Six_ReportTrace", 6, kTraceBitsLoaded, kReport, 8, false},
        // Bit 8 on its own.
        FilterCase{"Eight_Trace", 8, 0, kTrace, 0, true},
        FilterCase{"Eight_Warning", 8, 0, kReport, 2, false},
        FilterCase{"Errors_Warning", 1, kTraceBitsLoaded, kReport, 2, false},
        FilterCase{"All_Trace", 0xF, 0, kTrace, 0, true},
        FilterCase{"All_Information", 0xF, 0, kReport, 4, true},
        // Levels that are not one of the four: a shared bit passes; the error bit always.
        FilterCase{"Zero_ErrorAndWarning", 0, 0, kReport, 3, true},
        FilterCase{"All_Level16", 0xF, 0, kReport, 16, false},
        FilterCase{"Sixteen_Level16", 16, 0, kReport, 16, true},
        FilterCase{"Everything_LevelZero", 0xFFFFFFFF, 0, kReport, 0, false}),
    [](const testing::TestParamInfo<FilterCase>& info) { return std::string(info.param.name); });

TEST(ReportFilter, ANewLevelTakesEffectForTheNextReport) {
  RecordingReporting reporting;
  reporting.Report(kLevelWarning, OLESTR("probe"), OLESTR("before"));
  reporting.SetReportingLevel(kLevelWarning);
  reporting.Report(kLevelWarning, OLESTR("probe"), OLESTR("after"));
  reporting.SetReportingLevel(0);
  reporting.Report(kLevelWarning, OLESTR("probe"), OLESTR("reset"));

  std::vector<std::string> probes;
  for (const RecordedReport& r : RecordsUpToSentinel(reporting))
    if (r.source == "probe") probes.push_back(r.description.value_or(""));
  EXPECT_EQ(probes, std::vector<std::string>{"after"});
}

TEST(ReportFilter, LevelEnabledIsTheEffectiveMask) {
  RecordingReporting reporting;
  reporting.SetReportingLevel(0x100 | kLevelWarning);
  EXPECT_FALSE(reporting.LevelEnabled(kLevelTrace));  // no trace bits yet
  reporting.SetTraceBits(kTraceBitsLoaded);
  EXPECT_TRUE(reporting.LevelEnabled(kLevelTrace));
  EXPECT_TRUE(reporting.LevelEnabled(kLevelWarning));
  EXPECT_FALSE(reporting.LevelEnabled(kLevelError));  // errors pass the filter, not the mask
}

// Every copy a record needs fails: a filtered report must not be hurt, because it copies
// nothing.
TEST(ReportFilter, AFilteredReportCopiesNothing) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  RecordingReporting reporting;
  reporting.SetTraceBits(kTraceBitsLoaded);
  winport::fault::FailCall("SysAllocStringLen", ERROR_NOT_ENOUGH_MEMORY, 1, 1000);
  EXPECT_NO_THROW(reporting.Report(kLevelWarning, OLESTR("probe"), OLESTR("text")));
  EXPECT_NO_THROW(reporting.Trace(true, OLESTR("probe")));
  winport::fault::Reset();
  EXPECT_FALSE(HasProbe(RecordsUpToSentinel(reporting)));
}

// The nth allocation of a passing report fails: source, description, time stamp.
class ReportAllocationFailure : public testing::TestWithParam<unsigned> {};

TEST_P(ReportAllocationFailure, RaisesOutOfMemoryAndQueuesNothing) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  RecordingReporting reporting;
  reporting.SetReportingLevel(kLevelWarning);
  winport::fault::FailCall("SysAllocStringLen", ERROR_NOT_ENOUGH_MEMORY, GetParam());
  try {
    reporting.Report(kLevelWarning, OLESTR("probe"), OLESTR("text"));
    ADD_FAILURE() << "no exception";
  } catch (const quillmere::_com_error& error) {
    EXPECT_EQ(error.Error(), E_OUTOFMEMORY);
  }
  winport::fault::Reset();
  EXPECT_FALSE(HasProbe(RecordsUpToSentinel(reporting)));
}

INSTANTIATE_TEST_SUITE_P(Copies, ReportAllocationFailure, testing::Values(1u, 2u, 3u));

// Every operation runs the once-only initialisation first, even when its report is
// filtered out.
struct InitialisingCase {
  const char* name;
  void (*operation)(quillmere::Reporting&);
};
void PrintTo(const InitialisingCase& c, std::ostream* out) {
  *out << c.name;
}

class ReportingInitialization : public testing::TestWithParam<InitialisingCase> {};

TEST_P(ReportingInitialization, RunsBeforeTheFirstReport) {
  RecordingReporting reporting;
  EXPECT_FALSE(reporting.IsInitialized());
  GetParam().operation(reporting);
  EXPECT_TRUE(reporting.IsInitialized());
}

INSTANTIATE_TEST_SUITE_P(
    Operations, ReportingInitialization,
    testing::Values(InitialisingCase{"FilteredReport",
                                     [](quillmere::Reporting& r) {
                                       r.Report(kLevelWarning, nullptr, nullptr);
                                     }},
                    InitialisingCase{
                        "Error",
                        [](quillmere::Reporting& r) { r.Report(kLevelError, nullptr, nullptr); }},
                    InitialisingCase{"ReportError",
                                     [](quillmere::Reporting& r) {
                                       r.ReportError(nullptr, nullptr, 0, nullptr);
                                     }},
                    InitialisingCase{"FilteredTrace",
                                     [](quillmere::Reporting& r) { r.Trace(true, OLESTR("f")); }}),
    [](const testing::TestParamInfo<InitialisingCase>& info) {
      return std::string(info.param.name);
    });

}  // namespace
