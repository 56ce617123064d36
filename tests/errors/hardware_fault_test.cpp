// Hardware faults inside an entry: the translator the entry installs turns them into the
// module's exceptions, and the ladder into their codes and texts.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <ostream>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <winport/windows.h>

#include "errors/entry.h"
#include "errors/structured_exception.h"
#include "hardware_faults.h"
#include "recording_report_sink.h"
#include "thread_error_info.h"

namespace {

using errors_test::TakeThreadErrorDescription;
using testing_support::RecordingReportSink;
using testing_support::SinkReport;

using testing_support::Divide;
using testing_support::ReadFrom;
using testing_support::WriteTo;

// The one report the entry made, besides its traces.
SinkReport OnlyReport(const RecordingReportSink& sink) {
  const std::vector<SinkReport> reports = sink.ReportsWithoutTraces();
  EXPECT_EQ(reports.size(), 1u);
  return reports.empty() ? SinkReport{} : reports.front();
}

std::uint64_t FaultAddress(const std::string& message) {
  std::smatch match;
  const std::regex pattern("  at  0x([0-9A-F]{16})\n");
  if (!std::regex_search(message, match, pattern)) return 0;
  return std::strtoull(match[1].str().c_str(), nullptr, 16);
}

TEST(HardwareFault, DivisionByZeroReturnsItsCodeAndNamesTheFaultingInstruction) {
  RecordingReportSink sink;
  const HRESULT hr = quillmere::RunEntry(sink, OLESTR("CFault::Divide"), [] { Divide(1, 0); });
  EXPECT_EQ(static_cast<DWORD>(hr), 0xC0000094u);

  const SinkReport report = OnlyReport(sink);
  EXPECT_EQ(report.kind, SinkReport::Kind::kReportError);
  EXPECT_EQ(static_cast<DWORD>(report.error_number), 0xC0000094u);
  EXPECT_FALSE(report.has_location);
  EXPECT_TRUE(std::regex_match(report.description,
                               std::regex("Win32 Exception:  Division By Zero  at  0x[0-9A-F]{16}\n"
                                          "The thread attempted to divide a value by a divisor "
                                          "of zero")))
      << report.description;
  // The address is the dividing instruction's, inside Divide.
  const std::uint64_t address = FaultAddress(report.description);
  const auto start = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(&Divide));
  EXPECT_GE(address, start);
  EXPECT_LT(address, start + 256);
  EXPECT_EQ(TakeThreadErrorDescription(), report.description);
}

struct AccessCase {
  const char* name;
  void (*touch)();
  const char* secondLine;
};

void PrintTo(const AccessCase& row, std::ostream* out) {
  *out << row.name;
}

class AccessViolationInEntry : public testing::TestWithParam<AccessCase> {};

TEST_P(AccessViolationInEntry, SaysWhichAccessFailedWhere) {
  RecordingReportSink sink;
  const HRESULT hr = quillmere::RunEntry(sink, OLESTR("CFault::Touch"), GetParam().touch);
  EXPECT_EQ(static_cast<DWORD>(hr), 0xC0000005u);
  const SinkReport report = OnlyReport(sink);
  EXPECT_EQ(static_cast<DWORD>(report.error_number), 0xC0000005u);
  EXPECT_TRUE(std::regex_match(
      report.description, std::regex("Win32 Exception:  Access Violation  at  0x[0-9A-F]{16}\n" +
                                     std::string(GetParam().secondLine))))
      << report.description;
  EXPECT_EQ(TakeThreadErrorDescription(), report.description);
}

INSTANTIATE_TEST_SUITE_P(Accesses, AccessViolationInEntry,
                         testing::Values(AccessCase{"Write", [] { WriteTo(0x10); },
                                                    "Attempt to write at 0x0000000000000010"},
                                         AccessCase{"Read", [] { ReadFrom(0x10); },
                                                    "Attempt to read at 0x0000000000000010"}),
                         [](const testing::TestParamInfo<AccessCase>& info) {
                           return std::string(info.param.name);
                         });

void __cdecl OuterTranslator(unsigned int, EXCEPTION_POINTERS*) {
  throw std::runtime_error("outer translator");
}

// Puts a translator of the test's own in place around each test, as a caller's would be.
class NestedEntries : public testing::Test {
 protected:
  void SetUp() override { previous_ = _set_se_translator(OuterTranslator); }
  void TearDown() override { _set_se_translator(previous_); }

 private:
  _se_translator_function previous_ = nullptr;
};

TEST_F(NestedEntries, InnerEntryLeavesTheOuterTranslatorInPlace) {
  RecordingReportSink sink;
  HRESULT inner = S_OK;
  const HRESULT outer = quillmere::RunEntry(sink, OLESTR("COuter::Run"), [&] {
    inner = quillmere::RunEntry(sink, OLESTR("CInner::Run"), [] { Divide(2, 0); });
    // Back in the outer entry: its translator must still be the one in place.
    WriteTo(0x10);
  });
  EXPECT_EQ(static_cast<DWORD>(inner), 0xC0000094u);
  EXPECT_EQ(static_cast<DWORD>(outer), 0xC0000005u);
  // And after the outer entry, the caller's own translator is back.
  EXPECT_EQ(_set_se_translator(OuterTranslator), OuterTranslator);

  std::vector<std::string> sequence;
  for (const SinkReport& report : sink.Reports())
    sequence.push_back(report.source + " " + report.description.substr(0, 34));
  EXPECT_EQ(sequence, (std::vector<std::string>{
                          "COuter::Run *ENTER*",
                          "CInner::Run *ENTER*",
                          "CInner::Run Win32 Exception:  Division By Zero",
                          "CInner::Run *LEAVE*",
                          "COuter::Run Win32 Exception:  Access Violation",
                          "COuter::Run *LEAVE*",
                      }));
}

TEST_F(NestedEntries, ASucceedingEntryRestoresTheCallersTranslator) {
  RecordingReportSink sink;
  EXPECT_EQ(quillmere::RunEntry(sink, OLESTR("CInner::Run"), [] { return S_OK; }), S_OK);
  EXPECT_EQ(_set_se_translator(OuterTranslator), OuterTranslator);
  // The caller's translator still answers faults outside the entry.
  EXPECT_THROW(Divide(3, 0), std::runtime_error);
}

TEST(HardwareFault, IsTranslatedOnTheThreadThatFaults) {
  RecordingReportSink sink;
  HRESULT onWorker = S_OK;
  std::thread worker(
      [&] { onWorker = quillmere::RunEntry(sink, OLESTR("CWorker::Run"), [] { Divide(4, 0); }); });
  worker.join();
  EXPECT_EQ(static_cast<DWORD>(onWorker), 0xC0000094u);
  // A thread without an entry has no translator left behind.
  std::thread([] { EXPECT_EQ(_set_se_translator(nullptr), nullptr); }).join();
}

}  // namespace
