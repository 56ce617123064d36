// The module's one diagnostics channel: the three report operations with their level
// filter, on top of the report queue, the status events of the queue and its worker, and
// the delivery of each report to the event log, the log-file writer and the message queue.
#pragma once

#include <atomic>
#include <memory>
#include <utility>

#include <winport/windows.h>

#include "diagnostics/event_log_channel.h"
#include "diagnostics/log_user_actions.h"
#include "diagnostics/msmq_queue.h"
#include "diagnostics/once_gate.h"
#include "diagnostics/report_levels.h"
#include "diagnostics/report_queue.h"
#include "diagnostics/report_record.h"
#include "diagnostics/reporter.h"
#include "quillmere/log_file_writer.h"

namespace quillmere {

// The settings reporting reads once, with their values before they are read.
struct DeliverySettings {
  bool LogToEventLog = false;
  bool LogToFile = false;
  bool LogToMSMQ = false;
  bool LogUserActivity = false;
  winport::WideString MSMQ_Name = OLESTR(".\\PRIVATE$\\WSQueue");
  DWORD MSMQ_Capacity = MsmqQueue::kDefaultCapacity;
};

// Reports are filtered, stamped and queued on the caller's thread; the queue's worker
// delivers them (Deliver). The settings are read on the first report of the object, never
// again. Constructible on its own, so tests may make their own instances beside the
// module's, each with its own message-queue runtime when they like.
class Reporting : public LogUserActions, public Reporter {
 public:
  // The worker hands records and its status events to `consumer`, or to this object's own
  // Deliver and WriteStatusEvent when it is null. A consumer given must outlive this object.
  explicit Reporting(MsmqRuntime& msmqRuntime = MsmqRuntime::ForProcess(),
                     ReportQueue::Consumer* consumer = nullptr);

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
  // it running wait for it to finish. It reads the settings (error event 0xC0000216 when
  // one is missing), makes the log-file writer, opens the message queue and switches the
  // user-activity log on, as the settings say. A setting that cannot be converted raises
  // out of it, to the report that started it; it is not tried again.
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
  const DeliverySettings& Settings() const { return settings_; }

  // Initialises first.
  bool LogUserAction(const OLECHAR* user, const OLECHAR* action) override;

  // A status event of `type` (EVENTLOG_*_TYPE) through "SOAP Service": category 0, the user
  // SID, no strings; nothing when the source is not registered.
  void WriteStatusEvent(WORD type, DWORD eventId);

  // Reads the seven settings in order; false at the first one the store lacks, those read
  // before it kept.
  virtual bool ReadSettings();

  // Delivers one record, on the worker: errors to the event log through "Quillmere" and
  // "SOAP Service"; other levels to "SOAP Service" when LogToEventLog is on; the XML form to
  // the log-file writer and the message queue when they are on.
  void Deliver(std::unique_ptr<ReportRecord> record);

  ReportQueue& Queue() { return queue_; }

 private:
  // The worker's way back into this object: a member of its own, so the worker never calls
  // through this object's virtual table, which changes while a derived object is destroyed.
  class OwnDelivery final : public ReportQueue::Consumer {
   public:
    explicit OwnDelivery(Reporting& reporting) : reporting_(reporting) {}
    void Process(std::unique_ptr<ReportRecord> record) override {
      reporting_.Deliver(std::move(record));
    }
    void WriteQueueEvent(WORD type, DWORD eventId) override {
      reporting_.WriteStatusEvent(type, eventId);
    }

   private:
    Reporting& reporting_;
  };

  void Initialize();
  // Event 0xC0000007 through a "Quillmere" source registered for this one event.
  void WriteErrorReportEvent(const winport::WideString& text) const;

  // Stamps and queues one record; the strings are copied, null staying null.
  void QueueReport(DWORD level, const OLECHAR* source, const OLECHAR* description,
                   const OLECHAR* location, LONG errorNumber);

  EventLogChannel eventLog_;
  OnceGate initialized_;
  winport::ComPtr<ILogFileWriter> logFileWriter_;
  MsmqRuntime& msmqRuntime_;
  MsmqQueue msmqQueue_;
  // Written by the initialisation before any record is queued, read by the worker.
  DeliverySettings settings_;
  std::atomic<DWORD> reportingLevel_{0};
  std::atomic<DWORD> traceBits_{0};
  // Read once: a report should not cost a system call for it.
  const DWORD processId_;
  OwnDelivery ownDelivery_{*this};
  // Last: destroyed first, so its worker has ended before any member it reaches goes.
  ReportQueue queue_;
};

}  // namespace quillmere
