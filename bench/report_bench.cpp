// The caller's cost of a report against spdlog's asynchronous logger logging the same two
// strings, each with its worker busy (a tight loop keeps it draining) and idle (asleep when
// the report arrives, so the report pays for waking it); and the worker's drain rate to a
// sink that does nothing. The busy case runs twice: as the scheduler places the threads, and
// with the caller and the worker pinned to cores of their own.
#include <benchmark/benchmark.h>
#include <pthread.h>
#include <sched.h>
#include <spdlog/async.h>
#include <spdlog/sinks/null_sink.h>
#include <spdlog/spdlog.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <winport/windows.h>

#include "diagnostics/report_queue.h"
#include "diagnostics/reporting.h"
#include "diagnostics/timestamp.h"

namespace {

// A 40-character source and an 80-character description, in both character widths.
#define SOURCE_TEXT "CAdminSessionList::execute::BuildSession"
#define DESCRIPTION_TEXT \
  "SOAP Object started: Administrator, session list of the local server, 10 rows..."
static_assert(sizeof(SOURCE_TEXT) - 1 == 40 && sizeof(DESCRIPTION_TEXT) - 1 == 80);
const OLECHAR* const kSource = OLESTR(SOURCE_TEXT);
const OLECHAR* const kDescription = OLESTR(DESCRIPTION_TEXT);
const char* const kNarrowSource = SOURCE_TEXT;
const char* const kNarrowDescription = DESCRIPTION_TEXT;

// Long enough for either worker to have emptied its queue and gone to sleep.
constexpr auto kIdleGap = std::chrono::microseconds(200);
constexpr int kIdleIterations = 5000;

// With no setting read, every sink is off: the worker takes the record and drops it.
std::unique_ptr<quillmere::Reporting> PassingReporting(DWORD reportingLevel) {
  auto reporting = std::make_unique<quillmere::Reporting>();
  reporting->EnsureInitialized();  // the settings, read first, would set the level
  reporting->SetReportingLevel(reportingLevel);
  return reporting;
}

std::shared_ptr<spdlog::logger> AsyncNullLogger(
    std::shared_ptr<spdlog::details::thread_pool> pool = nullptr) {
  // Blocking when its queue is full, as ours refuses nothing below its limit.
  static const auto shared = std::make_shared<spdlog::details::thread_pool>(8192, 1);
  if (pool == nullptr) pool = shared;
  auto logger = std::make_shared<spdlog::async_logger>(
      "bench", std::make_shared<spdlog::sinks::null_sink_mt>(), pool,
      spdlog::async_overflow_policy::block);
  logger->set_level(spdlog::level::trace);
  return logger;
}

// Times `call` alone, each time after a gap in which the worker has gone to sleep (the
// benchmark's own pause costs more than the call would).
template <typename Call>
void TimeWithIdleWorker(benchmark::State& state, Call call) {
  for (auto _ : state) {
    std::this_thread::sleep_for(kIdleGap);
    const auto start = std::chrono::steady_clock::now();
    call();
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
}

void BM_ReportPassingBusy_ours(benchmark::State& state) {
  const auto reporting = PassingReporting(quillmere::kLevelWarning);
  for (auto _ : state)
    reporting->Report(quillmere::kLevelWarning, kSource, kDescription);
}
BENCHMARK(BM_ReportPassingBusy_ours)->Name("Report/PassingBusy/ours");

void BM_ReportPassingBusy_peer(benchmark::State& state) {
  const auto logger = AsyncNullLogger();
  for (auto _ : state)
    logger->warn("{}: {}", kNarrowSource, kNarrowDescription);
}
BENCHMARK(BM_ReportPassingBusy_peer)->Name("Report/PassingBusy/peer");

// Pins the calling thread to one core; false when it cannot.
bool PinToCore(int core) {
  cpu_set_t cores;
  CPU_ZERO(&cores);
  CPU_SET(core, &cores);
  return pthread_setaffinity_np(pthread_self(), sizeof cores, &cores) == 0;
}

// Makes the owner of a worker thread (a thread inherits its maker's cores) on core 1 and
// leaves the caller on core 0 for the benchmark's life; null when there are not two cores.
template <typename MakeWorker>
auto PinnedApart(benchmark::State& state, MakeWorker makeWorker) -> decltype(makeWorker()) {
  if (!PinToCore(1) || !PinToCore(0)) {
    state.SkipWithError("two cores to pin to are needed");
    return nullptr;
  }
  PinToCore(1);
  auto worker = makeWorker();
  PinToCore(0);
  return worker;
}

class CallerCores {
 public:
  CallerCores() { sched_getaffinity(0, sizeof saved_, &saved_); }
  ~CallerCores() { pthread_setaffinity_np(pthread_self(), sizeof saved_, &saved_); }

 private:
  cpu_set_t saved_{};
};

void BM_ReportPassingBusyPinned_ours(benchmark::State& state) {
  const CallerCores restore;
  const auto reporting =
      PinnedApart(state, [] { return PassingReporting(quillmere::kLevelWarning); });
  if (reporting == nullptr) return;
  for (auto _ : state)
    reporting->Report(quillmere::kLevelWarning, kSource, kDescription);
}
BENCHMARK(BM_ReportPassingBusyPinned_ours)->Name("Report/PassingBusyPinned/ours");

void BM_ReportPassingBusyPinned_peer(benchmark::State& state) {
  const CallerCores restore;
  const auto pool =
      PinnedApart(state, [] { return std::make_shared<spdlog::details::thread_pool>(8192, 1); });
  if (pool == nullptr) return;
  const auto logger = AsyncNullLogger(pool);
  for (auto _ : state)
    logger->warn("{}: {}", kNarrowSource, kNarrowDescription);
}
BENCHMARK(BM_ReportPassingBusyPinned_peer)->Name("Report/PassingBusyPinned/peer");

void BM_ReportPassing_ours(benchmark::State& state) {
  const auto reporting = PassingReporting(quillmere::kLevelWarning);
  TimeWithIdleWorker(state,
                     [&] { reporting->Report(quillmere::kLevelWarning, kSource, kDescription); });
}
BENCHMARK(BM_ReportPassing_ours)
    ->Name("Report/Passing/ours")
    ->Iterations(kIdleIterations)
    ->UseManualTime();

void BM_ReportPassing_peer(benchmark::State& state) {
  const auto logger = AsyncNullLogger();
  TimeWithIdleWorker(state, [&] { logger->warn("{}: {}", kNarrowSource, kNarrowDescription); });
}
BENCHMARK(BM_ReportPassing_peer)
    ->Name("Report/Passing/peer")
    ->Iterations(kIdleIterations)
    ->UseManualTime();

void BM_ReportFiltered_ours(benchmark::State& state) {
  const auto reporting = PassingReporting(quillmere::kLevelError);
  for (auto _ : state)
    reporting->Report(quillmere::kLevelInformation, kSource, kDescription);
}
BENCHMARK(BM_ReportFiltered_ours)->Name("Report/Filtered/ours");

void BM_TraceOnBusy_ours(benchmark::State& state) {
  const auto reporting = PassingReporting(quillmere::kLevelTrace);
  for (auto _ : state)
    reporting->Trace(true, kSource);
}
BENCHMARK(BM_TraceOnBusy_ours)->Name("Trace/OnBusy/ours");

void BM_TraceOnBusy_peer(benchmark::State& state) {
  const auto logger = AsyncNullLogger();
  for (auto _ : state)
    logger->trace("{}: {}", kNarrowSource, "*ENTER*");
}
BENCHMARK(BM_TraceOnBusy_peer)->Name("Trace/OnBusy/peer");

void BM_TraceOn_ours(benchmark::State& state) {
  const auto reporting = PassingReporting(quillmere::kLevelTrace);
  TimeWithIdleWorker(state, [&] { reporting->Trace(true, kSource); });
}
BENCHMARK(BM_TraceOn_ours)->Name("Trace/On/ours")->Iterations(kIdleIterations)->UseManualTime();

void BM_TraceOn_peer(benchmark::State& state) {
  const auto logger = AsyncNullLogger();
  TimeWithIdleWorker(state, [&] { logger->trace("{}: {}", kNarrowSource, "*ENTER*"); });
}
BENCHMARK(BM_TraceOn_peer)->Name("Trace/On/peer")->Iterations(kIdleIterations)->UseManualTime();

void BM_TraceOff_ours(benchmark::State& state) {
  const auto reporting = PassingReporting(quillmere::kLevelError);
  for (auto _ : state)
    reporting->Trace(true, kSource);
}
BENCHMARK(BM_TraceOff_ours)->Name("Trace/Off/ours");

// A consumer that counts what the worker hands it and drops it.
class CountingConsumer final : public quillmere::ReportQueue::Consumer {
 public:
  std::size_t Delivered() const { return delivered_.load(std::memory_order_acquire); }
  void Process(std::unique_ptr<quillmere::ReportRecord>) override {
    delivered_.fetch_add(1, std::memory_order_release);
  }
  void WriteQueueEvent(WORD, DWORD) override {}

 private:
  std::atomic<std::size_t> delivered_{0};
};

std::unique_ptr<quillmere::ReportRecord> PassingRecord() {
  OLECHAR time[quillmere::kTimestampBuffer];
  return quillmere::ReportRecord::Make(quillmere::kLevelWarning, 0, 0,
                                       quillmere::FormatTimestamp(time), kSource, nullptr,
                                       kDescription, quillmere::kNoErrorNumber);
}

// Records per second through the worker: a batch is made beforehand, appended, and the
// clock stops when the worker has been handed the last one.
void BM_ReportDrain_ours(benchmark::State& state) {
  constexpr std::size_t kBatch = 50000;
  CountingConsumer consumer;  // made first: it outlives the worker
  quillmere::ReportQueue queue(consumer);
  std::size_t expected = 0;
  std::vector<std::unique_ptr<quillmere::ReportRecord>> batch(kBatch);
  for (auto _ : state) {
    state.PauseTiming();
    for (auto& record : batch)
      record = PassingRecord();
    state.ResumeTiming();
    for (auto& record : batch)
      queue.Enqueue(std::move(record));
    expected += kBatch;
    while (consumer.Delivered() < expected)
      std::this_thread::yield();
  }
  state.SetItemsProcessed(static_cast<int64_t>(expected));
}
BENCHMARK(BM_ReportDrain_ours)
    ->Name("Report/Drain/ours")
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// The parts of a queued report's cost.
void BM_FormatTimestamp(benchmark::State& state) {
  OLECHAR time[quillmere::kTimestampBuffer];
  for (auto _ : state)
    benchmark::DoNotOptimize(quillmere::FormatTimestamp(time));
}
BENCHMARK(BM_FormatTimestamp)->Name("Report/FormatTimestamp/part");

void BM_GetLocalTime(benchmark::State& state) {
  SYSTEMTIME now;
  for (auto _ : state) {
    GetLocalTime(&now);
    benchmark::DoNotOptimize(now);
  }
}
BENCHMARK(BM_GetLocalTime)->Name("Report/GetLocalTime/part");

}  // namespace
