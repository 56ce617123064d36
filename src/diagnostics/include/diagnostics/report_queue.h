// The in-process report queue and its one worker thread: any thread appends records,
// the worker takes them off in arrival order and hands each to its consumer.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include <winport/critical_section.h>
#include <winport/scoped_handle.h>
#include <winport/windows.h>

#include "diagnostics/report_record.h"

namespace quillmere {

// The worker is made in the constructor and runs from the first record on; the destructor
// stops it. The owner of a queue declares it after everything its consumer reaches, so the
// worker has ended before any of that goes.
class ReportQueue {
 public:
  // What the worker calls back. It must outlive the queue.
  class Consumer {
   public:
    // Delivers one record, on the worker thread only; the record is gone once it returns,
    // unless it keeps it. An exception leaving it drops the record with error event
    // 0xC0000213; the worker goes on with the next.
    virtual void Process(std::unique_ptr<ReportRecord> record) = 0;
    // A status event of the queue or its worker (EVENTLOG_ERROR_TYPE or
    // EVENTLOG_WARNING_TYPE), on the worker or on the thread appending or stopping.
    virtual void WriteQueueEvent(WORD type, DWORD eventId) = 0;

   protected:
    ~Consumer() = default;
  };

  // An append that finds this many records queued is refused.
  static constexpr std::size_t kQueueLimit = 100000;
  // How often a thread finding the queue lock held tries again before it sleeps: each holder
  // keeps it for a few instructions only.
  static constexpr DWORD kLockSpinCount = 200;
  // How long Stop gives the worker before terminating it.
  static constexpr DWORD kStopTimeoutMilliseconds = 20000;

  // Raises _com_error with the Win32 error as HRESULT when the queue lock cannot be
  // made. When an event or the thread cannot be made, the queue has no worker: it
  // accepts every record and drops it at once.
  explicit ReportQueue(Consumer& consumer);
  ~ReportQueue();
  ReportQueue(const ReportQueue&) = delete;
  ReportQueue& operator=(const ReportQueue&) = delete;

  // False when the queue is full (the record is dropped with error event 0xC0000215); true
  // otherwise, also when there is no worker to deliver it.
  bool Enqueue(std::unique_ptr<ReportRecord> record);

  // Asks the worker to end after the record in hand, waits for it to say it is done
  // (terminating it when it does not in time) and drops what is still queued, with a
  // warning event. Safe to call more than once, also from DllMain while the library is
  // being unloaded; records appended afterwards are dropped.
  void Stop();

  // What an operator watches: the records waiting, those dropped so far (queue full,
  // delivery failed, no worker, left at stop), and whether the worker is there to deliver.
  // Takes the queue's lock: for a monitor now and then, not for the reporting path.
  struct State {
    std::size_t depth = 0;
    std::uint64_t dropped = 0;
    bool workerAlive = false;
  };
  State Observe() const;

  // For the consumer's Process: waits up to `milliseconds` for Stop to be called; true once
  // it has been. Lets a slow delivery give up when the queue is stopping.
  bool WaitForStopRequest(DWORD milliseconds) const;

 private:
  static unsigned __stdcall WorkerMain(void* queue);
  void RunWorker();
  // Delivers until the queue is empty (true) or a stop is requested (false).
  bool DrainQueue();
  // Moves what is queued to batch_ once batch_ is delivered; false when nothing is queued.
  bool TakeQueued();

  Consumer& consumer_;
  winport::ScopedHandle worker_;
  mutable winport::CriticalSection lock_{kLockSpinCount};
  // Appended and not yet taken by the worker, in order; guarded by lock_. The worker takes
  // them all at once, so it holds the lock once per batch and a reporter seldom waits.
  std::vector<std::unique_ptr<ReportRecord>> queue_;
  // The worker's: the records it took, delivered from batchNext_ on; read by Stop once the
  // worker is gone. Its storage and queue_'s are swapped back and forth, not reallocated.
  std::vector<std::unique_ptr<ReportRecord>> batch_;
  std::size_t batchNext_ = 0;
  // Records appended (written under lock_) and taken up for delivery (written by the worker
  // alone); the difference is what is queued, in queue_ and the rest of batch_. Each has one
  // writer at a time, so neither needs a locked increment.
  std::atomic<std::size_t> appended_{0};
  std::atomic<std::size_t> taken_{0};
  winport::ScopedHandle workEvent_;         // manual reset: records are queued
  winport::ScopedHandle stopEvent_;         // manual reset: the worker must end
  winport::ScopedHandle finishedEvent_;     // manual reset: the worker is done
  bool workerRunning_ = false;              // guarded by lock_: resumed
  bool workerWaiting_ = true;               // guarded by lock_: needs the event
  std::atomic<bool> stopRequested_{false};  // set with stopEvent_
  std::atomic<std::uint64_t> dropped_{0};   // counted where a record is dropped
  std::atomic<bool> workerEnded_{false};    // its loop returned, for whatever reason
};

}  // namespace quillmere
