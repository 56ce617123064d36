#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <ctime>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <winport/event_log_reader.h>
#include <winport/machine.h>
#include <winport/windows.h>

#include "linux/child_process.h"

namespace {

using winport_tests::Child;

namespace fs = std::filesystem;
using winport::WideString;
using winport::eventlog::EventRecord;
using winport::eventlog::ReadEvents;

fs::path LogFile() {
  return winport::machine::EventLogDirectory() / "Application.log";
}

std::string FileText() {
  std::ifstream file(LogFile(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The same clock the log reads: time() runs on a coarser clock that can lag it by a tick.
std::string UtcNow() {
  timespec precise{};
  clock_gettime(CLOCK_REALTIME, &precise);
  const std::time_t now = precise.tv_sec;
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
  return text;
}

void SetMaxSize(DWORD bytes) {
  HKEY key = nullptr;
  RegCreateKeyExW(HKEY_LOCAL_MACHINE,
                  OLESTR("SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application"), 0, nullptr,
                  0, KEY_WRITE, nullptr, &key, nullptr);
  EXPECT_EQ(
      RegSetValueExW(key, OLESTR("MaxSize"), 0, REG_DWORD, reinterpret_cast<BYTE*>(&bytes), 4),
      ERROR_SUCCESS);
  RegCloseKey(key);
}

bool Report(HANDLE source, DWORD event_id, const std::vector<WideString>& strings = {},
            PSID user = nullptr, WORD type = EVENTLOG_ERROR_TYPE, WORD category = 0) {
  std::vector<LPCWSTR> pointers;
  for (const WideString& text : strings)
    pointers.push_back(text.c_str());
  return ReportEventW(source, type, category, event_id, user, static_cast<WORD>(pointers.size()), 0,
                      pointers.data(), nullptr);
}

// A source registered for one test.
class Source {
 public:
  explicit Source(const OLECHAR* name) : handle_(RegisterEventSourceW(nullptr, name)) {}
  ~Source() { DeregisterEventSource(handle_); }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

const OLECHAR kLoneSurrogates[] = {'a', 0xD800, 'b', 0xDC00, 0};

TEST(EventLogFile, EveryFieldReadsBackExactly) {
  WCHAR computer[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD computer_length = MAX_COMPUTERNAME_LENGTH + 1;
  ASSERT_TRUE(GetComputerNameW(computer, &computer_length));
  // S-1-22-1-1000: a Unix user, as the process token names it.
  alignas(DWORD) BYTE user[SECURITY_MAX_SID_SIZE] = {1, 2, 0, 0, 0, 0, 0, 22, 1, 0, 0, 0, 0xE8, 3};
  const struct {
    WORD type;
    WideString text;
  } cases[] = {
      {EVENTLOG_WARNING_TYPE,
       WideString(
           OLESTR("two\nlines\r\t say \"hi\" C:\\ \\n \" data=00 string=\"x \x01\x1f\x7f é 日本語 "
                  "\U0001F600")) +
           kLoneSurrogates},
      // A line longer than the end of the log a writer first looks at for the last number.
      {3,  // a type without a name
       WideString(31839, OLESTR("日")[0]) + WideString(31839, OLESTR("\n")[0])},
  };
  SetMaxSize(4 << 20);  // room for the long record beside the other in the newest file
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    fs::remove(LogFile());
    Source source(OLESTR("Quillmere \"Admin\" \\ é"));
    const std::string before = UtcNow();
    ASSERT_TRUE(Report(source.get(), 0xC0000101, {c.text}, user, c.type, 9));
    ASSERT_TRUE(Report(source.get(), 2, {}, nullptr, EVENTLOG_SUCCESS));
    const std::string after = UtcNow() + ".999Z";

    const auto records = ReadEvents();
    ASSERT_EQ(records.size(), 2u);
    EventRecord expected{1,
                         records[0].time_written,
                         WideString(computer, computer_length),
                         OLESTR("Quillmere \"Admin\" \\ é"),
                         c.type,
                         9,
                         0xC0000101,
                         "S-1-22-1-1000",
                         {c.text},
                         {}};
    EXPECT_EQ(records[0], expected);
    EXPECT_GE(records[0].time_written, before);
    EXPECT_LE(records[0].time_written, after);
    EXPECT_EQ(records[1].number, 2u);
    EXPECT_EQ(records[1].user_sid, "");
    EXPECT_TRUE(records[1].strings.empty());

    // One line per record, and readable: text stays UTF-8.
    const std::string text = FileText();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
    EXPECT_NE(text.find("日"), std::string::npos);
  }
}

// Two processes of three threads each; each writer is a source of its own and numbers
// its events in its strings.
constexpr int kProcesses = 2;
constexpr int kThreads = 3;
constexpr int kEvents = 100;

bool WriteFromThreads(int process) {
  std::vector<std::thread> threads;
  std::atomic<int> failed{0};
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&failed, process, t] {
      Source source(winport::FormatWide("writer %d.%d", process, t).c_str());
      for (int i = 0; i < kEvents; ++i)
        failed += Report(source.get(), 1, {winport::FormatWide("%d", i)}) ? 0 : 1;
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  return failed == 0;
}

TEST(EventLogFileConcurrency, EveryRecordWholeNumberedOnceAndInEachWritersOrder) {
  Child first([](int, int) { return WriteFromThreads(0) ? 0 : 1; });
  Child second([](int, int) { return WriteFromThreads(1) ? 0 : 1; });
  ASSERT_TRUE(first.started() && second.started());
  first.Go();
  second.Go();
  EXPECT_EQ(first.Wait(), 0);
  EXPECT_EQ(second.Wait(), 0);

  const auto records = ReadEvents();
  ASSERT_EQ(records.size(), static_cast<std::size_t>(kProcesses * kThreads * kEvents));
  std::map<std::string, int> next_of_writer;
  for (std::size_t i = 0; i < records.size(); ++i) {
    EXPECT_EQ(records[i].number, i + 1);
    ASSERT_EQ(records[i].strings.size(), 1u);
    const std::string writer = winport::WideToUtf8(records[i].source);
    EXPECT_EQ(winport::WideToUtf8(records[i].strings[0]), std::to_string(next_of_writer[writer]++))
        << writer;
  }
  EXPECT_EQ(next_of_writer.size(), static_cast<std::size_t>(kProcesses * kThreads));
}

// A record line cut before its end is not read, and the next record follows the last
// whole one.
TEST(EventLogFileLeftover, IsNotReadAndTheNextRecordFollowsTheLastWholeOne) {
  Source source(OLESTR("Quillmere"));
  ASSERT_TRUE(Report(source.get(), 1, {OLESTR("first")}));
  std::ofstream(LogFile(), std::ios::app | std::ios::binary)
      << "record=3 time=2024-05-01T12:34:56.789Z computer=\"H\" source=\"Quillmere\" type=error "
         "category=0 event=9 user= string=\"x\" data=";
  ASSERT_EQ(ReadEvents().size(), 1u);
  ASSERT_TRUE(Report(source.get(), 2, {OLESTR("second")}));
  const auto records = ReadEvents();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[1].number, 2u);
  EXPECT_EQ(records[1].strings, std::vector<WideString>{OLESTR("second")});
}

// Filled twice over, the log (MaxSize 0: none) keeps 3/4 to all its bound: its newest records,
// whole, numbered on, each read by ReadEvents (what `quillmere events` prints).
TEST(EventLogBound, AFullLogLosesItsOldestRecordsWholeAndNumbersGoOn) {
  const WideString padding(700, OLESTR("x")[0]);
  for (const auto& [max_size, bound] : {std::pair{0u, 512u << 10}, std::pair{100000u, 64u << 10}}) {
    if (max_size != 0) SetMaxSize(max_size);
    Source source(OLESTR("Quillmere"));
    const std::uint64_t first = ReadEvents().empty() ? 1 : ReadEvents().back().number + 1;
    for (std::uint64_t n = first; n < first + bound / 400; ++n)
      ASSERT_TRUE(Report(source.get(), 1, {winport::FormatWide("%d", int(n)), padding}));
    std::size_t bytes = 0, kept = 0;
    for (const auto& entry : fs::directory_iterator(LogFile().parent_path())) {
      std::ifstream file(entry.path());
      for (std::string line; std::getline(file, line); bytes += line.size() + 1)
        kept += line.starts_with("record=") ? 1 : 0;
    }
    EXPECT_TRUE(bytes <= bound && bytes >= bound * 3 / 4) << bytes;
    const auto records = ReadEvents();
    ASSERT_EQ(records.size(), kept);
    EXPECT_GT(records.front().number, first);
    for (std::size_t i = 0; i < kept; ++i) {
      EXPECT_EQ(records[i].number, first + bound / 400 - kept + i);
      EXPECT_EQ(records[i].strings,
                (std::vector{winport::FormatWide("%d", int(records[i].number)), padding}));
    }
  }
}

TEST(EventLogFaults, RegisterAndReportFailWithTheInjectedErrorAndWriteNothing) {
  winport::fault::FailCall("RegisterEventSourceW", ERROR_NOT_ENOUGH_MEMORY);
  SetLastError(0);
  EXPECT_EQ(RegisterEventSourceW(nullptr, OLESTR("Quillmere")), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  Source source(OLESTR("Quillmere"));
  winport::fault::FailCall("ReportEventW", ERROR_WRITE_FAULT);
  SetLastError(0);
  EXPECT_FALSE(Report(source.get(), 1));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WRITE_FAULT));
  EXPECT_TRUE(Report(source.get(), 2));
  const auto records = ReadEvents();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].event_id, 2u);
}

}  // namespace
