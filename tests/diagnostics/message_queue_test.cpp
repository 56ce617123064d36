// The report queue and its worker: order, the limit, stopping, and what the worker does
// when something fails.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <winport/windows.h>

#include "diagnostics/event_ids.h"
#include "diagnostics/message_queue.h"
#include "diagnostics/reporting.h"
#include "errors/com_error.h"
#include "hardware_faults.h"
#include "logged_events.h"
#include "platform_skips.h"
#include "recording_reporting.h"

namespace {

using namespace std::chrono_literals;
using quillmere::CMessageQueue;
using quillmere::ReportRecord;
using testing_support::RecordedReport;
using testing_support::RecordingReporting;

constexpr auto kTimeout = 60s;

std::unique_ptr<ReportRecord> NumberedRecord(LONG number) {
  auto record = std::make_unique<ReportRecord>();
  record->level = quillmere::kLevelError;
  record->errorNumber = number;
  return record;
}

std::vector<LONG> Numbers(const std::vector<RecordedReport>& records) {
  std::vector<LONG> numbers;
  for (const RecordedReport& r : records)
    numbers.push_back(r.errorNumber);
  return numbers;
}

// Holds the worker inside Process: the nth record (1, 2, ...) goes on once Allow(n).
class WorkerGate {
 public:
  RecordingReporting::ProcessHook Hook() {
    return [this](const RecordedReport&) {
      std::unique_lock hold(mutex_);
      const std::size_t mine = ++entered_;
      changed_.notify_all();
      changed_.wait_for(hold, kTimeout, [&] { return allowed_ >= mine; });
    };
  }
  void Allow(std::size_t count) {
    std::lock_guard hold(mutex_);
    allowed_ = count;
    changed_.notify_all();
  }
  bool WaitUntilEntered(std::size_t count) {
    std::unique_lock hold(mutex_);
    return changed_.wait_for(hold, kTimeout, [&] { return entered_ >= count; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t entered_ = 0;
  std::size_t allowed_ = 0;
};

TEST(ReportQueue, ABareQueueAcceptsAndDiscards) {
  CMessageQueue queue;
  for (LONG i = 0; i < 100; ++i)
    EXPECT_TRUE(queue.Enqueue(NumberedRecord(i)));
  queue.Stop();
  EXPECT_TRUE(queue.Enqueue(NumberedRecord(100)));
}

TEST(ReportQueue, ALockThatCannotBeMadeFailsConstruction) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  winport::fault::FailCall("InitializeCriticalSectionAndSpinCount", ERROR_NOT_ENOUGH_MEMORY);
  try {
    RecordingReporting reporting;
    ADD_FAILURE() << "constructed";
  } catch (const quillmere::_com_error& error) {
    EXPECT_EQ(error.Error(), HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY));
  }
}

TEST(ReportQueueThreads, EachThreadsRecordsArriveInTheOrderMade) {
  RecordingReporting reporting;
  reporting.SetReportingLevel(quillmere::kLevelWarning);
  constexpr int kThreads = 8;
  constexpr LONG kPerThread = 400;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&reporting] {
      for (LONG i = 0; i < kPerThread; ++i) {
        // Both paths into the queue, interleaved.
        if (i % 2 == 0)
          reporting.ReportError(OLESTR("thread"), nullptr, i, nullptr);
        else
          reporting.Report(quillmere::kLevelWarning, OLESTR("thread"), nullptr);
      }
    });
  }
  for (std::thread& thread : threads)
    thread.join();

  ASSERT_TRUE(reporting.WaitForRecords(kThreads * kPerThread));
  std::map<DWORD, std::vector<DWORD>> levelsByThread;
  std::map<DWORD, std::vector<LONG>> numbersByThread;
  for (const RecordedReport& r : reporting.Records()) {
    levelsByThread[r.threadId].push_back(r.level);
    if (r.level == quillmere::kLevelError) numbersByThread[r.threadId].push_back(r.errorNumber);
  }
  ASSERT_EQ(levelsByThread.size(), static_cast<std::size_t>(kThreads));
  std::vector<DWORD> alternating;
  std::vector<LONG> evens;
  for (LONG i = 0; i < kPerThread; ++i) {
    alternating.push_back(i % 2 == 0 ? quillmere::kLevelError : quillmere::kLevelWarning);
    if (i % 2 == 0) evens.push_back(i);
  }
  for (const auto& [thread, levels] : levelsByThread) {
    EXPECT_EQ(levels, alternating) << "thread " << thread;
    EXPECT_EQ(numbersByThread[thread], evens) << "thread " << thread;
  }
}

