// A few threads of their own for password hashing. Every hash or verification takes
// 64 MiB and tens of milliseconds: run on the callers' threads, a burst of logons would
// take memory without limit and occupy every thread serving requests. Here at most
// `threads` run and `queued` wait; beyond that a call is refused at once.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace quillmere::host {

struct HashingLimits {
  unsigned threads = 2;
  size_t queued = 2;
};

// The pool was full; nothing was run.
class HashingBusy : public std::runtime_error {
 public:
  HashingBusy() : std::runtime_error("password hashing is busy") {}
};

class HashingPool {
 public:
  explicit HashingPool(HashingLimits limits);
  ~HashingPool();
  HashingPool(const HashingPool&) = delete;
  HashingPool& operator=(const HashingPool&) = delete;

  // Runs work on a thread of the pool and waits for it; its exception, if any, is thrown
  // here. Throws HashingBusy when `threads` are working and `queued` calls already wait.
  void Run(std::function<void()> work);
  // Calls running or waiting now.
  size_t InFlight() const;

 private:
  void Serve();

  const HashingLimits limits_;
  mutable std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::packaged_task<void()>> queue_;
  unsigned working_ = 0;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace quillmere::host
