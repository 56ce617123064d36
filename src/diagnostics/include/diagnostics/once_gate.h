// Runs an initialisation exactly once, however many threads ask for it at once: callers
// that find it running wait until it has finished, so none goes on with half of it done.
// It is marked as started before it runs, so a failure is not retried, and a call from
// inside the initialisation itself returns at once instead of deadlocking.
#pragma once

#include <atomic>
#include <mutex>

#include <winport/windows.h>

namespace quillmere {

class OnceGate {
 public:
  OnceGate() = default;
  OnceGate(const OnceGate&) = delete;
  OnceGate& operator=(const OnceGate&) = delete;

  // Runs initialise() on the first call; an exception from it leaves to that caller.
  template <typename Initialise>
  void Run(Initialise&& initialise) {
    if (done_.load(std::memory_order_acquire)) return;
    // The initialising thread itself passes through, done or not.
    if (runner_.load(std::memory_order_relaxed) == GetCurrentThreadId()) return;
    std::lock_guard hold(mutex_);
    if (started_) return;
    started_ = true;
    runner_.store(GetCurrentThreadId(), std::memory_order_relaxed);
    const MarkDone markDone{*this};
    initialise();
  }

  // True once the initialisation has finished (or failed).
  bool Done() const { return done_.load(std::memory_order_acquire); }

 private:
  struct MarkDone {
    OnceGate& gate;
    ~MarkDone() {
      gate.runner_.store(0, std::memory_order_relaxed);
      gate.done_.store(true, std::memory_order_release);
    }
  };

  std::mutex mutex_;
  bool started_ = false;  // guarded by mutex_
  std::atomic<DWORD> runner_{0};
  std::atomic<bool> done_{false};
};

}  // namespace quillmere
