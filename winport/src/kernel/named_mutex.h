// Named mutexes: one object for every process of the machine. Each name is a small
// shared file under <prefix>/sync holding a robust process-shared pthread mutex, so a
// holder that dies leaves it abandoned rather than locked forever. The file lives while
// some process has the name open (each holds a shared flock on it); the last one to
// close it removes it, and a file left by processes that died is started afresh.
// Ownership by a thread and its recursion are kept in this process.
#pragma once

#include <pthread.h>

#include <memory>
#include <string>

#include <winport/base_types.h>

#include "sync_internal.h"

namespace winport::detail {

// What the processes share: the lock, and whether a thread of a living process ended
// holding it (a dead process's is marked by the lock itself, EOWNERDEAD).
struct SharedMutexState {
  pthread_mutex_t lock;
  int abandoned;
};

class NamedMutex final : public OwnedMutex {
 public:
  NamedMutex(std::string file_name, int fd, SharedMutexState* shared);
  ~NamedMutex() override;

  bool Ready(DWORD thread) const override { return owner_ == thread; }
  bool Satisfy(DWORD) override {
    ++count_;
    return false;
  }
  bool Polled() const override { return true; }
  Acquired TryAcquire(DWORD thread) override;
  void Undo(DWORD thread) override { ReleaseLocked(thread); }
  void Abandon(DWORD thread) override;

  // WaitForSingleObject of this mutex alone: blocks in the shared lock.
  DWORD AcquireBlocking(DWORD timeout);
  // ReleaseMutex: FALSE with ERROR_NOT_OWNER unless the calling thread owns it.
  BOOL Release();

 private:
  // Under WaitLock(): the shared lock is now the calling thread's.
  Acquired TakeOwnership(DWORD thread, int lock_result);
  bool ReleaseLocked(DWORD thread);

  const std::string file_name_;
  const int fd_;
  SharedMutexState* const shared_;
  DWORD owner_ = 0;
  unsigned count_ = 0;
};

// CreateMutexW and OpenMutexW of a non-empty name.
HANDLE CreateNamedMutex(LPCWSTR name, bool initial_owner);
HANDLE OpenNamedMutex(LPCWSTR name);

}  // namespace winport::detail
