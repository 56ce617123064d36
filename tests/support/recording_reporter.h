// A Reporter that keeps every call the module makes of it, in order, at once and on the
// caller's thread: what was asked to be reported, before any filter or queue. Safe to call
// from several threads at once. LevelEnabled answers from the level the test sets.
#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include <winport/wide.h>
#include <winport/windows.h>

#include "diagnostics/reporter.h"

namespace testing_support {

struct ReportCall {
  enum class Kind { kReport, kReportError, kTrace };

  Kind kind = Kind::kReport;
  DWORD level = 0;          // Report's level; kLevelError for ReportError; 0 for a trace
  std::string source;       // a trace's function name
  std::string description;  // a trace's "*ENTER*" or "*LEAVE*"
  LONG errorNumber = 0;
  std::optional<std::string> location;  // ReportError's, when not null

  friend bool operator==(const ReportCall&, const ReportCall&) = default;
};

inline void PrintTo(const ReportCall& call, std::ostream* out) {
  static const char* const kKinds[] = {"Report", "ReportError", "Trace"};
  *out << kKinds[static_cast<int>(call.kind)] << "{level " << call.level << ", \"" << call.source
       << "\", \"" << call.description << "\", error 0x" << std::hex
       << static_cast<DWORD>(call.errorNumber) << std::dec << ", location "
       << call.location.value_or("null") << "}";
}

class RecordingReporter : public quillmere::Reporter {
 public:
  void Report(DWORD level, const OLECHAR* source, const OLECHAR* description) override {
    Add({ReportCall::Kind::kReport, level, Utf8(source), Utf8(description), 0, {}});
  }
  void ReportError(const OLECHAR* source, const OLECHAR* description, LONG errorNumber,
                   const OLECHAR* location) override {
    Add({ReportCall::Kind::kReportError, quillmere::kLevelError, Utf8(source), Utf8(description),
         errorNumber,
         location != nullptr ? std::optional<std::string>(Utf8(location)) : std::nullopt});
  }
  void Trace(bool entering, const OLECHAR* functionName) override {
    Add({ReportCall::Kind::kTrace, 0, Utf8(functionName), entering ? "*ENTER*" : "*LEAVE*", 0, {}});
  }
  void EnsureInitialized() override {}
  bool LevelEnabled(DWORD level) const override { return (level & ReportingLevel()) != 0; }
  void SetReportingLevel(DWORD level) override {
    std::lock_guard hold(mutex_);
    level_ = level;
  }
  DWORD ReportingLevel() const {
    std::lock_guard hold(mutex_);
    return level_;
  }

  // Every call, traces too.
  std::vector<ReportCall> Calls() const {
    std::lock_guard hold(mutex_);
    return calls_;
  }
  // Report and ReportError calls only.
  std::vector<ReportCall> Reports() const {
    std::vector<ReportCall> reports;
    for (ReportCall& call : Calls()) {
      if (call.kind != ReportCall::Kind::kTrace) reports.push_back(std::move(call));
    }
    return reports;
  }
  // The descriptions reported (and errors) under source, at any level.
  std::vector<std::string> Texts(const std::string& source) const {
    std::vector<std::string> texts;
    for (const ReportCall& call : Reports()) {
      if (call.source == source) texts.push_back(call.description);
    }
    return texts;
  }
  // From now on a call for which fails(call) is true is recorded and then throws, as a
  // broken reporting path would.
  void FailWhen(std::function<bool(const ReportCall&)> fails) {
    std::lock_guard hold(mutex_);
    fails_ = std::move(fails);
  }

 private:
  static std::string Utf8(const OLECHAR* text) {
    return text != nullptr ? winport::WideToUtf8(text) : std::string();
  }
  void Add(ReportCall call) {
    std::lock_guard hold(mutex_);
    const bool fail = fails_ && fails_(call);
    calls_.push_back(std::move(call));
    if (fail) throw std::runtime_error("reporting failed");
  }

  mutable std::mutex mutex_;
  DWORD level_ = quillmere::kLevelError | quillmere::kLevelWarning | quillmere::kLevelInformation |
                 quillmere::kLevelTrace;
  std::vector<ReportCall> calls_;
  std::function<bool(const ReportCall&)> fails_;
};

}  // namespace testing_support
