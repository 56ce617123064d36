#include "diagnostics/report_queue.h"

#include <iterator>
#include <thread>
#include <utility>

#include "errors/com_error.h"
#include "errors/failure_helpers.h"
#include "errors/structured_exception.h"
#include "event_ids.h"

namespace quillmere {

namespace {

// The exit code of a worker that did not end in time, or never ran.
constexpr DWORD kTerminatedExitCode = 1;
// What ResumeThread answers when it fails.
constexpr DWORD kResumeFailed = static_cast<DWORD>(-1);
// How many times an idle worker yields and looks again before it sleeps on the event.
constexpr unsigned kIdleChecksBeforeSleep = 64;
// How long Stop lets a worker that is done end its thread.
constexpr DWORD kThreadExitGraceMilliseconds = 200;
// The most room for records a delivered batch keeps for the next (a burst can grow it to
// the queue's limit).
constexpr std::size_t kKeptBatchRoom = 4096;

}  // namespace

ReportQueue::ReportQueue(Consumer& consumer) : consumer_(consumer) {
  if (!lock_.Valid()) RaiseComErrorWithoutInfo(HRESULT_FROM_WIN32(lock_.InitError()));

  stopEvent_.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  workEvent_.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  finishedEvent_.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (stopEvent_.IsValid() && workEvent_.IsValid() && finishedEvent_.IsValid()) {
    // Default stack size; it runs from the first record on. A queue made in DllMain, as
    // the module's is, so starts no thread there: one started then could not run before
    // the loader lock is free, and a library freed at once would wait for it in vain.
    worker_.Reset(reinterpret_cast<HANDLE>(
        _beginthreadex(nullptr, 0, &ReportQueue::WorkerMain, this, CREATE_SUSPENDED, nullptr)));
  }
  if (!worker_.IsValid()) {
    workEvent_.Reset();
    stopEvent_.Reset();
    finishedEvent_.Reset();
  }
}

ReportQueue::~ReportQueue() {
  Stop();
}

bool ReportQueue::Enqueue(std::unique_ptr<ReportRecord> record) {
  // A refused record is freed with the parameter, after the lock is released.
  winport::CriticalSectionLock hold(lock_);
  const std::size_t appended = appended_.load(std::memory_order_relaxed);
  if (appended - taken_.load(std::memory_order_acquire) >= kQueueLimit) {
    dropped_.fetch_add(1, std::memory_order_relaxed);
    consumer_.WriteQueueEvent(EVENTLOG_ERROR_TYPE, kEventQueueFull);
    return false;
  }
  if (workEvent_.IsValid()) {
    // Only a worker that found the queue empty waits for the event; one still delivering
    // will see this record before it waits again.
    OrOutOfMemory([&] { queue_.push_back(std::move(record)); });
    appended_.store(appended + 1, std::memory_order_relaxed);
    if (workerWaiting_) {
      workerWaiting_ = false;
      SetEvent(workEvent_.Get());
    }
    if (!workerRunning_) workerRunning_ = ResumeThread(worker_.Get()) != kResumeFailed;
  } else {
    dropped_.fetch_add(1, std::memory_order_relaxed);
  }
  return true;
}

void ReportQueue::Stop() {
  {
    winport::CriticalSectionLock hold(lock_);
    if (worker_.IsValid() && !workerRunning_) {
      // It has run nothing and holds nothing: ended at once, from DllMain too.
      TerminateThread(worker_.Get(), kTerminatedExitCode);
      worker_.Reset();
    }
  }
  if (worker_.IsValid()) {
    stopRequested_.store(true, std::memory_order_release);
    SetEvent(stopEvent_.Get());
    // Not the thread's end alone: while the library is being unloaded the loader lock is
    // held, and a thread cannot end until it is free. At process exit the thread may be
    // gone without having said it was done.
    const HANDLE done[] = {finishedEvent_.Get(), worker_.Get()};
    const DWORD woken = WaitForMultipleObjects(static_cast<DWORD>(std::size(done)), done, FALSE,
                                               kStopTimeoutMilliseconds);
    if (woken == WAIT_TIMEOUT) {
      consumer_.WriteQueueEvent(EVENTLOG_WARNING_TYPE, kEventWorkerTerminated);
      TerminateThread(worker_.Get(), kTerminatedExitCode);
    } else if (woken == WAIT_OBJECT_0) {
      // Done, but its thread still has to leave: a process that exits next would race the
      // thread's own exit through the runtime's teardown. Inside DllMain it cannot leave
      // at all, hence the short wait.
      WaitForSingleObject(worker_.Get(), kThreadExitGraceMilliseconds);
    }
    worker_.Reset();
  }

  // The worker is gone: what it took and did not deliver goes with what is still queued.
  std::vector<std::unique_ptr<ReportRecord>> taken;
  taken.swap(batch_);
  const std::size_t undelivered = taken.size() - batchNext_;
  batchNext_ = 0;
  std::vector<std::unique_ptr<ReportRecord>> leftovers;
  {
    winport::CriticalSectionLock hold(lock_);
    // Without the work event later appends are dropped at once instead of piling up.
    workEvent_.Reset();
    stopEvent_.Reset();
    finishedEvent_.Reset();
    leftovers.swap(queue_);
    appended_.store(taken_.load(std::memory_order_relaxed), std::memory_order_relaxed);
  }
  dropped_.fetch_add(undelivered + leftovers.size(), std::memory_order_relaxed);
  if (undelivered > 0 || !leftovers.empty())
    consumer_.WriteQueueEvent(EVENTLOG_WARNING_TYPE, kEventRecordsDropped);
}

ReportQueue::State ReportQueue::Observe() const {
  winport::CriticalSectionLock hold(lock_);
  // The work event exists while the queue has a worker that has not been stopped; a
  // worker not resumed yet is there all the same.
  const bool alive = workEvent_.IsValid() && !stopRequested_.load(std::memory_order_acquire) &&
                     !workerEnded_.load(std::memory_order_acquire);
  const std::size_t depth =
      appended_.load(std::memory_order_relaxed) - taken_.load(std::memory_order_acquire);
  return {depth, dropped_.load(std::memory_order_relaxed), alive};
}

bool ReportQueue::WaitForStopRequest(DWORD milliseconds) const {
  return WaitForSingleObject(stopEvent_.Get(), milliseconds) == WAIT_OBJECT_0;
}

unsigned __stdcall ReportQueue::WorkerMain(void* queue) {
  auto* const self = static_cast<ReportQueue*>(queue);
  const HANDLE finished = self->finishedEvent_.Get();
  self->RunWorker();
  self->workerEnded_.store(true, std::memory_order_release);
  // The last use of the queue and of this library's code: once it is seen, both may go.
  SetEvent(finished);
  return 0;
}

void ReportQueue::RunWorker() {
  const ScopedSeTranslator translator;
  // Stop first: a stop request wins over queued work.
  const HANDLE events[] = {stopEvent_.Get(), workEvent_.Get()};
  constexpr DWORD kStopRequested = WAIT_OBJECT_0;
  constexpr DWORD kRecordsQueued = WAIT_OBJECT_0 + 1;
  const auto waitForEither = [&events] {
    return WaitForMultipleObjects(static_cast<DWORD>(std::size(events)), events, FALSE, INFINITE);
  };

  // The worker's membership of the multithreaded apartment, left when the worker ends.
  const winport::ScopedComInit apartment(COINIT_MULTITHREADED);
  if (!apartment.Succeeded()) {
    // The consumer's owner may still be under construction, so the consumer cannot be
    // called yet: say so once there is a record to deliver, or at stop.
    waitForEither();
    consumer_.WriteQueueEvent(EVENTLOG_ERROR_TYPE, kEventWorkerComInitFailed);
    return;
  }
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL);

