#include "host/server/stop_signals.h"

#include <pthread.h>

#include <cerrno>

namespace quillmere::host {

StopSignals::StopSignals() {
  sigemptyset(&stop_);
  sigaddset(&stop_, SIGINT);
  sigaddset(&stop_, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_, &previous_);
  // A client that hangs up mid-answer must not end the process.
  signal(SIGPIPE, SIG_IGN);
}

StopSignals::~StopSignals() {
  pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

bool StopSignals::Wait(std::chrono::milliseconds timeout) {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(timeout);
  const timespec wait{static_cast<time_t>(seconds.count()),
                      static_cast<long>((timeout - seconds).count() * 1000000)};
  int received = -1;
  do {
    received = sigtimedwait(&stop_, nullptr, &wait);
  } while (received < 0 && errno == EINTR);
  return received == SIGINT || received == SIGTERM;
}

}  // namespace quillmere::host
