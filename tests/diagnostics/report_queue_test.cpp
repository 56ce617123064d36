// The report queue and its worker: order, the limit, stopping, and what the worker does
// when something fails.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <numeric>
#include <semaphore>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include <winport/windows.h>

#include "diagnostics/event_ids.h"
#include "errors/com_error.h"
#include "hardware_faults.h"
#include "platform_skips.h"
#include "recording_reporting.h"

namespace {

using quillmere::ReportQueue;
using testing_support::RecordingReporting;
using testing_support::StatusEvent;
using Events = RecordingReporting::Events;

constexpr StatusEvent kQueueFull{EVENTLOG_ERROR_TYPE, quillmere::kEventQueueFull};
constexpr StatusEvent kRecordsDropped{EVENTLOG_WARNING_TYPE, quillmere::kEventRecordsDropped};

std::unique_ptr<quillmere::ReportRecord> Numbered(LONG number) {
  return quillmere::ReportRecord::Make(0, 0, 0, nullptr, nullptr, nullptr, nullptr, number);
}

std::vector<LONG> Numbers(const RecordingReporting& reporting) {
  std::vector<LONG> numbers;
  for (const quillmere::ReportRecord* record : reporting.Records())
    numbers.push_back(record->errorNumber);
  return numbers;
}

// Holds the worker in Process: `entered` is released as it takes each record up, and it
// goes on with the record once `go` is released. Outlives the queue it holds.
struct WorkerGate {
  std::counting_semaphore<> entered{0};
  std::counting_semaphore<> go{0};

  void Hold() {
    entered.release();
    go.try_acquire_for(std::chrono::minutes(1));
  }
  bool Entered() { return entered.try_acquire_for(std::chrono::minutes(1)); }
};

TEST(ReportQueue, ALockThatCannotBeMadeFailsConstruction) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  winport::fault::FailCall("InitializeCriticalSectionAndSpinCount", ERROR_NOT_ENOUGH_MEMORY);
  testing_support::ReportRecorder consumer;
  try {
    ReportQueue queue(consumer);
    ADD_FAILURE() << "constructed";
  } catch (const quillmere::_com_error& error) {
    EXPECT_EQ(error.Error(), HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY));
  }
}

TEST(ReportQueueThreads, EachThreadsRecordsArriveInTheOrderMade) {
  RecordingReporting reporting;
  constexpr int kThreads = 8;
  constexpr LONG kPerThread = 400;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&reporting] {
      for (LONG i = 0; i < kPerThread; ++i)
        reporting.ReportError(nullptr, nullptr, i, nullptr);
    });
  }
  for (std::thread& thread : threads)
    thread.join();

  ASSERT_TRUE(reporting.WaitFor(kThreads * kPerThread));
  std::map<DWORD, std::vector<LONG>> byThread;
  for (const quillmere::ReportRecord* record : reporting.Records())
    byThread[record->threadId].push_back(record->errorNumber);
  std::vector<LONG> inOrder(kPerThread);
  std::iota(inOrder.begin(), inOrder.end(), 0);
  EXPECT_EQ(byThread.size(), static_cast<std::size_t>(kThreads));
  for (const auto& [thread, numbers] : byThread)
    EXPECT_EQ(numbers, inOrder) << "thread " << thread;
}

// Each record after the last was delivered, every other one after a pause long enough
// for the idle worker to have gone to sleep: a looking and a sleeping worker both take it.
TEST(ReportQueueThreads, ARecordAfterAnIdleSpellIsStillDelivered) {
  RecordingReporting reporting;
  constexpr LONG kRecords = 40;
  for (LONG i = 0; i < kRecords; ++i) {
    if (i % 2 == 1) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    reporting.Queue().Enqueue(Numbered(i));
    ASSERT_TRUE(reporting.WaitFor(static_cast<std::size_t>(i) + 1)) << "record " << i;
  }
}

