// The entry discipline seen from a caller: what the entry returns, what it reports and
// which text it leaves as the thread's error info, for each kind of thing thrown.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include <winport/windows.h>

#include "errors/automation_exception.h"
#include "errors/com_error.h"
#include "errors/entry.h"
#include "errors/error_info.h"
#include "errors/structured_exception.h"
#include "platform_skips.h"
#include "recording_report_sink.h"
#include "thread_error_info.h"

namespace {

using errors_test::TakeThreadErrorDescription;
using testing_support::RecordingReportSink;
using testing_support::SinkReport;

constexpr const OLECHAR* kEntryName = OLESTR("CLadder::Operation");
constexpr const char* kSource = "CLadder::Operation";

SinkReport ErrorReport(std::string description, HRESULT code,
                       std::optional<std::string> location = std::nullopt) {
  SinkReport report;
  report.kind = SinkReport::Kind::kReportError;
  report.level = 1;
  report.source = kSource;
  report.description = std::move(description);
  report.error_number = code;
  report.has_location = location.has_value();
  report.location = location.value_or("");
  return report;
}

SinkReport LevelOneReport(std::string description) {
  SinkReport report;
  report.kind = SinkReport::Kind::kReport;
  report.level = 1;
  report.source = kSource;
  report.description = std::move(description);
  return report;
}

SinkReport TraceRecord(bool entering, std::string name = kSource) {
  SinkReport report;
  report.kind = SinkReport::Kind::kTrace;
  report.source = std::move(name);
  report.description = entering ? "*ENTER*" : "*LEAVE*";
  return report;
}

// An error info with both a description and a source, as a failing COM server leaves it.
winport::ComPtr<IErrorInfo> ServerErrorInfo(const OLECHAR* description, const OLECHAR* source) {
  winport::ComPtr<ICreateErrorInfo> create;
  EXPECT_EQ(CreateErrorInfo(create.GetAddressOf()), S_OK);
  create->SetDescription(const_cast<OLECHAR*>(description));
  create->SetSource(const_cast<OLECHAR*>(source));
  winport::ComPtr<IErrorInfo> info;
  EXPECT_EQ(create.As(&info), S_OK);
  return info;
}

struct FaultRecord {
  EXCEPTION_RECORD record{};
  EXCEPTION_POINTERS pointers{};

