#include "host/server/batched_writer.h"

#include <chrono>

namespace quillmere::host {
namespace {

// After a batch of more than one text, the writer waits this long (or until someone waits
// for a write) so that the next batch gathers more: a steady stream costs a write per
// interval, not per text. A lone text is written at once.
constexpr auto kLinger = std::chrono::milliseconds(5);

}  // namespace

BatchedWriter::BatchedWriter(Sink sink, size_t maxQueuedBytes)
    : sink_(std::move(sink)), maxQueuedBytes_(maxQueuedBytes), thread_([this] { Run(); }) {}

BatchedWriter::~BatchedWriter() {
  {
    std::lock_guard hold(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

void BatchedWriter::Write(std::string_view text, bool wait) {
  std::unique_lock hold(mutex_);
  while (!queue_.empty() && queue_.size() + text.size() > maxQueuedBytes_) {
    hurry_ = true;
    wake_.notify_one();
    progress_.wait(hold);
  }
  queue_.append(text);
  const uint64_t mine = ++queuedCount_;
  if (wait) hurry_ = true;
  if (idle_ || (wait && lingering_)) wake_.notify_one();
  if (!wait) return;
  progress_.wait(hold, [&] { return writtenCount_ >= mine; });
}

void BatchedWriter::Flush() {
  std::unique_lock hold(mutex_);
  const uint64_t mine = queuedCount_;
  if (writtenCount_ >= mine) return;
  hurry_ = true;
  wake_.notify_one();
  progress_.wait(hold, [&] { return writtenCount_ >= mine; });
}

size_t BatchedWriter::QueuedBytes() const {
  std::lock_guard hold(mutex_);
  return queue_.size();
}

void BatchedWriter::Run() {
  std::string batch;
  std::unique_lock hold(mutex_);
  for (;;) {
    idle_ = true;
    wake_.wait(hold, [&] { return !queue_.empty() || stopping_; });
    idle_ = false;
    if (queue_.empty()) return;  // stopping, with everything written
    batch.swap(queue_);
    const uint64_t taken = queuedCount_;
    const bool several = taken - writtenCount_ > 1;
    hurry_ = false;
    hold.unlock();
    sink_(batch);
    batch.clear();
    hold.lock();
    writtenCount_ = taken;
    progress_.notify_all();
    if (several && !stopping_ && !hurry_) {
      lingering_ = true;
      wake_.wait_for(hold, kLinger, [&] { return stopping_ || hurry_; });
      lingering_ = false;
    }
  }
}

}  // namespace quillmere::host
