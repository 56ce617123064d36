// A Reporting whose delivery records what reached it, for tests: every processed record
// (as UTF-8) and every status event id, which still go on to the real event log. Tests
// wait for what they expect with a generous timeout, never by sleeping.
//
//   testing_support::RecordingReporting reporting;
//   reporting.SetReportingLevel(quillmere::kLevelWarning);
//   reporting.Report(quillmere::kLevelWarning, OLESTR("Src"), OLESTR("text"));
//   ASSERT_TRUE(reporting.WaitForRecords(1));
//   EXPECT_EQ(reporting.Records()[0].description, "text");
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <winport/wide.h>
#include <winport/windows.h>

#include "diagnostics/reporting.h"

namespace testing_support {

// A processed record as the test sees it; null strings stay nullopt.
struct RecordedReport {
  DWORD level = 0;
  DWORD processId = 0;
  DWORD threadId = 0;
  std::string time;
  std::optional<std::string> source;
  std::optional<std::string> location;
  std::optional<std::string> description;
  LONG errorNumber = 0;
};

inline void PrintTo(const RecordedReport& report, std::ostream* out) {
  *out << "{level " << report.level << ", source '" << report.source.value_or("(null)")
       << "', description '" << report.description.value_or("(null)") << "', location '"
       << report.location.value_or("(null)") << "', error " << report.errorNumber << "}";
}

class RecordingReporting : public quillmere::Reporting {
 public:
  static constexpr std::chrono::seconds kDefaultTimeout{60};

  // Runs on the worker before each record is recorded: may block (to stall the worker)
  // or throw (the record is then dropped and not recorded). Set it before reporting.
  using ProcessHook = std::function<void(const RecordedReport&)>;

  RecordingReporting() = default;
  // The worker must end while the recording members still exist.
  ~RecordingReporting() override { Stop(); }

  // For a hook that holds the worker until the queue is being stopped.
  using CMessageQueue::WaitForStopRequest;

  void SetProcessHook(ProcessHook hook) {
    std::lock_guard hold(mutex_);
    hook_ = std::move(hook);
  }

  std::vector<RecordedReport> Records() const {
    std::lock_guard hold(mutex_);
    return records_;
  }
  std::vector<DWORD> ErrorEvents() const { return Copy(errorEvents_); }
  std::vector<DWORD> WarningEvents() const { return Copy(warningEvents_); }
  std::vector<DWORD> InfoEvents() const { return Copy(infoEvents_); }

  // True once at least `count` records have been processed.
  bool WaitForRecords(std::size_t count,
                      std::chrono::milliseconds timeout = kDefaultTimeout) const {
    std::unique_lock hold(mutex_);
    return changed_.wait_for(hold, timeout, [&] { return records_.size() >= count; });
  }

  // The first processed record that matches, once there is one.
  std::optional<RecordedReport> WaitForRecord(
      const std::function<bool(const RecordedReport&)>& matches,
      std::chrono::milliseconds timeout = kDefaultTimeout) const {
    std::unique_lock hold(mutex_);
    std::optional<RecordedReport> found;
    changed_.wait_for(hold, timeout, [&] {
      for (const RecordedReport& report : records_) {
        if (matches(report)) {
          found = report;
          return true;
        }
      }
      return false;
    });
    return found;
  }

  // True once error event `eventId` has been written.
  bool WaitForErrorEvent(DWORD eventId, std::chrono::milliseconds timeout = kDefaultTimeout) const {
    std::unique_lock hold(mutex_);
    return changed_.wait_for(hold, timeout, [&] {
      for (DWORD id : errorEvents_)
        if (id == eventId) return true;
      return false;
    });
  }

  void WriteErrorEvent(DWORD eventId) override {
    Note(errorEvents_, eventId);
    Reporting::WriteErrorEvent(eventId);
  }
  void WriteWarningEvent(DWORD eventId) override {
    Note(warningEvents_, eventId);
    Reporting::WriteWarningEvent(eventId);
  }
  void WriteInfoEvent(DWORD eventId) override {
    Note(infoEvents_, eventId);
    Reporting::WriteInfoEvent(eventId);
  }

 protected:
  void Process(std::unique_ptr<quillmere::ReportRecord> record) override {
    RecordedReport report{record->level,
                          record->processId,
                          record->threadId,
                          winport::WideToUtf8(winport::BstrView(record->time.Get())),
                          Text(record->source.Get()),
                          Text(record->location.Get()),
                          Text(record->description.Get()),
                          record->errorNumber};
    ProcessHook hook;
    {
      std::lock_guard hold(mutex_);
      hook = hook_;
    }
    if (hook) hook(report);
    std::lock_guard hold(mutex_);
    records_.push_back(std::move(report));
    changed_.notify_all();
  }

 private:
  static std::optional<std::string> Text(BSTR text) {
    if (text == nullptr) return std::nullopt;
    return winport::WideToUtf8(winport::BstrView(text));
  }

  std::vector<DWORD> Copy(const std::vector<DWORD>& events) const {
    std::lock_guard hold(mutex_);
    return events;
  }

  void Note(std::vector<DWORD>& events, DWORD eventId) {
    std::lock_guard hold(mutex_);
    events.push_back(eventId);
    changed_.notify_all();
  }

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  ProcessHook hook_;
  std::vector<RecordedReport> records_;
  std::vector<DWORD> errorEvents_;
  std::vector<DWORD> warningEvents_;
  std::vector<DWORD> infoEvents_;
};

}  // namespace testing_support
