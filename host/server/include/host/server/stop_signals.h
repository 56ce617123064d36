// SIGINT and SIGTERM as events the main thread waits for: blocked in every thread
// created after this is made, so that no worker is interrupted by them.
#pragma once

#include <signal.h>

#include <chrono>

namespace quillmere::host {

class StopSignals {
 public:
  StopSignals();
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // True when a stop signal arrived within the timeout.
  bool Wait(std::chrono::milliseconds timeout);

 private:
  sigset_t stop_{};
  sigset_t previous_{};
};

}  // namespace quillmere::host
