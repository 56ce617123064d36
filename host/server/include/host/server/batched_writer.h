// Text handed over by many threads and written by one thread of its own, in batches: each
// batch is everything that arrived while the one before was being written, so under load
// one write carries many lines. The queue is bounded: a writer that would take it past
// its bound waits until the batch in progress is written. Text reaches the sink in the
// order it was handed over; the destructor writes everything queued before it returns.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace quillmere::host {

class BatchedWriter {
 public:
  using Sink = std::function<void(std::string_view batch)>;

  explicit BatchedWriter(Sink sink, size_t maxQueuedBytes = 1 << 20);
  ~BatchedWriter();
  BatchedWriter(const BatchedWriter&) = delete;
  BatchedWriter& operator=(const BatchedWriter&) = delete;

  // Queues the text (one text larger than the bound still goes, alone); with `wait`,
  // returns once the sink has had it.
  void Write(std::string_view text, bool wait = false);
  // Returns once everything queued before the call has reached the sink.
  void Flush();
  size_t QueuedBytes() const;

 private:
  void Run();

  const Sink sink_;
  const size_t maxQueuedBytes_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;      // the writer: text queued, or the stop
  std::condition_variable progress_;  // the producers: a batch written, room made
  std::string queue_;
  uint64_t queuedCount_ = 0;   // texts handed over so far
  uint64_t writtenCount_ = 0;  // of which the sink has had
  bool idle_ = false;          // the writer waits for text
  bool lingering_ = false;
  bool hurry_ = false;  // someone waits for a write
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace quillmere::host
