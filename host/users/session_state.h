// A session as the manager keeps it; the caller's session objects share it.
#pragma once

#include <atomic>
#include <chrono>
#include <string>

#include "host/users/session_manager.h"

namespace quillmere::host {

struct SessionState {
  using Clock = std::chrono::system_clock;

  LONG id;
  std::string token, user, workstation;
  Clock::time_point created;
  std::string openingXml;  // the listing's <SESSION ...>: made once, listed on every request
  std::atomic<Clock::rep> lastAccess;  // time_since_epoch().count()
  ULONG groups;
  std::atomic<bool> closed{false};

  Clock::time_point LastAccess() const {
    return Clock::time_point(Clock::duration(lastAccess.load(std::memory_order_relaxed)));
  }
  void Touch(Clock::time_point now) {
    lastAccess.store(now.time_since_epoch().count(), std::memory_order_relaxed);
  }
};

// What the caller's session objects need from their manager.
struct SessionContext {
  UserStore& users;
  SessionTiming timing;
};

// The state as the enumeration and the events show it.
SessionInfo InfoOf(const SessionState& state);

}  // namespace quillmere::host
