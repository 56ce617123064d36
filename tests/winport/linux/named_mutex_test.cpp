// Named mutexes between processes: a forked child stands for another program that
// opens the same name.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <winport/windows.h>

#include "fresh_machine.h"
#include "linux/child_process.h"

namespace {

using winport_tests::Child;

constexpr DWORD kGuard = 10000;

constexpr LPCWSTR kName = OLESTR("Global\\Quillmere-named-mutex-test");

// Appends "<who>[" and "<who>]" to the log while holding the mutex, rounds times.
bool Contend(LPCWSTR name, const std::filesystem::path& log, char who, int rounds) {
  HANDLE mutex = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name);
  if (mutex == nullptr) return false;
  const int fd = ::open(log.c_str(), O_WRONLY | O_APPEND | O_CREAT, 0644);
  bool ok = fd >= 0;
  for (int i = 0; ok && i < rounds; ++i) {
    ok = WaitForSingleObject(mutex, kGuard) == WAIT_OBJECT_0;
    if (!ok) break;
    const char begin[2] = {who, '['};
    const char end[2] = {who, ']'};
    ok = ::write(fd, begin, 2) == 2;
    Sleep(0);  // gives the other side a chance to break in, were the mutex not holding
    ok = ok && ::write(fd, end, 2) == 2;
    ok = ReleaseMutex(mutex) && ok;
  }
  if (fd >= 0) ::close(fd);
  CloseHandle(mutex);
  return ok;
}

TEST(NamedMutexProcesses, CriticalSectionsOfTwoProcessesNeverInterleave) {
  const std::filesystem::path log = testing_support::MachinePrefix() / "contention.log";
  constexpr int kRounds = 300;
  // The child opens the name only after the parent has created it, through the file
  // every process shares rather than anything inherited.
  Child child([&](int, int) { return Contend(kName, log, 'c', kRounds) ? 0 : 1; });
  ASSERT_TRUE(child.started());
  HANDLE mutex = CreateMutexW(nullptr, FALSE, kName);
  ASSERT_NE(mutex, nullptr);
  child.Go();
  EXPECT_TRUE(Contend(kName, log, 'p', kRounds));
  EXPECT_EQ(child.Wait(), 0);
  CloseHandle(mutex);

  std::ifstream in(log, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  const std::string entries = text.str();
  ASSERT_EQ(entries.size(), 2u * 2 * 2 * kRounds);
  for (std::size_t i = 0; i < entries.size(); i += 4) {
    ASSERT_EQ(entries[i + 1], '[') << "at " << i;
    ASSERT_EQ(entries[i + 3], ']') << "at " << i;
    ASSERT_EQ(entries[i], entries[i + 2]) << "interleaved at " << i;
  }
}

// A process that ends holding the mutex abandons it: the next waiter, in another
// process, is told so and owns it.
TEST(NamedMutexProcesses, DeadHolderHandsItOverAbandoned) {
  Child child([](int, int done) -> int {
    HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, kName);
    if (mutex == nullptr || WaitForSingleObject(mutex, kGuard) != WAIT_OBJECT_0) return 1;
    (void)!::write(done, "t", 1);
    ::_exit(0);  // without releasing it
  });
  ASSERT_TRUE(child.started());
  HANDLE mutex = CreateMutexW(nullptr, FALSE, kName);
  ASSERT_NE(mutex, nullptr);
  child.Go();
  ASSERT_TRUE(child.Signalled());
  EXPECT_EQ(child.Wait(), 0);
  EXPECT_EQ(WaitForSingleObject(mutex, kGuard), WAIT_ABANDONED_0);
  EXPECT_TRUE(ReleaseMutex(mutex));
  EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(ReleaseMutex(mutex));
  CloseHandle(mutex);
}

// The name lives while a process has it open: what a process that died left is not a
// mutex.
TEST(NamedMutexProcesses, NameEndsWithItsLastProcess) {
  Child child([](int, int done) -> int {
    HANDLE mutex = CreateMutexW(nullptr, TRUE, kName);
    (void)!::write(done, "c", 1);
    ::_exit(mutex != nullptr ? 0 : 1);
  });
  ASSERT_TRUE(child.started());
  child.Go();
  ASSERT_TRUE(child.Signalled());
  EXPECT_EQ(child.Wait(), 0);
  EXPECT_EQ(OpenMutexW(SYNCHRONIZE, FALSE, kName), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  HANDLE mutex = CreateMutexW(nullptr, FALSE, kName);
  ASSERT_NE(mutex, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(ReleaseMutex(mutex));
  CloseHandle(mutex);
}

}  // namespace
