#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include <winport/windows.h>

#include "platform_skips.h"

namespace {

// Every wait that should end does so long before this; it only keeps a broken wait from
// hanging the test.
constexpr DWORD kGuard = 10000;

// A name no other test process uses at the same time (named objects outlive a test
// program under Wine's one server).
winport::WideString UniqueName(const char* stem) {
  return winport::Utf8ToWide(std::string(stem) + "-" + std::to_string(GetCurrentProcessId()));
}

TEST(CriticalSection, IsRecursiveAndExcludesOtherThreads) {
  CRITICAL_SECTION section;
  ASSERT_TRUE(InitializeCriticalSectionAndSpinCount(&section, 4000));
  EnterCriticalSection(&section);
  EXPECT_TRUE(TryEnterCriticalSection(&section));
  auto other_enters = [&] {
    BOOL entered = FALSE;
    std::thread([&] {
      entered = TryEnterCriticalSection(&section);
      if (entered) LeaveCriticalSection(&section);
    }).join();
    return entered;
  };
  LeaveCriticalSection(&section);
  EXPECT_FALSE(other_enters());  // still held once
  LeaveCriticalSection(&section);
  EXPECT_TRUE(other_enters());

  long counter = 0;  // not atomic: only the section keeps the increments whole
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        EnterCriticalSection(&section);
        const long seen = counter;
        counter = seen + 1;
        LeaveCriticalSection(&section);
      }
    });
  }
  for (auto& thread : threads)
    thread.join();
  EXPECT_EQ(counter, 80000);
  DeleteCriticalSection(&section);
}

// A manual-reset event, as the module makes them, stays signalled for every wait until
// reset.
TEST(Event, ManualResetStaysSignalledUntilReset) {
  winport::ScopedHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_NE(event.Get(), nullptr);
  EXPECT_EQ(WaitForSingleObject(event.Get(), 20), static_cast<DWORD>(WAIT_TIMEOUT));
  ASSERT_TRUE(SetEvent(event.Get()));
  EXPECT_EQ(WaitForSingleObject(event.Get(), 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(event.Get(), 0), WAIT_OBJECT_0);
  ASSERT_TRUE(ResetEvent(event.Get()));
  EXPECT_EQ(WaitForSingleObject(event.Get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

// Wait-any answers the lowest signalled index and consumes only that object.
TEST(Wait, AnyAnswersTheLowestSignalledIndex) {
  winport::ScopedHandle first(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  winport::ScopedHandle second(CreateEventW(nullptr, FALSE, TRUE, nullptr));
  winport::ScopedHandle third(CreateEventW(nullptr, FALSE, TRUE, nullptr));
  const HANDLE handles[] = {first.Get(), second.Get(), third.Get()};
  EXPECT_EQ(WaitForMultipleObjects(3, handles, FALSE, 0), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(WaitForMultipleObjects(3, handles, FALSE, 0), WAIT_OBJECT_0 + 2);
  EXPECT_EQ(WaitForMultipleObjects(3, handles, FALSE, 20), static_cast<DWORD>(WAIT_TIMEOUT));
  SetEvent(third.Get());
  SetEvent(first.Get());
  EXPECT_EQ(WaitForMultipleObjects(3, handles, FALSE, kGuard), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForMultipleObjects(3, handles, FALSE, kGuard), WAIT_OBJECT_0 + 2);
}

TEST(Wait, AnotherThreadsSignalEndsAnInfiniteWait) {
  winport::ScopedHandle first(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  winport::ScopedHandle second(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  const HANDLE handles[] = {first.Get(), second.Get()};
  std::thread setter([&] { SetEvent(second.Get()); });
  EXPECT_EQ(WaitForMultipleObjects(2, handles, FALSE, INFINITE), WAIT_OBJECT_0 + 1);
  setter.join();
}

// A second creation of a name opens the same mutex, says so, and ignores its request
// of initial ownership; the name lives as long as a handle to it.
TEST(NamedMutex, CreationOpensAnExistingNameAndOpenFindsOnlyLiveNames) {
  const winport::WideString name = UniqueName("Quillmere-synch-test");
  SetLastError(ERROR_INVALID_DATA);
  HANDLE first = CreateMutexW(nullptr, FALSE, name.c_str());
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  HANDLE second = nullptr;
  DWORD second_error = ERROR_SUCCESS;
  std::thread([&] {
    second = CreateMutexW(nullptr, TRUE, name.c_str());
    second_error = GetLastError();
  }).join();
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second_error, static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  // Free, so the creating thread did not take it; taken through one handle, released
  // through another.
  EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_OBJECT_0);
  winport::ScopedHandle opened(OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name.c_str()));
  ASSERT_NE(opened.Get(), nullptr);
  EXPECT_TRUE(ReleaseMutex(opened.Get()));
  EXPECT_TRUE(CloseHandle(first));
  EXPECT_TRUE(CloseHandle(second));
  opened.Reset();
  EXPECT_EQ(OpenMutexW(SYNCHRONIZE, FALSE, name.c_str()), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(SynchFaults, InjectedFailuresOfCreation) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  winport::fault::FailCall("InitializeCriticalSectionAndSpinCount", ERROR_NOT_ENOUGH_MEMORY);
  CRITICAL_SECTION section;
  SetLastError(ERROR_SUCCESS);
  EXPECT_FALSE(InitializeCriticalSectionAndSpinCount(&section, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  winport::fault::FailCall("CreateEventW", ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(CreateEventW(nullptr, TRUE, FALSE, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  winport::fault::FailCall("CreateMutexW", ERROR_ACCESS_DENIED);
  EXPECT_EQ(CreateMutexW(nullptr, FALSE, OLESTR("Quillmere-never-created")), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

}  // namespace
