// Threads: _beginthreadex over pthreads, each thread with a waitable object that is
// signalled when it ends (never while the loader lock is held), and the per-thread
// record of the mutexes it owns, which it abandons when it ends without releasing them.
#include <winport/threads.h>

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <thread>

#include <winport/fault_injection.h>
#include <winport/message.h>
#include <winport/synch.h>

#include "kernel/dll_entries.h"
#include "sync_internal.h"

namespace winport::detail {
namespace {

class Thread final : public Waitable {
 public:
  bool Ready(DWORD) const override { return ended; }
  bool Satisfy(DWORD) override { return false; }

  // Under WaitLock(): the thread is over, for its waiters, with this exit code.
  void End(DWORD code) {
    if (ended) return;
    ended = true;
    exit_code = code;
    Notify();
  }

  // All under WaitLock().
  bool ended = false;
  bool terminated = false;
  DWORD exit_code = STILL_ACTIVE;
  DWORD id = 0;
  unsigned suspensions = 0;
  int priority = THREAD_PRIORITY_NORMAL;
  std::condition_variable started_or_resumed;
};

// What a thread leaves behind when it ends; threads _beginthreadex did not start end
// with exit code 0.
struct ThreadState {
  std::shared_ptr<Thread> self;
  std::vector<std::shared_ptr<OwnedMutex>> owned;

  void Finish(DWORD thread, DWORD exit_code) {
    std::lock_guard lock(WaitLock());
    // Abandon may make a mutex forget itself: walk a copy.
    const auto owned_now = std::move(owned);
    owned.clear();
    for (const auto& mutex : owned_now)
      mutex->Abandon(thread);
    if (self != nullptr) self->End(exit_code);
  }
  ~ThreadState() { Finish(GetCurrentThreadId(), 0); }
};

thread_local ThreadState t_state;
thread_local DWORD t_thread_id = 0;
std::atomic<DWORD> g_process_id{0};

// A forked child is another process whose one thread is another thread.
[[maybe_unused]] const int g_fork_handler = pthread_atfork(nullptr, nullptr, [] {
  t_thread_id = 0;
  g_process_id = 0;
});

// Windows' relative priorities as nice values of the thread.
int NiceOf(int priority) {
  switch (priority) {
    case THREAD_PRIORITY_IDLE:
      return 19;
    case THREAD_PRIORITY_LOWEST:
      return 10;
    case THREAD_PRIORITY_BELOW_NORMAL:
      return 5;
    case THREAD_PRIORITY_ABOVE_NORMAL:
      return -5;
    case THREAD_PRIORITY_HIGHEST:
      return -10;
    case THREAD_PRIORITY_TIME_CRITICAL:
      return -20;
    default:
      return 0;
  }
}

bool ValidPriority(int priority) {
  return (priority >= THREAD_PRIORITY_LOWEST && priority <= THREAD_PRIORITY_HIGHEST) ||
         priority == THREAD_PRIORITY_IDLE || priority == THREAD_PRIORITY_TIME_CRITICAL;
}

// Best effort: raising a priority needs a privilege most processes lack.
void ApplyPriority(DWORD thread, int priority) {
  ::setpriority(PRIO_PROCESS, static_cast<id_t>(thread), NiceOf(priority));
}

struct Start {
  std::shared_ptr<Thread> thread;
  unsigned(__stdcall* routine)(void*);
  void* argument;
};

void* Run(void* raw) {
  std::unique_ptr<Start> start(static_cast<Start*>(raw));
  const std::shared_ptr<Thread> thread = start->thread;
  const DWORD id = GetCurrentThreadId();
  t_state.self = thread;
  bool run;
  {
    std::unique_lock lock(WaitLock());
    thread->id = id;
    thread->started_or_resumed.notify_all();
    thread->started_or_resumed.wait(lock, [&] { return thread->suspensions == 0; });
    run = !thread->terminated;
    if (run && thread->priority != THREAD_PRIORITY_NORMAL) ApplyPriority(id, thread->priority);
  }
  const DWORD code = run ? start->routine(start->argument) : thread->exit_code;
  // As on Windows, a thread ends only while no library is being loaded or freed: a
  // DllMain that waits for a thread's end waits in vain.
  { const std::lock_guard loader(LoaderLock()); }
  t_state.Finish(id, code);
  return nullptr;
}

std::shared_ptr<Thread> ThreadOf(HANDLE handle) {
  return LookupHandleOf<Thread>(handle);
}

}  // namespace

void RememberOwned(std::shared_ptr<OwnedMutex> mutex) {
  t_state.owned.push_back(std::move(mutex));
}

void ForgetOwned(const OwnedMutex* mutex) {
  auto& owned = t_state.owned;
  auto found = std::find_if(owned.begin(), owned.end(),
                            [&](const auto& entry) { return entry.get() == mutex; });
  if (found == owned.end()) return;
  // The entry may hold the last reference: destroy it after the list is consistent.
  std::shared_ptr<OwnedMutex> last = std::move(*found);
  owned.erase(found);
}

std::shared_ptr<KernelObject> CurrentThreadObject() {
  if (t_state.self == nullptr) {
    auto self = std::make_shared<Thread>();
    self->id = GetCurrentThreadId();
    t_state.self = std::move(self);
  }
  return t_state.self;
}

}  // namespace winport::detail

