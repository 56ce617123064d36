// The once-only initialisation of reporting under concurrent first callers.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "diagnostics/once_gate.h"

namespace {

using namespace std::chrono_literals;

TEST(ReportQueueThreads, ConcurrentFirstCallersRunItOnceAndWaitForIt) {
  quillmere::OnceGate gate;
  std::mutex mutex;
  std::condition_variable changed;
  int arrived = 0;
  bool release = false;
  std::atomic<int> runs{0};
  std::atomic<bool> finished{false};
  std::atomic<int> sawUnfinished{0};

  constexpr int kThreads = 16;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      {
        std::lock_guard hold(mutex);
        ++arrived;
        changed.notify_all();
      }
      gate.Run([&] {
        ++runs;
        // Held until every caller is on its way in, so the others find it running.
        std::unique_lock hold(mutex);
        changed.wait_for(hold, 60s, [&] { return release; });
        finished = true;
      });
      if (!finished) ++sawUnfinished;
    });
  }
  {
    std::unique_lock hold(mutex);
    ASSERT_TRUE(changed.wait_for(hold, 60s, [&] { return arrived == kThreads; }));
    release = true;
    changed.notify_all();
  }
  for (std::thread& thread : threads)
    thread.join();

  EXPECT_EQ(runs, 1);
  EXPECT_EQ(sawUnfinished, 0);
  EXPECT_TRUE(gate.Done());
}

TEST(ReportQueueThreads, AFailureIsNotRetried) {
  quillmere::OnceGate gate;
  int runs = 0;
  EXPECT_THROW(gate.Run([&] {
    ++runs;
    throw std::runtime_error("settings unreadable");
  }),
               std::runtime_error);
  EXPECT_TRUE(gate.Done());
  std::thread([&] { gate.Run([&] { ++runs; }); }).join();
  gate.Run([&] { ++runs; });
  EXPECT_EQ(runs, 1);
}

// A step that reports (and so asks for the initialisation again) must not deadlock.
TEST(ReportQueueThreads, ACallFromInsideReturnsAtOnce) {
  quillmere::OnceGate gate;
  int outer = 0;
  int inner = 0;
  gate.Run([&] {
    ++outer;
    gate.Run([&] { ++inner; });
    EXPECT_FALSE(gate.Done());
  });
  EXPECT_EQ(outer, 1);
  EXPECT_EQ(inner, 0);
  EXPECT_TRUE(gate.Done());
}

}  // namespace
