// The trace scope of an entry: its records, its name's length limit and what happens
// when the traces themselves fail.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <winport/wide.h>
#include <winport/windows.h>

#include "errors/entry.h"
#include "errors/trace_scope.h"
#include "recording_report_sink.h"

namespace {

using testing_support::RecordingReportSink;
using testing_support::SinkReport;

// "C0123456789..." of the given length, so a cut shows where it fell.
std::string NameOfLength(std::size_t length) {
  std::string name;
  for (std::size_t i = 0; i < length; ++i)
    name += static_cast<char>('0' + i % 10);
  if (length > 0) name[0] = 'C';
  return name;
}

class TraceScopeName : public testing::TestWithParam<std::size_t> {};

TEST_P(TraceScopeName, IsCutTo79CharactersInTracesAndReports) {
  const std::string full = NameOfLength(GetParam());
  const std::string expected = full.substr(0, 79);
  const winport::WideString wide = winport::Utf8ToWide(full);
  RecordingReportSink sink;
  quillmere::RunEntry(sink, wide.c_str(), [] { throw 7u; });
  const std::vector<SinkReport> reports = sink.Reports();
  ASSERT_EQ(reports.size(), 3u);
  EXPECT_EQ(reports[0].source, expected);
  EXPECT_EQ(reports[1].source, expected);
  EXPECT_EQ(reports[2].source, expected);
}

INSTANTIATE_TEST_SUITE_P(Lengths, TraceScopeName, testing::Values(0, 1, 78, 79, 80, 100));

TEST(TraceScope, AFailingLeaveTraceDoesNotChangeTheResult) {
  RecordingReportSink sink;
  sink.FailWhen([](const SinkReport& report) { return report.description == "*LEAVE*"; });
  EXPECT_EQ(quillmere::RunEntry(sink, OLESTR("CTrace::Leave"), [] { return S_FALSE; }), S_FALSE);
  EXPECT_EQ(quillmere::RunEntry(sink, OLESTR("CTrace::Leave"), [] { throw 1u; }), E_FAIL);
}

TEST(TraceScope, AFailingEnterTraceFailsTheEntryWithoutRunningItsBody) {
  RecordingReportSink sink;
  sink.FailWhen([](const SinkReport& report) { return report.description == "*ENTER*"; });
  bool ran = false;
  EXPECT_EQ(quillmere::RunEntry(sink, OLESTR("CTrace::Enter"), [&] { ran = true; }), E_FAIL);
  EXPECT_FALSE(ran);
  const std::vector<SinkReport> reports = sink.ReportsWithoutTraces();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].source, "CTrace::Enter");
  EXPECT_EQ(reports[0].description, "reporting failed");
}

}  // namespace
