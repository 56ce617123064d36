// Critical sections, events, unnamed mutexes and the waits on every waitable object.
#include <winport/synch.h>

#include <pthread.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <new>
#include <optional>

#include <winport/message.h>
#include <winport/threads.h>

#include "common/injected_fault.h"
#include "named_mutex.h"
#include "sync_internal.h"

namespace winport::detail {

std::mutex& WaitLock() {
  static std::mutex* lock = new std::mutex;  // threads may still wait while statics die
  return *lock;
}

}  // namespace winport::detail

namespace {

using winport::detail::Acquired;
using winport::detail::LookupHandleOf;
using winport::detail::Waitable;
using winport::detail::WaitLock;

static_assert(sizeof(pthread_mutex_t) <= sizeof(RTL_CRITICAL_SECTION::Lock));
static_assert(alignof(pthread_mutex_t) <= alignof(RTL_CRITICAL_SECTION));

pthread_mutex_t* LockOf(LPCRITICAL_SECTION section) {
  return reinterpret_cast<pthread_mutex_t*>(section->Lock);
}

bool InitializeLock(LPCRITICAL_SECTION section, DWORD spin_count) {
  section->SpinCount = spin_count;
  pthread_mutexattr_t attributes;
  if (pthread_mutexattr_init(&attributes) != 0) return false;
  pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
  const int result = pthread_mutex_init(new (section->Lock) pthread_mutex_t, &attributes);
  pthread_mutexattr_destroy(&attributes);
  return result == 0;
}

class Event final : public Waitable {
 public:
  Event(bool manual_reset, bool signalled) : manual_reset_(manual_reset), signalled_(signalled) {}
  bool Ready(DWORD) const override { return signalled_; }
  bool Satisfy(DWORD) override {
    if (!manual_reset_) signalled_ = false;
    return false;
  }
  void Set(bool signalled) {
    signalled_ = signalled;
    if (signalled) Notify();
  }

 private:
  const bool manual_reset_;
  bool signalled_;
};

class UnnamedMutex final : public winport::detail::OwnedMutex {
 public:
  bool Ready(DWORD thread) const override { return owner_ == 0 || owner_ == thread; }
  bool Satisfy(DWORD thread) override {
    if (owner_ == thread) {
      ++count_;
      return false;
    }
    owner_ = thread;
    count_ = 1;
    winport::detail::RememberOwned(shared_from_this());
    const bool abandoned = abandoned_;
    abandoned_ = false;
    return abandoned;
  }
  void Abandon(DWORD thread) override {
    if (owner_ != thread) return;
    owner_ = 0;
    count_ = 0;
    abandoned_ = true;
    Notify();
  }
  bool Release(DWORD thread) {
    if (owner_ != thread || count_ == 0) return false;
    if (--count_ == 0) {
      owner_ = 0;
      winport::detail::ForgetOwned(this);
      Notify();
    }
    return true;
  }

 private:
  DWORD owner_ = 0;
  unsigned count_ = 0;
  bool abandoned_ = false;
};

constexpr DWORD kNotYet = 0xFFFFFFFE;

DWORD TryAny(const std::vector<std::shared_ptr<Waitable>>& objects, DWORD thread) {
  for (DWORD i = 0; i < objects.size(); ++i) {
    switch (objects[i]->TryAcquire(thread)) {
      case Acquired::kYes:
        return WAIT_OBJECT_0 + i;
      case Acquired::kAbandoned:
        return WAIT_ABANDONED_0 + i;
      case Acquired::kNo:
        break;
    }
  }
  return kNotYet;
}

// Every object at once or none: the polled ones are taken first, and given back when
// one of them is not free.
DWORD TryAll(const std::vector<std::shared_ptr<Waitable>>& objects, DWORD thread) {
  for (const auto& object : objects)
    if (!object->Polled() && !object->Ready(thread)) return kNotYet;
  std::optional<DWORD> abandoned;
  std::vector<Waitable*> taken;
  for (DWORD i = 0; i < objects.size(); ++i) {
    if (!objects[i]->Polled()) continue;
    const Acquired acquired = objects[i]->TryAcquire(thread);
    if (acquired == Acquired::kNo) {
      for (Waitable* object : taken)
        object->Undo(thread);
      return kNotYet;
    }
    taken.push_back(objects[i].get());
    if (acquired == Acquired::kAbandoned && !abandoned) abandoned = i;
  }
  for (DWORD i = 0; i < objects.size(); ++i) {
    if (objects[i]->Polled()) continue;
    if (objects[i]->Satisfy(thread) && (!abandoned || i < *abandoned)) abandoned = i;
  }
  return abandoned ? WAIT_ABANDONED_0 + *abandoned : WAIT_OBJECT_0;
}

// How often a wait looks again at objects that other processes change.
constexpr auto kPollInterval = std::chrono::milliseconds(2);

DWORD Wait(const std::vector<std::shared_ptr<Waitable>>& objects, bool all, DWORD timeout) {
  using Clock = std::chrono::steady_clock;
  const DWORD thread = GetCurrentThreadId();
  const bool polled = std::any_of(objects.begin(), objects.end(),
                                  [](const auto& object) { return object->Polled(); });
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout);
  winport::detail::Waiter waiter;
  std::unique_lock lock(WaitLock());
  bool registered = false;
  DWORD result;
  for (;;) {
    result = all ? TryAll(objects, thread) : TryAny(objects, thread);
    if (result != kNotYet) break;
    const Clock::time_point now = Clock::now();
    if (timeout != INFINITE && now >= deadline) {
      result = WAIT_TIMEOUT;
      break;
    }
    if (!registered) {
      for (const auto& object : objects)
        object->waiters.push_back(&waiter);
      registered = true;
    }
    if (polled) {
      const Clock::time_point next = now + kPollInterval;
      waiter.changed.wait_until(lock, timeout == INFINITE ? next : std::min(next, deadline));
    } else if (timeout == INFINITE) {
      waiter.changed.wait(lock);
    } else {
      waiter.changed.wait_until(lock, deadline);
    }
  }
  if (registered) {
    for (const auto& object : objects)
      std::erase(object->waiters, &waiter);
  }
  return result;
}

}  // namespace

