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

HANDLE Start(Job* job, unsigned* id = nullptr) {
  return reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, RunJob, job, 0, id));
}

TEST(Thread, HandleIsSignalledWhenTheThreadEndsWithItsExitCode) {
  winport::ScopedHandle go(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  Job job;
  job.go = go.Get();
  job.result = 42;
  unsigned id = 0;
  winport::ScopedHandle thread(Start(&job, &id));
  ASSERT_NE(thread.Get(), nullptr);
  EXPECT_NE(id, GetCurrentThreadId());
  EXPECT_EQ(WaitForSingleObject(thread.Get(), 20), static_cast<DWORD>(WAIT_TIMEOUT));
  SetEvent(go.Get());
  EXPECT_EQ(WaitForSingleObject(thread.Get(), kGuard), WAIT_OBJECT_0);
  // Signalled for good: every later wait is satisfied too.
  EXPECT_EQ(WaitForSingleObject(thread.Get(), 0), WAIT_OBJECT_0);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(thread.Get(), &code));
  EXPECT_EQ(code, 42u);
  EXPECT_EQ(job.thread_id.load(), id);
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