using winport::detail::WaitLock;

extern "C" std::uintptr_t _beginthreadex(void*, unsigned stack_size,
                                         unsigned(__stdcall* start_address)(void*), void* arglist,
                                         unsigned initflag, unsigned* thrdaddr) {
  std::uint32_t injected;
  if (winport::fault::ShouldFail("_beginthreadex", &injected)) {
    errno = injected == ERROR_NOT_ENOUGH_MEMORY ? ENOMEM : EAGAIN;
    SetLastError(injected);
    return 0;
  }
  if (start_address == nullptr || (initflag & ~static_cast<unsigned>(CREATE_SUSPENDED)) != 0) {
    errno = EINVAL;
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  auto thread = std::make_shared<winport::detail::Thread>();
  thread->suspensions = (initflag & CREATE_SUSPENDED) != 0 ? 1 : 0;
  auto start = std::make_unique<winport::detail::Start>(
      winport::detail::Start{thread, start_address, arglist});
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  // Nobody joins: the handle, not the pthread, tells when the thread has ended.
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  if (stack_size != 0) {
    const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const std::size_t size = std::max<std::size_t>(PTHREAD_STACK_MIN, stack_size);
    pthread_attr_setstacksize(&attributes, (size + page - 1) / page * page);
  }
  pthread_t pthread;
  const int result = pthread_create(&pthread, &attributes, winport::detail::Run, start.get());
  pthread_attr_destroy(&attributes);
  if (result != 0) {
    errno = result;
    SetLastError(result == EAGAIN ? ERROR_NOT_ENOUGH_MEMORY : ERROR_INVALID_PARAMETER);
    return 0;
  }
  start.release();  // the thread owns it now
  {
    // Its id is known once it runs.
    std::unique_lock lock(WaitLock());
    thread->started_or_resumed.wait(lock, [&] { return thread->id != 0; });
    if (thrdaddr != nullptr) *thrdaddr = thread->id;
  }
  return reinterpret_cast<std::uintptr_t>(winport::detail::InsertHandle(std::move(thread)));
}

extern "C" DWORD ResumeThread(HANDLE hThread) {
  auto thread = winport::detail::ThreadOf(hThread);
  if (thread == nullptr) return static_cast<DWORD>(-1);
  std::lock_guard lock(WaitLock());
  const DWORD previous = thread->suspensions;
  if (previous > 0 && --thread->suspensions == 0) thread->started_or_resumed.notify_all();
  return previous;
}

extern "C" BOOL GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
  auto thread = winport::detail::ThreadOf(hThread);
  if (thread == nullptr) return FALSE;
  if (lpExitCode == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard lock(WaitLock());
  *lpExitCode = thread->exit_code;
  return TRUE;
}

extern "C" BOOL SetThreadPriority(HANDLE hThread, int nPriority) {
  auto thread = winport::detail::ThreadOf(hThread);
  if (thread == nullptr) return FALSE;
  if (!winport::detail::ValidPriority(nPriority)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard lock(WaitLock());
  thread->priority = nPriority;
  // A suspended thread takes it when it starts; an ended one's id may be another's now.
  if (!thread->ended && thread->suspensions == 0 && thread->id != 0)
    winport::detail::ApplyPriority(thread->id, nPriority);
  return TRUE;
}

extern "C" int GetThreadPriority(HANDLE hThread) {
  auto thread = winport::detail::ThreadOf(hThread);
  if (thread == nullptr) return THREAD_PRIORITY_ERROR_RETURN;
  std::lock_guard lock(WaitLock());
  return thread->priority;
}

extern "C" BOOL TerminateThread(HANDLE hThread, DWORD dwExitCode) {
  auto thread = winport::detail::ThreadOf(hThread);
  if (thread == nullptr) return FALSE;
  std::lock_guard lock(WaitLock());
  if (thread->ended) return TRUE;
  thread->terminated = true;
  thread->End(dwExitCode);
  // A thread still held by CREATE_SUSPENDED never runs its routine.
  thread->suspensions = 0;
  thread->started_or_resumed.notify_all();
  return TRUE;
}

extern "C" DWORD GetCurrentProcessId() {
  DWORD id = winport::detail::g_process_id.load(std::memory_order_relaxed);
  if (id == 0) {
    id = static_cast<DWORD>(::getpid());
    winport::detail::g_process_id.store(id, std::memory_order_relaxed);
  }
  return id;
}

extern "C" DWORD GetCurrentThreadId() {
  if (winport::detail::t_thread_id == 0)
    winport::detail::t_thread_id = static_cast<DWORD>(::gettid());
  return winport::detail::t_thread_id;
}

extern "C" void Sleep(DWORD dwMilliseconds) {
  if (dwMilliseconds == 0) {
    ::sched_yield();
    return;
  }
  if (dwMilliseconds == INFINITE) {
    for (;;)
      std::this_thread::sleep_for(std::chrono::hours(24));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}