extern "C" void InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  InitializeLock(lpCriticalSection, 0);
}

extern "C" BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION lpCriticalSection,
                                                      DWORD dwSpinCount) {
  std::uint32_t injected;
  if (winport::fault::ShouldFail("InitializeCriticalSectionAndSpinCount", &injected)) {
    SetLastError(injected);
    return FALSE;
  }
  if (!InitializeLock(lpCriticalSection, dwSpinCount)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  return TRUE;
}

extern "C" void EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  pthread_mutex_t* const lock = LockOf(lpCriticalSection);
  // A lock held for a few instructions is free again sooner than a sleep and a wake-up take.
  for (ULONG_PTR spins = lpCriticalSection->SpinCount; spins > 0; --spins) {
    if (pthread_mutex_trylock(lock) == 0) return;
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
  }
  pthread_mutex_lock(lock);
}

extern "C" BOOL TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  return pthread_mutex_trylock(LockOf(lpCriticalSection)) == 0;
}

extern "C" void LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  pthread_mutex_unlock(LockOf(lpCriticalSection));
}

extern "C" void DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  pthread_mutex_destroy(LockOf(lpCriticalSection));
}

extern "C" HANDLE CreateEventW(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState,
                               LPCWSTR lpName) {
  WINPORT_FAIL_NULL("CreateEventW");
  if (lpName != nullptr && *lpName != u'\0') {
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  SetLastError(ERROR_SUCCESS);
  return winport::detail::InsertHandle(
      std::make_shared<Event>(bManualReset != FALSE, bInitialState != FALSE));
}

extern "C" BOOL SetEvent(HANDLE hEvent) {
  auto event = LookupHandleOf<Event>(hEvent);
  if (event == nullptr) return FALSE;
  std::lock_guard lock(WaitLock());
  event->Set(true);
  return TRUE;
}

extern "C" BOOL ResetEvent(HANDLE hEvent) {
  auto event = LookupHandleOf<Event>(hEvent);
  if (event == nullptr) return FALSE;
  std::lock_guard lock(WaitLock());
  event->Set(false);
  return TRUE;
}

extern "C" HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES, BOOL bInitialOwner, LPCWSTR lpName) {
  WINPORT_FAIL_NULL("CreateMutexW");
  if (lpName != nullptr && *lpName != u'\0')
    return winport::detail::CreateNamedMutex(lpName, bInitialOwner != FALSE);
  auto mutex = std::make_shared<UnnamedMutex>();
  if (bInitialOwner) {
    std::lock_guard lock(WaitLock());
    mutex->Satisfy(GetCurrentThreadId());
  }
  SetLastError(ERROR_SUCCESS);
  return winport::detail::InsertHandle(std::move(mutex));
}

extern "C" HANDLE OpenMutexW(DWORD, BOOL, LPCWSTR lpName) {
  if (lpName == nullptr || *lpName == u'\0') {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return winport::detail::OpenNamedMutex(lpName);
}

extern "C" BOOL ReleaseMutex(HANDLE hMutex) {
  auto object = winport::detail::LookupHandle(hMutex);
  if (auto named = std::dynamic_pointer_cast<winport::detail::NamedMutex>(object))
    return named->Release();
  auto mutex = std::dynamic_pointer_cast<UnnamedMutex>(object);
  if (mutex == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard lock(WaitLock());
  if (!mutex->Release(GetCurrentThreadId())) {
    SetLastError(ERROR_NOT_OWNER);
    return FALSE;
  }
  return TRUE;
}

extern "C" DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  auto object = winport::detail::LookupHandle(hHandle);
  // A named mutex alone blocks in the lock itself, which every process's release wakes.
  if (auto named = std::dynamic_pointer_cast<winport::detail::NamedMutex>(object))
    return named->AcquireBlocking(dwMilliseconds);
  auto waitable = std::dynamic_pointer_cast<Waitable>(object);
  if (waitable == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  return Wait({std::move(waitable)}, false, dwMilliseconds);
}

extern "C" DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                                        DWORD dwMilliseconds) {
  std::uint32_t injected;
  if (winport::fault::ShouldFail("WaitForMultipleObjects", &injected)) {
    SetLastError(injected);
    return WAIT_FAILED;
  }
  if (nCount == 0 || nCount > MAXIMUM_WAIT_OBJECTS || lpHandles == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  std::vector<std::shared_ptr<Waitable>> objects;
  objects.reserve(nCount);
  for (DWORD i = 0; i < nCount; ++i) {
    auto waitable =
        std::dynamic_pointer_cast<Waitable>(winport::detail::LookupHandle(lpHandles[i]));
    if (waitable == nullptr) {
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
    // Waiting for all of one object twice could never be satisfied consistently.
    if (bWaitAll && std::find(objects.begin(), objects.end(), waitable) != objects.end()) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return WAIT_FAILED;
    }
    objects.push_back(std::move(waitable));
  }
  return Wait(objects, bWaitAll != FALSE, dwMilliseconds);
}