// A full queue behind a held worker: the real limit, not a smaller stand-in.
TEST(ReportQueueThreads, RefusesTheRecordAfterTheLimitUntilOneIsTaken) {
  WorkerGate gate;
  RecordingReporting reporting;
  reporting.beforeKeeping = [&gate](const quillmere::ReportRecord&) { gate.Hold(); };
  // The worker takes the first record and stays in Process with it.
  ASSERT_TRUE(reporting.Queue().Enqueue(Numbered(-1)));
  ASSERT_TRUE(gate.Entered());
  for (LONG i = 0; i < static_cast<LONG>(ReportQueue::kQueueLimit); ++i)
    ASSERT_TRUE(reporting.Queue().Enqueue(Numbered(i))) << i;
  EXPECT_TRUE(reporting.Written().empty());

  EXPECT_FALSE(reporting.Queue().Enqueue(Numbered(-2)));
  EXPECT_EQ(reporting.Written(), Events{kQueueFull});
  // A refused report does not fail its caller.
  EXPECT_NO_THROW(reporting.ReportError(OLESTR("refused"), nullptr, 0, nullptr));
  EXPECT_EQ(reporting.Written(), (Events{kQueueFull, kQueueFull}));
  // An operator sees the queue full, the two refusals, and the worker still there.
  const ReportQueue::State full = reporting.Queue().Observe();
  EXPECT_EQ(full.depth, ReportQueue::kQueueLimit);
  EXPECT_EQ(full.dropped, 2u);
  EXPECT_TRUE(full.workerAlive);

  // The worker finishes the first record and takes the next off: room for exactly one.
  gate.go.release();
  ASSERT_TRUE(gate.Entered());
  EXPECT_TRUE(reporting.Queue().Enqueue(Numbered(-3)));
  EXPECT_FALSE(reporting.Queue().Enqueue(Numbered(-4)));
  EXPECT_EQ(reporting.Written().size(), 3u);
  EXPECT_EQ(Numbers(reporting), std::vector<LONG>{-1});
  gate.go.release(ReportQueue::kQueueLimit * 2);
}

TEST(ReportQueueThreads, StopEndsAfterTheRecordInHandAndDropsTheRestWithAWarning) {
  WorkerGate gate;
  RecordingReporting reporting;
  reporting.beforeKeeping = [&](const quillmere::ReportRecord&) {
    gate.entered.release();
    reporting.Queue().WaitForStopRequest(60000);
  };
  reporting.ReportError(nullptr, nullptr, 0, nullptr);
  ASSERT_TRUE(gate.Entered());
  for (LONG i = 1; i <= 4; ++i)
    reporting.ReportError(nullptr, OLESTR("never delivered"), i, nullptr);

  EXPECT_TRUE(reporting.Queue().Observe().workerAlive);
  reporting.Queue().Stop();
  EXPECT_EQ(Numbers(reporting), std::vector<LONG>{0});
  EXPECT_EQ(reporting.Written(), Events{kRecordsDropped});
  const ReportQueue::State stopped = reporting.Queue().Observe();
  EXPECT_EQ(stopped.depth, 0u);
  EXPECT_EQ(stopped.dropped, 4u);
  EXPECT_FALSE(stopped.workerAlive);

  // Stopped for good: later records are accepted and dropped, and stopping again is quiet.
  EXPECT_TRUE(reporting.Queue().Enqueue(Numbered(5)));
  EXPECT_EQ(reporting.Queue().Observe().dropped, 5u);
  reporting.Queue().Stop();
  EXPECT_EQ(Numbers(reporting), std::vector<LONG>{0});
  EXPECT_EQ(reporting.Written(), Events{kRecordsDropped});
}

// Records keep coming while the queue is stopped from another thread: each is delivered
// or dropped under the one warning, never refused. The reporter stays below the limit,
// which a slow worker (under Wine) would otherwise rightly refuse at.
TEST(ReportQueueThreads, StoppingWhileOthersReport) {
  RecordingReporting reporting;
  std::atomic<bool> reportingOn{true};
  std::thread reporter([&] {
    for (LONG i = 0; reportingOn && i < static_cast<LONG>(ReportQueue::kQueueLimit / 2); ++i)
      reporting.ReportError(nullptr, nullptr, i, nullptr);
  });
  ASSERT_TRUE(reporting.WaitFor(100));
  reporting.Queue().Stop();
  reportingOn = false;
  reporter.join();
  const Events written = reporting.Written();
  EXPECT_TRUE(written.empty() || written == Events{kRecordsDropped});
}

