// A ReportSink that keeps every call it gets, in order, for tests to read back. Safe to
// call from several threads at once.
#pragma once

#include <functional>
#include <mutex>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include <winport/wide.h>
#include <winport/windows.h>

#include "errors/report_sink.h"

namespace testing_support {

struct SinkReport {
  enum class Kind { kReport, kReportError, kTrace };

  Kind kind = Kind::kReport;
  DWORD level = 0;            // Report's level; 1 for ReportError; 0 for a trace
  std::string source;         // Report/ReportError: the source; Trace: the function name
  std::string description;    // Trace: "*ENTER*" or "*LEAVE*"
  LONG error_number = 0;      // ReportError only
  std::string location;       // ReportError only
  bool has_location = false;  // false when the location was null

  friend bool operator==(const SinkReport&, const SinkReport&) = default;
};

inline void PrintTo(const SinkReport& report, std::ostream* out) {
  static const char* const kKinds[] = {"Report", "ReportError", "Trace"};
  *out << kKinds[static_cast<int>(report.kind)] << "{level " << report.level << ", source \""
       << report.source << "\", description \"" << report.description << "\", error 0x" << std::hex
       << static_cast<DWORD>(report.error_number) << std::dec << ", location "
       << (report.has_location ? "\"" + report.location + "\"" : std::string("null")) << "}";
}

class RecordingReportSink : public quillmere::ReportSink {
 public:
  void Report(DWORD level, const OLECHAR* source, const OLECHAR* description) override {
    SinkReport report;
    report.kind = SinkReport::Kind::kReport;
    report.level = level;
    report.source = Utf8(source);
    report.description = Utf8(description);
    Add(std::move(report));
  }

  void ReportError(const OLECHAR* source, const OLECHAR* description, LONG errorNumber,
                   const OLECHAR* location) override {
    SinkReport report;
    report.kind = SinkReport::Kind::kReportError;
    report.level = 1;
    report.source = Utf8(source);
    report.description = Utf8(description);
    report.error_number = errorNumber;
    report.location = Utf8(location);
    report.has_location = location != nullptr;
    Add(std::move(report));
  }

  void Trace(bool entering, const OLECHAR* functionName) override {
    SinkReport report;
    report.kind = SinkReport::Kind::kTrace;
    report.source = Utf8(functionName);
    report.description = entering ? "*ENTER*" : "*LEAVE*";
    Add(std::move(report));
  }

  std::vector<SinkReport> Reports() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return reports_;
  }
  // Only the Report and ReportError calls, without the traces.
  std::vector<SinkReport> ReportsWithoutTraces() const {
    std::vector<SinkReport> result;
    for (SinkReport& report : Reports()) {
      if (report.kind != SinkReport::Kind::kTrace) result.push_back(std::move(report));
    }
    return result;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    reports_.clear();
  }
  // From now on a call for which fails(report) is true is recorded and then throws, as
  // a broken reporting path would.
  void FailWhen(std::function<bool(const SinkReport&)> fails) {
    std::lock_guard<std::mutex> lock(mutex_);
    fails_ = std::move(fails);
  }

 private:
  static std::string Utf8(const OLECHAR* text) {
    return text != nullptr ? winport::WideToUtf8(text) : std::string();
  }
  void Add(SinkReport report) {
    std::lock_guard<std::mutex> lock(mutex_);
    const bool fail = fails_ && fails_(report);
    reports_.push_back(std::move(report));
    if (fail) throw std::runtime_error("reporting failed");
  }

  mutable std::mutex mutex_;
  std::vector<SinkReport> reports_;
  std::function<bool(const SinkReport&)> fails_;
};

}  // namespace testing_support
