#include "host/users/hashing_pool.h"

#include <algorithm>

namespace quillmere::host {

HashingPool::HashingPool(HashingLimits limits)
    : limits_{std::max(1u, limits.threads), limits.queued} {
  for (unsigned i = 0; i < limits_.threads; ++i)
    threads_.emplace_back([this] { Serve(); });
}

HashingPool::~HashingPool() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  ready_.notify_all();
  for (std::thread& thread : threads_)
    thread.join();
}

void HashingPool::Run(std::function<void()> work) {
  std::packaged_task<void()> task(std::move(work));
  std::future<void> done = task.get_future();
  {
    std::lock_guard lock(mutex_);
    // A call waits only for a thread that is already working.
    const size_t idle = limits_.threads - working_;
    if (queue_.size() >= idle + limits_.queued) throw HashingBusy();
    queue_.push_back(std::move(task));
  }
  ready_.notify_one();
  done.get();
}

size_t HashingPool::InFlight() const {
  std::lock_guard lock(mutex_);
  return working_ + queue_.size();
}

void HashingPool::Serve() {
  std::unique_lock lock(mutex_);
  for (;;) {
    ready_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
    if (queue_.empty()) return;  // stopping, with nothing left to run
    std::packaged_task<void()> task = std::move(queue_.front());
    queue_.pop_front();
    ++working_;
    lock.unlock();
    task();
    lock.lock();
    --working_;
  }
}

}  // namespace quillmere::host