// A full queue behind a stalled worker: the real limit, not a smaller stand-in.
TEST(ReportQueueThreads, RefusesTheRecordAfterTheLimitUntilOneIsTaken) {
  WorkerGate gate;
  RecordingReporting reporting;
  reporting.SetProcessHook(gate.Hook());
  const std::uint64_t mark = testing_support::EventLogMark();

  // The worker takes the first record and stays in Process with it.
  ASSERT_TRUE(reporting.Enqueue(NumberedRecord(-1)));
  ASSERT_TRUE(gate.WaitUntilEntered(1));
  for (LONG i = 0; i < static_cast<LONG>(CMessageQueue::kQueueLimit); ++i)
    ASSERT_TRUE(reporting.Enqueue(NumberedRecord(i))) << i;
  EXPECT_TRUE(reporting.ErrorEvents().empty());

  EXPECT_FALSE(reporting.Enqueue(NumberedRecord(-2)));
  EXPECT_EQ(reporting.ErrorEvents(), std::vector<DWORD>{quillmere::kEventQueueFull});
  // A refused report does not fail its caller.
  EXPECT_NO_THROW(reporting.ReportError(OLESTR("refused"), nullptr, 0, nullptr));
  EXPECT_EQ(reporting.ErrorEvents().size(), 2u);

  // The worker finishes the first record and takes the next off: room for exactly one.
  gate.Allow(1);
  ASSERT_TRUE(gate.WaitUntilEntered(2));
  EXPECT_TRUE(reporting.Enqueue(NumberedRecord(-3)));
  EXPECT_FALSE(reporting.Enqueue(NumberedRecord(-4)));
  EXPECT_EQ(reporting.ErrorEvents().size(), 3u);
  EXPECT_EQ(Numbers(reporting.Records()), std::vector<LONG>{-1});

  gate.Allow(CMessageQueue::kQueueLimit * 2);
  reporting.Stop();

  SKIP_ON_WINE("its event log keeps nothing");
  const testing_support::LoggedEvent full =
      testing_support::UserEvent(EVENTLOG_ERROR_TYPE, 0, quillmere::kEventQueueFull);
  const auto logged = testing_support::LoggedSince(mark, OLESTR("SOAP Service"));
  ASSERT_GE(logged.size(), 3u);
  EXPECT_EQ(logged[0], full);
  EXPECT_EQ(logged[2], full);
}

TEST(ReportQueueThreads, EndsAfterTheRecordInHandAndDropsTheRest) {
  std::mutex mutex;
  std::condition_variable changed;
  bool inHand = false;
  RecordingReporting reporting;
  reporting.SetProcessHook([&](const RecordedReport& record) {
    if (record.errorNumber != 0) return;
    {
      std::lock_guard hold(mutex);
      inHand = true;
      changed.notify_all();
    }
    reporting.WaitForStopRequest(60000);
  });

  reporting.ReportError(OLESTR("stop"), nullptr, 0, nullptr);
  {
    std::unique_lock hold(mutex);
    ASSERT_TRUE(changed.wait_for(hold, kTimeout, [&] { return inHand; }));
  }
  for (LONG i = 1; i <= 4; ++i)
    reporting.ReportError(OLESTR("stop"), OLESTR("never delivered"), i, nullptr);

  reporting.Stop();
  EXPECT_EQ(Numbers(reporting.Records()), std::vector<LONG>{0});
  EXPECT_EQ(reporting.WarningEvents(), std::vector<DWORD>{quillmere::kEventRecordsDropped});
  EXPECT_TRUE(reporting.ErrorEvents().empty());

  // Stopped for good: later records are accepted and dropped, and stopping again is quiet.
  EXPECT_TRUE(reporting.Enqueue(NumberedRecord(5)));
  reporting.Stop();
  EXPECT_EQ(Numbers(reporting.Records()), std::vector<LONG>{0});
  EXPECT_EQ(reporting.WarningEvents().size(), 1u);
}