  FaultRecord(DWORD code, ULONG_PTR address, std::vector<ULONG_PTR> parameters = {}) {
    record.ExceptionCode = code;
    record.ExceptionAddress = reinterpret_cast<PVOID>(address);
    record.NumberParameters = static_cast<DWORD>(parameters.size());
    for (std::size_t i = 0; i < parameters.size(); ++i)
      record.ExceptionInformation[i] = parameters[i];
    pointers.ExceptionRecord = &record;
  }
};

struct LadderCase {
  const char* name;
  std::function<void()> throwSomething;
  HRESULT returned;
  std::optional<std::string> errorInfo;  // the thread's error info afterwards; none when nullopt
  SinkReport report;
};

void PrintTo(const LadderCase& row, std::ostream* out) {
  *out << row.name;
}

// Where LONG (and so HRESULT) is int, a thrown int reads as a thrown HRESULT.
constexpr const char* kThrownIntKind = std::is_same_v<LONG, int> ? "HRESULT" : "int";

std::vector<LadderCase> LadderCases() {
  return {
      {"ComErrorWithErrorInfo",
       [] {
         throw quillmere::_com_error(
             static_cast<HRESULT>(0x8004FF05),
             ServerErrorInfo(OLESTR("The store is read-only"), OLESTR("Quillmere.Store")));
       },
       static_cast<HRESULT>(0x8004FF05), "The store is read-only",
       ErrorReport("COM Error:  IDispatch error #64773\nThe store is read-only",
                   static_cast<HRESULT>(0x8004FF05), "Quillmere.Store")},
      {"ComErrorWithEmptyDescription",
       [] {
         throw quillmere::_com_error(static_cast<HRESULT>(0x8004FF05),
                                     ServerErrorInfo(OLESTR(""), OLESTR("Quillmere.Store")));
       },
       static_cast<HRESULT>(0x8004FF05), "",
       ErrorReport("COM Error:  IDispatch error #64773", static_cast<HRESULT>(0x8004FF05),
                   "Quillmere.Store")},
      {"ComErrorWithoutErrorInfo",
       [] { quillmere::RaiseComErrorWithoutInfo(static_cast<HRESULT>(0xA0011234)); },
       static_cast<HRESULT>(0xA0011234), std::nullopt,
       ErrorReport("COM Error:  Unknown error 0xA0011234", static_cast<HRESULT>(0xA0011234))},
      {"NarrowAutomationException",
       [] {
         throw quillmere::AutomationException<char>(static_cast<HRESULT>(0x80070057),
                                                    "Bad value \x80 12");
       },
       static_cast<HRESULT>(0x80070057), "Bad value \u20AC 12",
       ErrorReport("Bad value \u20AC 12", static_cast<HRESULT>(0x80070057))},
      {"WideAutomationException",
       [] {
         throw quillmere::AutomationException<OLECHAR>(static_cast<HRESULT>(0x80070005),
                                                       OLESTR("No entry for Z\u00FCrich"));
       },
       static_cast<HRESULT>(0x80070005), "No entry for Z\u00FCrich",
       ErrorReport("No entry for Z\u00FCrich", static_cast<HRESULT>(0x80070005))},
      {"AccessViolation",
       [] {
         FaultRecord fault(0xC0000005, 0x401000, {1, 0x10});
         throw quillmere::access_violation(&fault.pointers);
       },
       static_cast<HRESULT>(0xC0000005),
       "Win32 Exception:  Access Violation  at  0x0000000000401000\n"
       "Attempt to write at 0x0000000000000010",
       ErrorReport("Win32 Exception:  Access Violation  at  0x0000000000401000\n"
                   "Attempt to write at 0x0000000000000010",
                   static_cast<HRESULT>(0xC0000005))},
      {"NumericException",
       [] {
         FaultRecord fault(0xC0000094, 0x7FF612345678);
         throw quillmere::numeric_exception(&fault.pointers);
       },
       static_cast<HRESULT>(0xC0000094),
       "Win32 Exception:  Division By Zero  at  0x00007FF612345678\n"
       "The thread attempted to divide a value by a divisor of zero",
       ErrorReport("Win32 Exception:  Division By Zero  at  0x00007FF612345678\n"
                   "The thread attempted to divide a value by a divisor of zero",
                   static_cast<HRESULT>(0xC0000094))},
      {"Win32ExceptionWithoutRecord", [] { throw quillmere::win32_exception(nullptr); }, S_OK,
       "Win32 Exception:  0x       0  at  0x0000000000000000\n"
       "The hardware exception handler in Vexora encountered an exception with an "
       "unrecognized ID value.",
       ErrorReport("Win32 Exception:  0x       0  at  0x0000000000000000\n"
                   "The hardware exception handler in Vexora encountered an exception with an "
                   "unrecognized ID value.",
                   S_OK)},
      {"StandardException", [] { throw std::runtime_error("Widget \x80 exploded"); }, E_FAIL,
       "Widget \u20AC exploded", LevelOneReport("Widget \u20AC exploded")},
      {"ThrownHresult", [] { throw static_cast<HRESULT>(0x80070005); }, E_FAIL,
       "Unknown exception (HRESULT): 0x80070005 (-2147024891)",
       LevelOneReport("Unknown exception (HRESULT): 0x80070005 (-2147024891)")},
      {"ThrownLong", [] { throw static_cast<long>(-2147024891); }, E_FAIL,
       "Unknown exception (HRESULT): 0x80070005 (-2147024891)",
       LevelOneReport("Unknown exception (HRESULT): 0x80070005 (-2147024891)")},
      {"ThrownInt", [] { throw 42; }, E_FAIL,
       std::string("Unknown exception (") + kThrownIntKind + "): 0x0000002A (42)",
       LevelOneReport(std::string("Unknown exception (") + kThrownIntKind + "): 0x0000002A (42)")},
      {"ThrownUnsigned", [] { throw 0xFFFFFFFEu; }, E_FAIL,
       "Unknown exception (UINT): 0xFFFFFFFE (-2)",
       LevelOneReport("Unknown exception (UINT): 0xFFFFFFFE (-2)")},
      {"ThrownString", [] { throw std::string("not an exception class"); }, E_FAIL,
       "Unknown exception", LevelOneReport("Unknown exception")},
      {"ThrownLongLong", [] { throw 5LL; }, E_FAIL, "Unknown exception",
       LevelOneReport("Unknown exception")},
  };
}

class CatchLadder : public testing::TestWithParam<LadderCase> {
 protected:
  void SetUp() override {
    // A stale error info from an earlier failure: the entry must replace or clear it.
    quillmere::MakeErrorInfo(std::string_view("stale failure"));
  }
};

TEST_P(CatchLadder, ReturnsTheCodeReportsBetweenTheTracesAndLeavesTheErrorInfo) {
  const LadderCase& row = GetParam();
  RecordingReportSink sink;
  bool bodyCompleted = false;
  const HRESULT hr = quillmere::RunEntry(sink, kEntryName, [&] {
    row.throwSomething();
    bodyCompleted = true;
  });
  EXPECT_FALSE(bodyCompleted);
  EXPECT_EQ(static_cast<DWORD>(hr), static_cast<DWORD>(row.returned));
  EXPECT_EQ(TakeThreadErrorDescription(), row.errorInfo);
  EXPECT_EQ(sink.Reports(),
            (std::vector<SinkReport>{TraceRecord(true), row.report, TraceRecord(false)}));
}

TEST_P(CatchLadder, StillAnswersWhenReportingThrows) {
  const LadderCase& row = GetParam();
  RecordingReportSink sink;
  sink.FailWhen([](const SinkReport& report) { return report.kind != SinkReport::Kind::kTrace; });
  const HRESULT hr = quillmere::RunEntry(sink, kEntryName, row.throwSomething);
  EXPECT_EQ(static_cast<DWORD>(hr), static_cast<DWORD>(row.returned));
  EXPECT_EQ(TakeThreadErrorDescription(), row.errorInfo);
  EXPECT_EQ(sink.Reports().back(), TraceRecord(false));
}

// Reporting that runs an entry of its own (reading its settings, say) leaves that entry's
// error info on the thread as it goes.
class ErrorInfoLeavingSink : public RecordingReportSink {
 public:
  void Report(DWORD level, const OLECHAR* source, const OLECHAR* description) override {
    RecordingReportSink::Report(level, source, description);
    quillmere::MakeErrorInfo(std::string_view("reporting's own failure"));
  }
  void ReportError(const OLECHAR* source, const OLECHAR* description, LONG errorNumber,
                   const OLECHAR* location) override {
    RecordingReportSink::ReportError(source, description, errorNumber, location);
    quillmere::MakeErrorInfo(std::string_view("reporting's own failure"));
  }
};

TEST_P(CatchLadder, LeavesItsOwnErrorInfoAfterReporting) {
  ErrorInfoLeavingSink sink;
  quillmere::RunEntry(sink, kEntryName, GetParam().throwSomething);
  EXPECT_EQ(TakeThreadErrorDescription(), GetParam().errorInfo);
}

INSTANTIATE_TEST_SUITE_P(Thrown, CatchLadder, testing::ValuesIn(LadderCases()),
                         [](const testing::TestParamInfo<LadderCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(CatchLadderComError, LeavesTheVeryErrorInfoTheExceptionCarries) {
  RecordingReportSink sink;
  const winport::ComPtr<IErrorInfo> carried =
      ServerErrorInfo(OLESTR("Quota exceeded"), OLESTR("Quillmere.Store"));
  quillmere::RunEntry(sink, kEntryName, [&] { throw quillmere::_com_error(E_FAIL, carried); });
  winport::ComPtr<IErrorInfo> left;
  ASSERT_EQ(GetErrorInfo(0, left.GetAddressOf()), S_OK);
  EXPECT_EQ(left.Get(), carried.Get());
}

TEST(CatchLadderComError, RaisedFromTheThreadsErrorInfoReachesTheCaller) {
  RecordingReportSink sink;
  const HRESULT hr = quillmere::RunEntry(sink, kEntryName, [] {
    quillmere::MakeErrorInfo(std::string_view("The repository is offline"));
    quillmere::CheckHr(static_cast<HRESULT>(0x8004FF01));
  });
  EXPECT_EQ(static_cast<DWORD>(hr), 0x8004FF01u);
  EXPECT_EQ(TakeThreadErrorDescription(), "The repository is offline");
  const std::vector<SinkReport> reports = sink.ReportsWithoutTraces();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].description,
            "COM Error:  IDispatch error #64769\nThe repository is offline");
  EXPECT_FALSE(reports[0].has_location);
}

TEST(CatchLadderErrorInfo, AFailedErrorInfoLeavesTheCodeAndTheReport) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  RecordingReportSink sink;
  winport::fault::FailCall("CreateErrorInfo", static_cast<std::uint32_t>(E_OUTOFMEMORY));
  const HRESULT hr =
      quillmere::RunEntry(sink, kEntryName, [] { throw std::runtime_error("Disk full"); });
  EXPECT_EQ(hr, E_FAIL);
  EXPECT_EQ(sink.ReportsWithoutTraces(), std::vector<SinkReport>{LevelOneReport("Disk full")});
}

TEST(EntryBodyResult, IsReturnedWithOnlyTheTraces) {
  const auto run = [](auto body) {
    RecordingReportSink sink;
    const HRESULT hr = quillmere::RunEntry(sink, kEntryName, body);
    EXPECT_EQ(sink.Reports(), (std::vector<SinkReport>{TraceRecord(true), TraceRecord(false)}));
    return hr;
  };
  EXPECT_EQ(run([] {}), S_OK);
  EXPECT_EQ(run([] { return S_FALSE; }), S_FALSE);
  // A failure the body returns is its answer, not an error of the entry.
  EXPECT_EQ(run([] { return static_cast<HRESULT>(0x800704DC); }), static_cast<HRESULT>(0x800704DC));
}

}  // namespace