  for (;;) {
    const DWORD woken = waitForEither();
    if (woken == kStopRequested) return;
    if (woken != kRecordsQueued) {
      consumer_.WriteQueueEvent(EVENTLOG_ERROR_TYPE, kEventWorkerWaitFailed);
      return;
    }
    if (!DrainQueue()) return;
  }
}

bool ReportQueue::TakeQueued() {
  batch_.clear();
  batchNext_ = 0;
  if (batch_.capacity() > kKeptBatchRoom) std::vector<std::unique_ptr<ReportRecord>>().swap(batch_);
  winport::CriticalSectionLock hold(lock_);
  batch_.swap(queue_);
  return !batch_.empty();
}

bool ReportQueue::DrainQueue() {
  unsigned idleChecks = 0;
  for (;;) {
    if (batchNext_ == batch_.size()) {
      // The count, not the lock, while nothing is queued: a reporter appending meanwhile
      // finds the lock free.
      const bool queued =
          appended_.load(std::memory_order_relaxed) != taken_.load(std::memory_order_relaxed);
      if ((queued || idleChecks == kIdleChecksBeforeSleep) && TakeQueued()) {
        idleChecks = 0;
      } else if (idleChecks == kIdleChecksBeforeSleep) {
        // Under the lock: a record appended after the test signals the event again.
        winport::CriticalSectionLock hold(lock_);
        if (queue_.empty()) {
          ResetEvent(workEvent_.Get());
          workerWaiting_ = true;
          return true;
        }
      } else {
        // A reporter in a loop appends again within microseconds: looking a few more times
        // spares it waking a sleeping worker for every record.
        ++idleChecks;
        std::this_thread::yield();
      }
    } else {
      std::unique_ptr<ReportRecord> record = std::move(batch_[batchNext_++]);
      taken_.store(taken_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
      // A report that cannot be delivered is dropped; the others still go.
      const bool delivered = RunIgnoringFailure([&] { consumer_.Process(std::move(record)); });
      if (!delivered) {
        dropped_.fetch_add(1, std::memory_order_relaxed);
        consumer_.WriteQueueEvent(EVENTLOG_ERROR_TYPE, kEventProcessFailed);
      }
    }
    // The flag, not the event: a wait per record would cost a lookup and a lock.
    if (stopRequested_.load(std::memory_order_acquire)) return false;
  }
}

}  // namespace quillmere
