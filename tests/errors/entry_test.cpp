// The entry discipline seen from a caller: what the entry returns, what it reports and
// traces, and which text it leaves as the thread's error info, for each kind of thing
// thrown; hardware faults through the translator each entry installs. The catch ladder's
// texts are pinned here and nowhere else.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <optional>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include <winport/windows.h>

#include "errors/automation_exception.h"
#include "errors/com_error.h"
#include "errors/entry.h"
#include "errors/error_info.h"
#include "errors/structured_exception.h"
#include "errors_testing.h"
#include "hardware_faults.h"
#include "platform_skips.h"
#include "recording_reporter.h"

namespace {

using errors_test::TakeThreadErrorDescription;
using testing_support::RecordingReporter;
using testing_support::ReportCall;

constexpr const OLECHAR* kEntryName = OLESTR("CLadder::Operation");
constexpr const char* kSource = "CLadder::Operation";

// An error info with both a description and a source, as a failing COM server leaves it.
winport::ComPtr<IErrorInfo> ServerErrorInfo(const OLECHAR* description) {
  winport::ComPtr<ICreateErrorInfo> create;
  EXPECT_EQ(CreateErrorInfo(create.GetAddressOf()), S_OK);
  create->SetDescription(const_cast<OLECHAR*>(description));
  create->SetSource(const_cast<OLECHAR*>(OLESTR("Quillmere.Store")));
  winport::ComPtr<IErrorInfo> info;
  EXPECT_EQ(create.As(&info), S_OK);
  return info;
}

template <class Exception>
std::function<void()> Fault(DWORD code, ULONG_PTR address, std::vector<ULONG_PTR> parameters) {
  return [=] {
    const errors_test::FaultRecord fault(code, address, parameters);
    throw Exception(&fault.pointers);
  };
}

struct LadderCase {
  const char* name;
  std::function<void()> throwSomething;
  HRESULT returned;
  ReportCall report;                     // under kSource
  std::optional<std::string> errorInfo;  // the thread's afterwards; nullopt: none
};

void PrintTo(const LadderCase& row, std::ostream* out) {
  *out << row.name;
}

ReportCall Error(std::string text, HRESULT code, std::optional<std::string> location = {}) {
  return {ReportCall::Kind::kReportError,
          quillmere::kLevelError,
          kSource,
          std::move(text),
          code,
          std::move(location)};
}
// A failure that carries its code: an error report with it, its text as the error info.
LadderCase Coded(const char* name, std::function<void()> thrower, DWORD code, std::string text) {
  return {name, std::move(thrower), static_cast<HRESULT>(code), Error(text, code), text};
}
// One that carries none: a level-1 report, E_FAIL.
LadderCase Uncoded(const char* name, std::function<void()> thrower, std::string text) {
  return {name, std::move(thrower), E_FAIL,
          ReportCall{ReportCall::Kind::kReport, quillmere::kLevelError, kSource, text, 0, {}},
          text};
}

const std::string kNumber = "Unknown exception (HRESULT): 0x80070005 (-2147024891)";
// Where LONG (and so HRESULT) is int, a negative thrown int cannot be told from a thrown
// failure code: it reads as one.
const std::string kNegativeInt = std::string("Unknown exception (") +
                                 (std::is_same_v<LONG, int> ? "HRESULT" : "int") +
                                 "): 0xFFFFFFFB (-5)";

// Narrow texts are read in the ANSI code page (Windows-1252: 0x80 is the euro sign).
// clang-format off
const LadderCase kLadderCases[] = {
    {"ComError", [] { throw quillmere::_com_error(0x8004FF05, ServerErrorInfo(OLESTR("Gone"))); },
     static_cast<HRESULT>(0x8004FF05),
     Error("COM Error:  IDispatch error #64773\nGone", 0x8004FF05, "Quillmere.Store"), "Gone"},
    {"ComErrorWithEmptyDescription",
     [] { throw quillmere::_com_error(0x8004FF05, ServerErrorInfo(OLESTR(""))); },
     static_cast<HRESULT>(0x8004FF05),
     Error("COM Error:  IDispatch error #64773", 0x8004FF05, "Quillmere.Store"), ""},
    {"ComErrorWithoutErrorInfo", [] { quillmere::RaiseComErrorWithoutInfo(0xA0011234); },
     static_cast<HRESULT>(0xA0011234), Error("COM Error:  Unknown error 0xA0011234", 0xA0011234),
     std::nullopt},
    Coded("NarrowAutomationException",
          [] { throw quillmere::AutomationException<char>(E_INVALIDARG, "Bad \x80 12"); },
          E_INVALIDARG, "Bad \u20AC 12"),
    Coded("WideAutomationException",
          [] { throw quillmere::AutomationException<OLECHAR>(E_FAIL, OLESTR("Z\u00FCrich")); },
          E_FAIL, "Z\u00FCrich"),
    Coded("AccessViolation", Fault<quillmere::access_violation>(0xC0000005, 0x401000, {1, 0x10}),
          0xC0000005, "Win32 Exception:  Access Violation  at  0x0000000000401000\n"
                      "Attempt to write at 0x0000000000000010"),
    Coded("NumericException", Fault<quillmere::numeric_exception>(0xC0000094, 0x7FF612345678, {}),
          0xC0000094, "Win32 Exception:  Division By Zero  at  0x00007FF612345678\n"
                      "The thread attempted to divide a value by a divisor of zero"),
    // Execution prevented (8) is neither a write nor a read: it reads as a read.
    Coded("ExecutionPrevented",
          Fault<quillmere::access_violation>(0xC0000005, 0x401000, {8, 0xDEADBEEF0}), 0xC0000005,
          "Win32 Exception:  Access Violation  at  0x0000000000401000\n"
          "Attempt to read at 0x0000000DEADBEEF0"),
    // All sixty-four bits of an address; the text is cut at 200 characters.
    Coded("Win32ExceptionCutAt200Characters",
          Fault<quillmere::win32_exception>(0x80000002, 0xFFFFFFFFFFFFFFFF, {}), 0x80000002,
          "Win32 Exception:  Datatype Misalignment  at  0xFFFFFFFFFFFFFFFF\nThe thread attempted "
          "to read or write data that is misaligned on hardware that does not provide alignment. "
          "For example, 16-bit values mu"),
    // Without a record the code is 0: the entry answers S_OK for a failure.
    Coded("AccessViolationWithoutRecord", [] { throw quillmere::access_violation(nullptr); }, 0,
          "Win32 Exception:  0x       0  at  0x0000000000000000\n"
          "Attempt to read at 0x0000000000000000"),
    Coded("Win32ExceptionWithoutRecord", [] { throw quillmere::win32_exception(nullptr); }, 0,
          "Win32 Exception:  0x       0  at  0x0000000000000000\nThe hardware exception handler "
          "in Vexora encountered an exception with an unrecognized ID value."),
    Uncoded("StandardException", [] { throw std::runtime_error("Widget \x80"); }, "Widget \u20AC"),
    Uncoded("ThrownHresult", [] { throw static_cast<HRESULT>(0x80070005); }, kNumber),
    Uncoded("ThrownLong", [] { throw static_cast<long>(-2147024891); }, kNumber),
    Uncoded("ThrownInt", [] { throw 42; }, "Unknown exception (int): 0x0000002A (42)"),
    Uncoded("ThrownNegativeInt", [] { throw -5; }, kNegativeInt),
    Uncoded("ThrownUnsigned", [] { throw 0xFFFFFFFEu; },
            "Unknown exception (UINT): 0xFFFFFFFE (-2)"),
    Uncoded("ThrownAnythingElse", [] { throw 5LL; }, "Unknown exception"),
};
// clang-format on

class CatchLadder : public testing::TestWithParam<LadderCase> {
 protected:
  // A stale error info from an earlier failure: the entry must replace or clear it.
  void SetUp() override { quillmere::MakeErrorInfo(std::string_view("stale failure")); }
};

TEST_P(CatchLadder, ReturnsTheCodeReportsBetweenTheTracesAndLeavesTheErrorInfo) {
  const LadderCase& row = GetParam();
  RecordingReporter reporter;
  bool bodyCompleted = false;
  const HRESULT hr = quillmere::RunEntry(reporter, kEntryName, [&] {
    row.throwSomething();
    bodyCompleted = true;
  });
  EXPECT_FALSE(bodyCompleted);
  EXPECT_EQ(static_cast<DWORD>(hr), static_cast<DWORD>(row.returned));
  EXPECT_EQ(TakeThreadErrorDescription(), row.errorInfo);
  const ReportCall enter{ReportCall::Kind::kTrace, 0, kSource, "*ENTER*", 0, {}};
  const ReportCall leave{ReportCall::Kind::kTrace, 0, kSource, "*LEAVE*", 0, {}};
  EXPECT_EQ(reporter.Calls(), (std::vector<ReportCall>{enter, row.report, leave}));
}

// Reporting may fail, and may run entries of its own that leave their error info: the
// entry still answers, and the caller sees this failure's error info.
TEST_P(CatchLadder, ReportingThatFailsOrLeavesItsOwnErrorInfoChangesNothing) {
  class MeddlingReporter : public RecordingReporter {
    void ReportError(const OLECHAR* source, const OLECHAR* description, LONG errorNumber,
                     const OLECHAR* location) override {
      quillmere::MakeErrorInfo(std::string_view("reporting's own failure"));
      RecordingReporter::ReportError(source, description, errorNumber, location);
    }
    void Report(DWORD level, const OLECHAR* source, const OLECHAR* description) override {
      quillmere::MakeErrorInfo(std::string_view("reporting's own failure"));
      RecordingReporter::Report(level, source, description);
    }
  } reporter;
  reporter.FailWhen([](const ReportCall& call) { return call.kind != ReportCall::Kind::kTrace; });
  const HRESULT hr = quillmere::RunEntry(reporter, kEntryName, GetParam().throwSomething);
  EXPECT_EQ(static_cast<DWORD>(hr), static_cast<DWORD>(GetParam().returned));
  EXPECT_EQ(TakeThreadErrorDescription(), GetParam().errorInfo);
  EXPECT_EQ(reporter.Calls().back().description, "*LEAVE*");
}

INSTANTIATE_TEST_SUITE_P(Thrown, CatchLadder, testing::ValuesIn(kLadderCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CatchLadderComError, LeavesTheVeryErrorInfoTheExceptionCarries) {
  RecordingReporter reporter;
  const winport::ComPtr<IErrorInfo> carried = ServerErrorInfo(OLESTR("Quota exceeded"));
  quillmere::RunEntry(reporter, kEntryName, [&] { throw quillmere::_com_error(E_FAIL, carried); });
  winport::ComPtr<IErrorInfo> left;
  ASSERT_EQ(GetErrorInfo(0, left.GetAddressOf()), S_OK);
  EXPECT_EQ(left.Get(), carried.Get());
}

TEST(CatchLadderErrorInfo, AFailedErrorInfoLeavesTheCodeAndTheReport) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  RecordingReporter reporter;
  winport::fault::FailCall("CreateErrorInfo", static_cast<std::uint32_t>(E_OUTOFMEMORY));
  const HRESULT hr =
      quillmere::RunEntry(reporter, kEntryName, [] { throw std::runtime_error("Disk full"); });
  EXPECT_EQ(hr, E_FAIL);
  EXPECT_EQ(reporter.Reports(), std::vector<ReportCall>{Uncoded("", {}, "Disk full").report});
}

TEST(TraceScope, TheNameIsCutTo79CharactersInTracesAndReports) {
  RecordingReporter reporter;
  quillmere::RunEntry(reporter, winport::Utf8ToWide(std::string(80, 'n')).c_str(),
                      [] { throw 7u; });
  EXPECT_EQ(reporter.Calls().size(), 3u);
  for (const ReportCall& call : reporter.Calls())
    EXPECT_EQ(call.source, std::string(79, 'n'));
}

TEST(TraceScope, AFailingLeaveTraceChangesNothingAndAFailingEnterFailsTheEntry) {
  RecordingReporter leave;
  leave.FailWhen([](const ReportCall& call) { return call.description == "*LEAVE*"; });
  EXPECT_EQ(quillmere::RunEntry(leave, kEntryName, [] { return S_FALSE; }), S_FALSE);
  EXPECT_EQ(quillmere::RunEntry(leave, kEntryName, [] { throw 1u; }), E_FAIL);

  RecordingReporter enter;
  enter.FailWhen([](const ReportCall& call) { return call.description == "*ENTER*"; });
  bool ran = false;
  EXPECT_EQ(quillmere::RunEntry(enter, kEntryName, [&] { ran = true; }), E_FAIL);
  EXPECT_FALSE(ran);
  EXPECT_EQ(enter.Reports(), std::vector<ReportCall>{Uncoded("", {}, "reporting failed").report});
}

void __cdecl OuterTranslator(unsigned int, EXCEPTION_POINTERS*) {
  throw std::runtime_error("outer translator");
}

// A caller's own translator around each test.
class NestedEntries : public testing::Test {
 protected:
  void SetUp() override { previous_ = _set_se_translator(OuterTranslator); }
  void TearDown() override { _set_se_translator(previous_); }

