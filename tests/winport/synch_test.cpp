#include <gtest/gtest.h>

#include <atomic>
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
std::u16string UniqueName(const char* stem) {
  std::u16string name;
  for (const char* c = stem; *c != '\0'; ++c)
    name += static_cast<char16_t>(*c);
  for (char c : "-" + std::to_string(GetCurrentProcessId()))
    name += static_cast<char16_t>(c);
  return name;
}

LPCWSTR Text(const std::u16string& text) {
  return reinterpret_cast<LPCWSTR>(text.c_str());
}

TEST(CriticalSection, IsRecursiveAndHeldUntilLeftAsOftenAsEntered) {
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
  EXPECT_FALSE(other_enters());
  LeaveCriticalSection(&section);
  EXPECT_FALSE(other_enters());
  LeaveCriticalSection(&section);
  EXPECT_TRUE(other_enters());
  DeleteCriticalSection(&section);
}

TEST(CriticalSection, ExcludesOtherThreads) {
  CRITICAL_SECTION section;
  InitializeCriticalSection(&section);
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

TEST(CriticalSection, InjectedFailureOfInitialization) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  winport::fault::FailCall("InitializeCriticalSectionAndSpinCount", ERROR_NOT_ENOUGH_MEMORY);
  CRITICAL_SECTION section;
  SetLastError(ERROR_SUCCESS);
  EXPECT_FALSE(InitializeCriticalSectionAndSpinCount(&section, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
}

struct EventCase {
  const char* name;
  BOOL manual_reset;
  BOOL initial_state;
  DWORD first_wait;
  DWORD second_wait;
};

// A manual-reset event stays signalled for every waiter; an auto-reset one lets one
// wait through and is reset by it.
TEST(Event, ResetSemantics) {
  const EventCase cases[] = {
      {"manual, set", TRUE, TRUE, WAIT_OBJECT_0, WAIT_OBJECT_0},
      {"manual, clear", TRUE, FALSE, WAIT_TIMEOUT, WAIT_TIMEOUT},
      {"auto, set", FALSE, TRUE, WAIT_OBJECT_0, WAIT_TIMEOUT},
      {"auto, clear", FALSE, FALSE, WAIT_TIMEOUT, WAIT_TIMEOUT},
  };
  for (const EventCase& c : cases) {
    SCOPED_TRACE(c.name);
    winport::ScopedHandle event(CreateEventW(nullptr, c.manual_reset, c.initial_state, nullptr));
    ASSERT_NE(event.Get(), nullptr);
    EXPECT_EQ(WaitForSingleObject(event.Get(), 0), c.first_wait);
    EXPECT_EQ(WaitForSingleObject(event.Get(), 0), c.second_wait);
    ASSERT_TRUE(SetEvent(event.Get()));
    EXPECT_EQ(WaitForSingleObject(event.Get(), 0), WAIT_OBJECT_0);
    ASSERT_TRUE(ResetEvent(event.Get()));
    EXPECT_EQ(WaitForSingleObject(event.Get(), 0), WAIT_TIMEOUT);
  }
}

TEST(Event, SetByAnotherThreadEndsAnInfiniteWait) {
  winport::ScopedHandle event(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  std::thread setter([&] { SetEvent(event.Get()); });
  EXPECT_EQ(WaitForSingleObject(event.Get(), INFINITE), WAIT_OBJECT_0);
  setter.join();
}

TEST(Event, InjectedFailureOfCreation) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  winport::fault::FailCall("CreateEventW", ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(CreateEventW(nullptr, TRUE, FALSE, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
}

TEST(Wait, ShortTimeoutOfAnUnsignalledObject) {
  winport::ScopedHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  EXPECT_EQ(WaitForSingleObject(event.Get(), 20), static_cast<DWORD>(WAIT_TIMEOUT));
  const HANDLE handles[] = {event.Get(), event.Get()};
  EXPECT_EQ(WaitForMultipleObjects(2, handles, FALSE, 20), static_cast<DWORD>(WAIT_TIMEOUT));
}

// Wait-any answers the lowest signalled index and consumes only that object.
TEST(Wait, AnyAnswersTheLowestSignalledIndex) {
  winport::ScopedHandle first(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  winport::ScopedHandle second(CreateEventW(nullptr, FALSE, TRUE, nullptr));
  winport::ScopedHandle third(CreateEventW(nullptr, FALSE, TRUE, nullptr));
  const HANDLE handles[] = {first.Get(), second.Get(), third.Get()};
  EXPECT_EQ(WaitForMultipleObjects(3, handles, FALSE, 0), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(WaitForMultipleObjects(3, handles, FALSE, 0), WAIT_OBJECT_0 + 2);
  EXPECT_EQ(WaitForMultipleObjects(3, handles, FALSE, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  SetEvent(third.Get());
  SetEvent(first.Get());
  EXPECT_EQ(WaitForMultipleObjects(3, handles, FALSE, kGuard), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForMultipleObjects(3, handles, FALSE, kGuard), WAIT_OBJECT_0 + 2);
}

TEST(Wait, AnyWakesForTheObjectAnotherThreadSignals) {
  winport::ScopedHandle first(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  winport::ScopedHandle second(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  const HANDLE handles[] = {first.Get(), second.Get()};
  std::thread setter([&] { SetEvent(second.Get()); });
  EXPECT_EQ(WaitForMultipleObjects(2, handles, FALSE, kGuard), WAIT_OBJECT_0 + 1);
  setter.join();
}

// A wait for all that cannot be satisfied takes nothing: the auto-reset event that was
// signalled stays signalled.
TEST(Wait, AllTakesEveryObjectOrNone) {
  winport::ScopedHandle set(CreateEventW(nullptr, FALSE, TRUE, nullptr));
  winport::ScopedHandle clear(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  winport::ScopedHandle mutex(CreateMutexW(nullptr, FALSE, nullptr));
  const HANDLE handles[] = {set.Get(), clear.Get(), mutex.Get()};
  EXPECT_EQ(WaitForMultipleObjects(3, handles, TRUE, 20), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_FALSE(ReleaseMutex(mutex.Get()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_OWNER));
  SetEvent(clear.Get());
  EXPECT_EQ(WaitForMultipleObjects(3, handles, TRUE, kGuard), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(set.Get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(WaitForSingleObject(clear.Get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_TRUE(ReleaseMutex(mutex.Get()));
}

// A value no handle has. (A closed handle is no substitute: Windows reuses handle
// values, and the next object the process opens may well get it.)
const HANDLE kNoHandle = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x7FFFFF00));

TEST(Wait, BadHandlesAndCountsFail) {
  winport::ScopedHandle event(CreateEventW(nullptr, TRUE, TRUE, nullptr));
  std::vector<HANDLE> too_many(MAXIMUM_WAIT_OBJECTS + 1, event.Get());
  const HANDLE with_bad[] = {event.Get(), kNoHandle};
  struct Case {
    const char* name;
    DWORD count;
    const HANDLE* handles;
    DWORD error;
  } const cases[] = {
      {"bad handle", 1, &kNoHandle, ERROR_INVALID_HANDLE},
      {"bad handle after a signalled one", 2, with_bad, ERROR_INVALID_HANDLE},
      {"no handles", 0, with_bad, ERROR_INVALID_PARAMETER},
      {"more than MAXIMUM_WAIT_OBJECTS", MAXIMUM_WAIT_OBJECTS + 1, too_many.data(),
       ERROR_INVALID_PARAMETER},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(WaitForMultipleObjects(c.count, c.handles, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), c.error);
  }
  SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(WaitForSingleObject(kNoHandle, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(Handles, ClosingTwiceFails) {
  HANDLE event = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  ASSERT_TRUE(CloseHandle(event));
  SetLastError(ERROR_SUCCESS);
  EXPECT_FALSE(CloseHandle(event));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// An object lives while any handle to it is open, even when the one a wait was given is
// closed.
TEST(Handles, DuplicateKeepsTheObject) {
  HANDLE original = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE copy = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), original, GetCurrentProcess(), &copy, 0, FALSE,
                              DUPLICATE_SAME_ACCESS));
  winport::ScopedHandle owned_copy(copy);
  EXPECT_NE(copy, original);
  ASSERT_TRUE(CloseHandle(original));
  EXPECT_TRUE(SetEvent(copy));
  EXPECT_EQ(WaitForSingleObject(copy, 0), WAIT_OBJECT_0);
}

TEST(Handles, WrongKindOfObjectIsAnInvalidHandle) {
  winport::ScopedHandle mutex(CreateMutexW(nullptr, FALSE, nullptr));
  winport::ScopedHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  SetLastError(ERROR_SUCCESS);
  EXPECT_FALSE(SetEvent(mutex.Get()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  SetLastError(ERROR_SUCCESS);
  EXPECT_FALSE(ReleaseMutex(event.Get()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(Mutex, OwnershipIsRecursive) {
  winport::ScopedHandle mutex(CreateMutexW(nullptr, TRUE, nullptr));
  ASSERT_NE(mutex.Get(), nullptr);
  EXPECT_EQ(WaitForSingleObject(mutex.Get(), 0), WAIT_OBJECT_0);
  auto other_takes = [&] {
    DWORD result = WAIT_FAILED;
    std::thread([&] {
      result = WaitForSingleObject(mutex.Get(), 0);
      if (result == WAIT_OBJECT_0) ReleaseMutex(mutex.Get());
    }).join();
    return result;
  };
  EXPECT_TRUE(ReleaseMutex(mutex.Get()));
  EXPECT_EQ(other_takes(), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_TRUE(ReleaseMutex(mutex.Get()));
  EXPECT_EQ(other_takes(), WAIT_OBJECT_0);
  SetLastError(ERROR_SUCCESS);
  EXPECT_FALSE(ReleaseMutex(mutex.Get()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_OWNER));
}

TEST(Mutex, OnlyTheOwningThreadReleases) {
  winport::ScopedHandle mutex(CreateMutexW(nullptr, TRUE, nullptr));
  BOOL released = TRUE;
  DWORD error = ERROR_SUCCESS;
  std::thread([&] {
    released = ReleaseMutex(mutex.Get());
    error = GetLastError();
  }).join();
  EXPECT_FALSE(released);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_NOT_OWNER));
  EXPECT_TRUE(ReleaseMutex(mutex.Get()));
}

// A thread that ends owning a mutex abandons it: the next wait is told so, once, and
// owns the mutex.
TEST(Mutex, EndingOwnerAbandonsIt) {
  for (bool among_others : {false, true}) {
    SCOPED_TRACE(among_others ? "WaitForMultipleObjects" : "WaitForSingleObject");
    winport::ScopedHandle mutex(CreateMutexW(nullptr, FALSE, nullptr));
    winport::ScopedHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread([&] { EXPECT_EQ(WaitForSingleObject(mutex.Get(), 0), WAIT_OBJECT_0); }).join();
    const HANDLE handles[] = {event.Get(), mutex.Get()};
    if (among_others) {
      EXPECT_EQ(WaitForMultipleObjects(2, handles, FALSE, kGuard), WAIT_ABANDONED_0 + 1);
    } else {
      EXPECT_EQ(WaitForSingleObject(mutex.Get(), kGuard), WAIT_ABANDONED_0);
    }
    EXPECT_TRUE(ReleaseMutex(mutex.Get()));
    EXPECT_EQ(WaitForSingleObject(mutex.Get(), 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(mutex.Get()));
  }
}

TEST(Mutex, InjectedFailureOfCreation) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  winport::fault::FailCall("CreateMutexW", ERROR_ACCESS_DENIED);
  EXPECT_EQ(CreateMutexW(nullptr, FALSE, OLESTR("Quillmere-never-created")), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

// A second creation of a name opens the same mutex, says so, and ignores its request
// of initial ownership.
TEST(NamedMutex, SecondCreationOpensTheSameMutex) {
  const std::u16string name = UniqueName("Quillmere-synch-test-existing");
  SetLastError(ERROR_INVALID_DATA);
  winport::ScopedHandle first(CreateMutexW(nullptr, FALSE, Text(name)));
  ASSERT_NE(first.Get(), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  HANDLE second_handle = nullptr;
  DWORD second_error = ERROR_SUCCESS;
  std::thread([&] {
    second_handle = CreateMutexW(nullptr, TRUE, Text(name));
    second_error = GetLastError();
  }).join();
  winport::ScopedHandle second(second_handle);
  ASSERT_NE(second.Get(), nullptr);
  EXPECT_EQ(second_error, static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_NE(second.Get(), first.Get());
  // Free, so the creating thread did not take it; taken through one handle, released
  // through the other.
  EXPECT_EQ(WaitForSingleObject(first.Get(), 0), WAIT_OBJECT_0);
  EXPECT_TRUE(ReleaseMutex(second.Get()));
}

TEST(NamedMutex, OpenFindsOnlyANameThatIsOpen) {
  const std::u16string name = UniqueName("Quillmere-synch-test-open");
  SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, Text(name)), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  HANDLE created = CreateMutexW(nullptr, TRUE, Text(name));
  ASSERT_NE(created, nullptr);
  {
    winport::ScopedHandle opened(OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, Text(name)));
    ASSERT_NE(opened.Get(), nullptr);
    EXPECT_TRUE(ReleaseMutex(opened.Get()));
  }
  ASSERT_TRUE(CloseHandle(created));
  // The last handle closed, the name is gone.
  EXPECT_EQ(OpenMutexW(SYNCHRONIZE, FALSE, Text(name)), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(NamedMutex, ExcludesThreadsHoldingTheirOwnHandles) {
  const std::u16string name = UniqueName("Quillmere-synch-test-threads");
  long counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t) {
    threads.emplace_back([&] {
      HANDLE mutex = CreateMutexW(nullptr, FALSE, Text(name));
      for (int i = 0; i < 2000; ++i) {
        if (WaitForSingleObject(mutex, kGuard) != WAIT_OBJECT_0) break;
        const long seen = counter;
        counter = seen + 1;
        ReleaseMutex(mutex);
      }
      CloseHandle(mutex);
    });
  }
  for (auto& thread : threads)
    thread.join();
  EXPECT_EQ(counter, 6000);
}

}  // namespace
