#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <thread>

#include <winport/windows.h>

#include "platform_skips.h"

namespace {

constexpr DWORD kGuard = 10000;

// What a started thread reports and waits for.
struct Job {
  HANDLE go = nullptr;  // the thread waits for it before it returns
  unsigned result = 0;
  std::atomic<DWORD> thread_id{0};
};

unsigned __stdcall RunJob(void* argument) {
  auto* job = static_cast<Job*>(argument);
  job->thread_id = GetCurrentThreadId();
  if (job->go != nullptr) WaitForSingleObject(job->go, kGuard);
  return job->result;
}

HANDLE Start(Job* job, unsigned flags = 0, unsigned* id = nullptr) {
  return reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, RunJob, job, flags, id));
}

TEST(Thread, HandleIsSignalledWhenTheThreadEndsWithItsExitCode) {
  winport::ScopedHandle go(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  Job job;
  job.go = go.Get();
  job.result = 42;
  unsigned id = 0;
  winport::ScopedHandle thread(Start(&job, 0, &id));
  ASSERT_NE(thread.Get(), nullptr);
  EXPECT_NE(id, 0u);
  EXPECT_NE(id, GetCurrentThreadId());
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(thread.Get(), &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(WaitForSingleObject(thread.Get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  SetEvent(go.Get());
  EXPECT_EQ(WaitForSingleObject(thread.Get(), kGuard), WAIT_OBJECT_0);
  // Signalled for good: every later wait is satisfied too.
  EXPECT_EQ(WaitForSingleObject(thread.Get(), 0), WAIT_OBJECT_0);
  EXPECT_TRUE(GetExitCodeThread(thread.Get(), &code));
  EXPECT_EQ(code, 42u);
  EXPECT_EQ(job.thread_id.load(), id);
}

TEST(Thread, WaitForAnyOfSeveralThreads) {
  winport::ScopedHandle hold(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  Job waiting;
  waiting.go = hold.Get();
  Job quick;
  winport::ScopedHandle first(Start(&waiting));
  winport::ScopedHandle second(Start(&quick));
  const HANDLE handles[] = {first.Get(), second.Get()};
  EXPECT_EQ(WaitForMultipleObjects(2, handles, FALSE, kGuard), WAIT_OBJECT_0 + 1);
  SetEvent(hold.Get());
  EXPECT_EQ(WaitForMultipleObjects(2, handles, TRUE, kGuard), WAIT_OBJECT_0);
}

TEST(Thread, SuspendedUntilResumed) {
  Job job;
  job.result = 7;
  winport::ScopedHandle thread(Start(&job, CREATE_SUSPENDED));
  ASSERT_NE(thread.Get(), nullptr);
  EXPECT_EQ(ResumeThread(thread.Get()), 1u);
  EXPECT_EQ(WaitForSingleObject(thread.Get(), kGuard), WAIT_OBJECT_0);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(thread.Get(), &code));
  EXPECT_EQ(code, 7u);
  EXPECT_NE(job.thread_id.load(), 0u);
}

TEST(Thread, PriorityIsRemembered) {
  winport::ScopedHandle hold(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  Job job;
  job.go = hold.Get();
  winport::ScopedHandle thread(Start(&job));
  EXPECT_EQ(GetThreadPriority(thread.Get()), THREAD_PRIORITY_NORMAL);
  for (int priority : {THREAD_PRIORITY_IDLE, THREAD_PRIORITY_LOWEST, THREAD_PRIORITY_BELOW_NORMAL,
                       THREAD_PRIORITY_NORMAL, THREAD_PRIORITY_ABOVE_NORMAL,
                       THREAD_PRIORITY_HIGHEST, THREAD_PRIORITY_TIME_CRITICAL}) {
    SCOPED_TRACE(priority);
    // Raising it needs a privilege the process may lack; it is still not a failure.
    EXPECT_TRUE(SetThreadPriority(thread.Get(), priority));
    EXPECT_EQ(GetThreadPriority(thread.Get()), priority);
  }
  SetLastError(ERROR_SUCCESS);
  EXPECT_FALSE(SetThreadPriority(thread.Get(), 3));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  SetEvent(hold.Get());
  WaitForSingleObject(thread.Get(), kGuard);
}

TEST(Thread, BadHandles) {
  // A value no handle has, and a handle that is not a thread's.
  const HANDLE no_handle = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x7FFFFF00));
  winport::ScopedHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  for (HANDLE bad : {no_handle, event.Get()}) {
    DWORD code = 0;
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(GetExitCodeThread(bad, &code));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(GetThreadPriority(bad), THREAD_PRIORITY_ERROR_RETURN);
  }
}

// The pseudo handle means whichever thread uses it; duplicated, it names the thread
// for good.
TEST(Thread, CurrentThreadPseudoHandle) {
  EXPECT_EQ(GetCurrentThread(), reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2)));
  EXPECT_TRUE(CloseHandle(GetCurrentThread()));
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(GetCurrentThread(), &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));

  HANDLE real = nullptr;
  DWORD id = 0;
  std::thread worker([&] {
    id = GetCurrentThreadId();
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &real, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
  });
  worker.join();
  winport::ScopedHandle owned(real);
  ASSERT_NE(real, nullptr);
  EXPECT_NE(id, GetCurrentThreadId());
  EXPECT_EQ(WaitForSingleObject(real, kGuard), WAIT_OBJECT_0);
}

TEST(Thread, IdsAreDistinctPerThreadAndProcessIdIsShared) {
  const DWORD mine = GetCurrentThreadId();
  EXPECT_EQ(GetCurrentThreadId(), mine);
  DWORD theirs = 0;
  DWORD their_process = 0;
  std::thread([&] {
    theirs = GetCurrentThreadId();
    their_process = GetCurrentProcessId();
  }).join();
  EXPECT_NE(theirs, mine);
  EXPECT_NE(GetCurrentProcessId(), 0u);
  EXPECT_EQ(their_process, GetCurrentProcessId());
}

// TerminateThread reports the thread over, with the given code, at once.
TEST(Thread, TerminateSignalsTheHandleWithTheGivenCode) {
  // Here the thread itself runs on after the test: what it uses must outlive the test.
  static Job job;
  HANDLE hold = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  job.go = hold;
  job.result = 1;
  winport::ScopedHandle thread(Start(&job));
  while (job.thread_id.load() == 0)
    Sleep(1);
  EXPECT_TRUE(TerminateThread(thread.Get(), 99));
  EXPECT_EQ(WaitForSingleObject(thread.Get(), kGuard), WAIT_OBJECT_0);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(thread.Get(), &code));
  EXPECT_EQ(code, 99u);
  SetEvent(hold);
  EXPECT_TRUE(GetExitCodeThread(thread.Get(), &code));
  EXPECT_EQ(code, 99u);
  CloseHandle(hold);
}

TEST(Thread, InjectedFailureOfCreation) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  winport::fault::FailCall("_beginthreadex", ERROR_NOT_ENOUGH_MEMORY);
  Job job;
  errno = 0;
  EXPECT_EQ(_beginthreadex(nullptr, 0, RunJob, &job, 0, nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_NE(errno, 0);
}

}  // namespace