 private:
  _se_translator_function previous_ = nullptr;
};

TEST_F(NestedEntries, EachEntryTranslatesRealFaultsAndRestoresTheTranslatorItFound) {
  using testing_support::Divide;
  RecordingReporter reporter;
  HRESULT inner = S_OK;
  const HRESULT outer = quillmere::RunEntry(reporter, OLESTR("COuter::Run"), [&] {
    inner = quillmere::RunEntry(reporter, OLESTR("CInner::Run"), [] { Divide(2, 0); });
    // Back in the outer entry: its translator must still be the one in place.
    testing_support::WriteTo(0x10);
  });
  EXPECT_EQ(static_cast<DWORD>(inner), 0xC0000094u);
  EXPECT_EQ(static_cast<DWORD>(outer), 0xC0000005u);
  // After the outer entry the caller's own translator is back, and still answers.
  EXPECT_EQ(_set_se_translator(OuterTranslator), OuterTranslator);
  EXPECT_THROW(Divide(3, 0), std::runtime_error);

  // Each fault is reported by its own entry, at the address where it happened: the
  // division's inside Divide.
  const auto reports = reporter.Reports();
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0].source, "CInner::Run");
  EXPECT_EQ(reports[1].source, "COuter::Run");
  EXPECT_NE(reports[1].description.find("\nAttempt to write at 0x0000000000000010"),
            std::string::npos);
  std::smatch address;
  ASSERT_TRUE(std::regex_search(reports[0].description, address,
                                std::regex("Division By Zero  at  0x([0-9A-F]{16})\n")));
  const auto at = std::strtoull(address[1].str().c_str(), nullptr, 16);
  const auto divide = reinterpret_cast<std::uintptr_t>(&Divide);
  EXPECT_TRUE(at >= divide && at < divide + 256);
}

}  // namespace
