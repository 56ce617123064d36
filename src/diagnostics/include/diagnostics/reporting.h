// The module's one diagnostics channel: the three report operations with their level
// filter, on top of the report queue, and the status events of the queue and its worker.
#pragma once

#include <atomic>
#include <memory>

#include <winport/windows.h>

#include "diagnostics/event_log_channel.h"
#include "diagnostics/message_queue.h"
#include "diagnostics/once_gate.h"
#include "diagnostics/report_levels.h"
#include "diagnostics/report_record.h"
#include "diagnostics/reporter.h"

namespace quillmere {

// Reports are filtered, stamped and queued on the caller's thread; the queue's worker
// delivers them (Process; the delivery code overrides it). Constructible on its own, so
// tests may make their own instances beside the module's.
class Reporting : public CMessageQueue, public Reporter {
 public:
  Reporting();
  // Stops the worker before any member it uses is released.
  ~Reporting() override;

  // Queued when the level passes the filter (errors always do), with no location and
  // error number 0. An allocation failure raises E_OUTOFMEMORY as _com_error and queues
  // nothing.
  void Report(DWORD level, const OLECHAR* source, const OLECHAR* description) override;
  // Always queued, as an error.
  void ReportError(const OLECHAR* source, const OLECHAR* description, LONG errorNumber,
                   const OLECHAR* location) override;
  // A trace record "*ENTER*" (+1) or "*LEAVE*" (-1) under functionName, when tracing is on.
  void Trace(bool entering, const OLECHAR* functionName) override;

  // The once-only initialisation every report operation runs first; callers that find
  // it running wait for it to finish.
  void EnsureInitialized() override;
  bool IsInitialized() const { return initialized_.Done(); }

  // Whether the effective mask (ReportingLevel, plus the trace level when ReportingLevel
  // shares a bit with the trace bits) contains `level`.
  bool LevelEnabled(DWORD level) const override;
  // Replaced at any time by the setting-change notification; readers see the old or the
  // new value.
  DWORD ReportingLevel() const { return reportingLevel_.load(std::memory_order_relaxed); }
  void SetReportingLevel(DWORD level) override {
    reportingLevel_.store(level, std::memory_order_relaxed);
  }
  // 0 after construction; kTraceBitsLoaded once the module is loaded into a process.
  DWORD TraceBits() const { return traceBits_.load(std::memory_order_relaxed); }
  void SetTraceBits(DWORD bits) { traceBits_.store(bits, std::memory_order_relaxed); }

  EventLogChannel& EventLog() { return eventLog_; }

  // Status events through "SOAP Service": category 0, the user SID, no strings; nothing
  // when the source is not registered.
  void WriteErrorEvent(DWORD eventId) override;
  void WriteWarningEvent(DWORD eventId) override;
  void WriteInfoEvent(DWORD eventId) override;

 private:
  // Stamps and queues one record; the strings are copied, null staying null.
  void Queue(DWORD level, const OLECHAR* source, const OLECHAR* description,
             const OLECHAR* location, LONG errorNumber);

  EventLogChannel eventLog_;
  OnceGate initialized_;
  std::atomic<DWORD> reportingLevel_{0};
  std::atomic<DWORD> traceBits_{0};
  // Read once: a report should not cost a system call for it.
  const DWORD processId_;
};

}  // namespace quillmere