// Records keep flowing while the queue is stopped from another thread: every record is
// either delivered or dropped with the warning, never lost without a word. The reporter
// stays below the queue's limit: a slow worker (under Wine) would otherwise let the queue
// fill up and rightly refuse with an error event.
TEST(ReportQueueThreads, StoppingWhileOthersReport) {
  RecordingReporting reporting;
  std::atomic<bool> reporting_on{true};
  std::thread reporter([&] {
    constexpr LONG kBelowTheLimit = static_cast<LONG>(CMessageQueue::kQueueLimit / 2);
    for (LONG i = 0; reporting_on && i < kBelowTheLimit; ++i)
      reporting.ReportError(OLESTR("busy"), nullptr, i, nullptr);
  });
  ASSERT_TRUE(reporting.WaitForRecords(100));
  reporting.Stop();
  reporting_on = false;
  reporter.join();
  EXPECT_LE(reporting.WarningEvents().size(), 1u);
  EXPECT_TRUE(reporting.ErrorEvents().empty());
}

// Without events or thread there is no worker: reports are accepted and dropped at once,
// without an event.
struct NoWorkerCase {
  const char* name;
  const char* function;
  unsigned nth;
};
void PrintTo(const NoWorkerCase& c, std::ostream* out) {
  *out << c.name;
}

class ReportQueueNoWorker : public testing::TestWithParam<NoWorkerCase> {};

TEST_P(ReportQueueNoWorker, AcceptsAndDropsSilently) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  winport::fault::FailCall(GetParam().function, ERROR_NOT_ENOUGH_MEMORY, GetParam().nth);
  RecordingReporting reporting;
  winport::fault::Reset();
  reporting.SetReportingLevel(0xF);
  for (LONG i = 0; i < 10; ++i) {
    EXPECT_NO_THROW(reporting.ReportError(OLESTR("dropped"), OLESTR("text"), i, nullptr));
    EXPECT_NO_THROW(reporting.Report(quillmere::kLevelWarning, OLESTR("dropped"), nullptr));
  }
  EXPECT_TRUE(reporting.Enqueue(NumberedRecord(10)));

  reporting.Stop();  // would find and warn about anything left queued
  EXPECT_TRUE(reporting.Records().empty());
  EXPECT_TRUE(reporting.ErrorEvents().empty());
  EXPECT_TRUE(reporting.WarningEvents().empty());
}

