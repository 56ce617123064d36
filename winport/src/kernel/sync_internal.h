// What the synchronisation objects and the waits share. Every object's state is guarded
// by one process-wide wait lock; a waiting thread registers one Waiter with each object
// it waits on and is woken when any of them changes.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include <winport/base_types.h>

#include "kernel/handle_table.h"

namespace winport::detail {

std::mutex& WaitLock();

struct Waiter {
  std::condition_variable changed;
};

enum class Acquired { kNo, kYes, kAbandoned };

// An object a thread can wait on. Every member runs under WaitLock().
class Waitable : public KernelObject {
 public:
  // Whether a wait by thread could be satisfied now; no side effect.
  virtual bool Ready(DWORD thread) const = 0;
  // Satisfies a wait of thread (Ready was true); true when the object was an abandoned
  // mutex.
  virtual bool Satisfy(DWORD thread) = 0;
  // Objects whose state also changes in other processes, which cannot wake this one's
  // waiters: the waits poll them with TryAcquire, and undo an acquisition with Undo.
  virtual bool Polled() const { return false; }
  virtual Acquired TryAcquire(DWORD thread) {
    if (!Ready(thread)) return Acquired::kNo;
    return Satisfy(thread) ? Acquired::kAbandoned : Acquired::kYes;
  }
  virtual void Undo(DWORD) {}

  void Notify() {
    for (Waiter* waiter : waiters)
      waiter->changed.notify_all();
  }
  std::vector<Waiter*> waiters;
};

// A mutex a thread owns; the thread abandons it when it ends without releasing it.
class OwnedMutex : public Waitable, public std::enable_shared_from_this<OwnedMutex> {
 public:
  // Under WaitLock(): thread ends while owning the mutex.
  virtual void Abandon(DWORD thread) = 0;
};

// Under WaitLock(): the calling thread's list of the mutexes it owns.
void RememberOwned(std::shared_ptr<OwnedMutex> mutex);
void ForgetOwned(const OwnedMutex* mutex);

// The calling thread's object (GetCurrentThread()), made on first use for threads that
// _beginthreadex did not start.
std::shared_ptr<KernelObject> CurrentThreadObject();

}  // namespace winport::detail
