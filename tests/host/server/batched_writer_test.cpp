#include "host/server/batched_writer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace quillmere::host {
namespace {

// Numbered lines from several threads: each thread's lines arrive in its order, none lost,
// none torn, everything written by the time the writer is gone.
TEST(BatchedWriter, WritesEveryLineInOrderBeforeItIsGone) {
  constexpr int kThreads = 4, kLines = 2000;
  std::string out;  // only the writer's thread appends
  {
    BatchedWriter writer([&](std::string_view batch) { out.append(batch); }, 512);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&writer, t] {
        for (int i = 0; i < kLines; ++i)
          writer.Write(std::to_string(t) + " " + std::to_string(i) + "\n", i % 500 == 0);
      });
    }
    for (auto& thread : threads)
      thread.join();
  }
  std::vector<int> next(kThreads, 0);
  size_t at = 0;
  for (size_t end; (end = out.find('\n', at)) != std::string::npos; at = end + 1) {
    const std::string line = out.substr(at, end - at);
    const int thread = std::stoi(line), number = std::stoi(line.substr(line.find(' ') + 1));
    ASSERT_EQ(number, next[thread]) << line;
    ++next[thread];
  }
  EXPECT_EQ(at, out.size());
  EXPECT_EQ(next, std::vector<int>(kThreads, kLines));
}

// While the sink is held up, the queue fills to its bound and the producer waits there; a
// write that waits returns only once its text is out.
TEST(BatchedWriter, HoldsAtMostItsBoundAndWaitsForTheSink) {
  std::promise<void> release;
  const std::shared_future<void> released = release.get_future().share();
  std::atomic<bool> inSink{false};
  std::string out;
  BatchedWriter writer(
      [&](std::string_view batch) {
        inSink = true;
        released.wait();
        out.append(batch);
      },
      100);
  writer.Write("first\n");
  while (!inSink)
    std::this_thread::yield();
  std::atomic<bool> done{false};
  std::thread producer([&] {
    for (int i = 0; i < 30; ++i)
      writer.Write("line " + std::to_string(i % 10) + "...\n");  // 10 bytes each
    done = true;
  });
  while (writer.QueuedBytes() < 100)
    std::this_thread::yield();
  EXPECT_EQ(writer.QueuedBytes(), 100u);
  EXPECT_FALSE(done) << "20 lines more than the bound were queued";
  release.set_value();
  producer.join();
  writer.Write("last\n", true);
  EXPECT_EQ(out.size(), 6 + 30 * 10 + 5);
  EXPECT_EQ(out.substr(out.size() - 5), "last\n");
  EXPECT_EQ(writer.QueuedBytes(), 0u);
}

}  // namespace
}  // namespace quillmere::host
