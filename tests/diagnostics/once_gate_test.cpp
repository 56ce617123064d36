// The once-only initialisation of reporting under concurrent first callers.
#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <stdexcept>
#include <thread>
#include <vector>

#include "diagnostics/once_gate.h"

namespace {

TEST(ReportQueueThreads, ConcurrentFirstCallersRunItOnceAndWaitForIt) {
  constexpr int kThreads = 16;
  quillmere::OnceGate gate;
  std::latch arrived{kThreads};
  std::atomic<int> runs{0};
  std::atomic<bool> finished{false};
  std::atomic<int> sawUnfinished{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      arrived.count_down();
      gate.Run([&] {
        ++runs;
        // Held until every caller is on its way in, so the others find it running.
        arrived.wait();
        finished = true;
      });
      if (!finished) ++sawUnfinished;
    });
  }
  for (std::thread& thread : threads)
    thread.join();

  EXPECT_EQ(runs, 1);
  EXPECT_EQ(sawUnfinished, 0);
  EXPECT_TRUE(gate.Done());
}

// A failed initialisation is not retried, and a step that reports (and so asks for the
// initialisation again) goes through at once instead of deadlocking.
TEST(ReportQueueThreads, AFailureIsNotRetriedAndACallFromInsideReturnsAtOnce) {
  quillmere::OnceGate failing;
  int runs = 0;
  EXPECT_THROW(failing.Run([&] {
    ++runs;
    throw std::runtime_error("settings unreadable");
  }),
               std::runtime_error);
  EXPECT_TRUE(failing.Done());
  std::thread([&] { failing.Run([&] { ++runs; }); }).join();
  failing.Run([&] { ++runs; });
  EXPECT_EQ(runs, 1);

  quillmere::OnceGate reentered;
  int inner = 0;
  reentered.Run([&] {
    reentered.Run([&] { ++inner; });
    EXPECT_FALSE(reentered.Done());
  });
  EXPECT_EQ(inner, 0);
  EXPECT_TRUE(reentered.Done());
}

}  // namespace