INSTANTIATE_TEST_SUITE_P(Faults, ReportQueueNoWorker,
                         testing::Values(NoWorkerCase{"StopEvent", "CreateEventW", 1},
                                         NoWorkerCase{"WorkEvent", "CreateEventW", 2},
                                         NoWorkerCase{"Thread", "_beginthreadex", 1}),
                         [](const testing::TestParamInfo<NoWorkerCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(ReportQueueThreads, WithoutComTheWorkerSaysSoAndEnds) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  winport::fault::FailCall("CoInitializeEx", static_cast<std::uint32_t>(RPC_E_CHANGED_MODE));
  RecordingReporting reporting;
  reporting.ReportError(OLESTR("undelivered"), nullptr, 0, nullptr);

  ASSERT_TRUE(reporting.WaitForErrorEvent(quillmere::kEventWorkerComInitFailed));
  reporting.Stop();
  EXPECT_TRUE(reporting.Records().empty());
  EXPECT_EQ(reporting.ErrorEvents(), std::vector<DWORD>{quillmere::kEventWorkerComInitFailed});
  // The record waited for a worker that had ended.
  EXPECT_EQ(reporting.WarningEvents(), std::vector<DWORD>{quillmere::kEventRecordsDropped});
}

TEST(ReportQueueThreads, AFailedWaitEndsTheWorkerWithAnEvent) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  RecordingReporting reporting;
  // Armed on the worker while it holds the first record, so the wait that follows it
  // fails whatever the two threads' timing.
  reporting.SetProcessHook([](const RecordedReport& record) {
    if (record.errorNumber == 0)
      winport::fault::FailCall("WaitForMultipleObjects", ERROR_INVALID_HANDLE);
  });
  reporting.ReportError(OLESTR("delivered"), nullptr, 0, nullptr);

  ASSERT_TRUE(reporting.WaitForErrorEvent(quillmere::kEventWorkerWaitFailed));
  reporting.ReportError(OLESTR("never delivered"), nullptr, 1, nullptr);
  reporting.Stop();
  EXPECT_EQ(Numbers(reporting.Records()), std::vector<LONG>{0});
  EXPECT_EQ(reporting.ErrorEvents(), std::vector<DWORD>{quillmere::kEventWorkerWaitFailed});
  EXPECT_EQ(reporting.WarningEvents(), std::vector<DWORD>{quillmere::kEventRecordsDropped});
}

TEST(ReportQueueThreads, WithoutComAndWithoutReportsItSaysSoAtStop) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  winport::fault::FailCall("CoInitializeEx", static_cast<std::uint32_t>(RPC_E_CHANGED_MODE));
  RecordingReporting reporting;
  reporting.Stop();
  EXPECT_EQ(reporting.ErrorEvents(), std::vector<DWORD>{quillmere::kEventWorkerComInitFailed});
  EXPECT_TRUE(reporting.WarningEvents().empty());
}

struct ThrowCase {
  const char* name;
  void (*raise)();
};
void PrintTo(const ThrowCase& c, std::ostream* out) {
  *out << c.name;
}

class ReportQueueProcessFailure : public testing::TestWithParam<ThrowCase> {};

TEST_P(ReportQueueProcessFailure, DropsTheRecordAndGoesOn) {
  RecordingReporting reporting;
  reporting.SetProcessHook([raise = GetParam().raise](const RecordedReport& record) {
    if (record.errorNumber == 1) raise();
  });
  for (LONG i = 0; i < 3; ++i)
    reporting.ReportError(OLESTR("failing"), nullptr, i, nullptr);

  ASSERT_TRUE(reporting.WaitForRecords(2));
  ASSERT_TRUE(reporting.WaitForErrorEvent(quillmere::kEventProcessFailed));
  reporting.Stop();
  EXPECT_EQ(Numbers(reporting.Records()), (std::vector<LONG>{0, 2}));
  EXPECT_EQ(reporting.ErrorEvents(), std::vector<DWORD>{quillmere::kEventProcessFailed});
  EXPECT_TRUE(reporting.WarningEvents().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Exceptions, ReportQueueProcessFailure,
    testing::Values(ThrowCase{"StandardException", [] { throw std::runtime_error("sink down"); }},
                    ThrowCase{"ComError", [] { quillmere::RaiseComErrorWithoutInfo(E_FAIL); }},
                    ThrowCase{"AnyValue", [] { throw 7; }},
                    // A hardware fault on the worker reaches the catch through its translator.
                    ThrowCase{"DivisionByZero", [] { testing_support::Divide(1, 0); }}),
    [](const testing::TestParamInfo<ThrowCase>& info) { return std::string(info.param.name); });

}  // namespace