// Without its events or its thread the queue has no worker: it accepts every record and
// drops it at once, without a word.
TEST(ReportQueue, WithoutAWorkerRecordsAreDroppedSilently) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  const std::pair<const char*, unsigned> failures[] = {
      {"CreateEventW", 1}, {"CreateEventW", 2}, {"CreateEventW", 3}, {"_beginthreadex", 1}};
  for (const auto& [function, nth] : failures) {
    SCOPED_TRACE(testing::Message() << function << " #" << nth);
    winport::fault::FailCall(function, ERROR_NOT_ENOUGH_MEMORY, nth);
    RecordingReporting reporting;
    winport::fault::Reset();
    for (LONG i = 0; i < 10; ++i)
      EXPECT_NO_THROW(reporting.ReportError(nullptr, nullptr, i, nullptr));
    EXPECT_TRUE(reporting.Queue().Enqueue(Numbered(10)));
    reporting.Queue().Stop();  // would warn about anything left queued
    EXPECT_TRUE(reporting.Records().empty());
    EXPECT_TRUE(reporting.Written().empty());
  }
}

// The worker ends early with an error event when it cannot join COM (it says so once
// woken) or when its wait fails (armed while it holds the first record, so the wait after
// it fails whatever the timing). What is queued after that stays for Stop.
TEST(ReportQueueThreads, AWorkerThatEndsEarlySaysSo) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  for (const bool withoutCom : {true, false}) {
    if (withoutCom)
      winport::fault::FailCall("CoInitializeEx", static_cast<std::uint32_t>(RPC_E_CHANGED_MODE));
    RecordingReporting reporting;
    reporting.beforeKeeping = [](const quillmere::ReportRecord&) {
      winport::fault::FailCall("WaitForMultipleObjects", ERROR_INVALID_HANDLE);
    };
    reporting.ReportError(nullptr, nullptr, 0, nullptr);
    ASSERT_TRUE(reporting.WaitFor(withoutCom ? 0 : 1, 1));
    // A monitor sees it gone, once its thread is past the event it wrote.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (reporting.Queue().Observe().workerAlive && std::chrono::steady_clock::now() < giveUp)
      std::this_thread::yield();
    EXPECT_FALSE(reporting.Queue().Observe().workerAlive);
    reporting.ReportError(nullptr, nullptr, 1, nullptr);
    reporting.Queue().Stop();
    EXPECT_EQ(Numbers(reporting), withoutCom ? std::vector<LONG>{} : std::vector<LONG>{0});
    const DWORD ended =
        withoutCom ? quillmere::kEventWorkerComInitFailed : quillmere::kEventWorkerWaitFailed;
    EXPECT_EQ(reporting.Written(), (Events{{EVENTLOG_ERROR_TYPE, ended}, kRecordsDropped}));
  }
}

// Whatever leaves Process drops that record only; a hardware fault on the worker reaches
// the catch through the worker's translator.
TEST(ReportQueue, AFailedDeliveryDropsTheRecordAndGoesOn) {
  const std::function<void()> failures[] = {[] { throw std::runtime_error("sink down"); },
                                            [] { throw 7; }, [] { testing_support::Divide(1, 0); }};
  for (const auto& fail : failures) {
    RecordingReporting reporting;
    reporting.beforeKeeping = [&fail](const quillmere::ReportRecord& record) {
      if (record.errorNumber == 1) fail();
    };
    for (LONG i = 0; i < 3; ++i)
      reporting.ReportError(nullptr, nullptr, i, nullptr);

    ASSERT_TRUE(reporting.WaitFor(2));
    reporting.Queue().Stop();
    EXPECT_EQ(Numbers(reporting), (std::vector<LONG>{0, 2}));
    EXPECT_EQ(reporting.Written(), (Events{{EVENTLOG_ERROR_TYPE, quillmere::kEventProcessFailed}}));
  }
}

}  // namespace
