// A Reporting whose worker hands every record to this object, which keeps it, and notes
// every status event before it goes on to the event log. Tests wait for what they expect,
// with a generous timeout, never by sleeping.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <winport/scoped_bstr.h>
#include <winport/wide.h>
#include <winport/windows.h>

#include "diagnostics/reporting.h"

namespace testing_support {

// A record's text as UTF-8, "(null)" for null.
inline std::string Text(const quillmere::RecordText& text) {
  return text.Get() == nullptr ? "(null)" : winport::WideToUtf8(winport::BstrView(text.Get()));
}

// A status event: its type (EVENTLOG_*_TYPE) and its id.
using StatusEvent = std::pair<WORD, DWORD>;

// The worker's consumer. A base made before the Reporting beside it, so it outlives that
// object's queue and its worker.
class ReportRecorder : public quillmere::ReportQueue::Consumer {
 public:
  using Events = std::vector<StatusEvent>;

  // Runs on the worker before a record is kept: may hold the worker, or throw to have the
  // record dropped. Set before the first report.
  std::function<void(const quillmere::ReportRecord&)> beforeKeeping;

  // The records kept so far, in the order delivered; they live as long as this object.
  std::vector<const quillmere::ReportRecord*> Records() const {
    std::lock_guard hold(mutex_);
    std::vector<const quillmere::ReportRecord*> records;
    for (const auto& record : records_)
      records.push_back(record.get());
    return records;
  }
  Events Written() const {
    std::lock_guard hold(mutex_);
    return events_;
  }

  // True once at least `records` records are kept and `events` events written.
  bool WaitFor(std::size_t records, std::size_t events = 0) const {
    std::unique_lock hold(mutex_);
    return changed_.wait_for(hold, std::chrono::minutes(1), [&] {
      return records_.size() >= records && events_.size() >= events;
    });
  }

  void Process(std::unique_ptr<quillmere::ReportRecord> record) override {
    if (beforeKeeping) beforeKeeping(*record);
    std::lock_guard hold(mutex_);
    records_.push_back(std::move(record));
    changed_.notify_all();
  }

  void WriteQueueEvent(WORD type, DWORD eventId) override {
    {
      std::lock_guard hold(mutex_);
      events_.emplace_back(type, eventId);
      changed_.notify_all();
    }
    if (forwardTo_ != nullptr) forwardTo_->WriteStatusEvent(type, eventId);
  }

 protected:
  quillmere::Reporting* forwardTo_ = nullptr;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<std::unique_ptr<quillmere::ReportRecord>> records_;
  Events events_;
};

class RecordingReporting : public ReportRecorder, public quillmere::Reporting {
 public:
  RecordingReporting()
      : Reporting(quillmere::MsmqRuntime::ForProcess(), static_cast<ReportRecorder*>(this)) {
    forwardTo_ = this;
  }

  // The queue's tests load no settings: the store's absence is not what they look at.
  bool ReadSettings() override { return true; }
};

}  // namespace testing_support
