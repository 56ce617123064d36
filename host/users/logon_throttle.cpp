#include "host/users/logon_throttle.h"

#include <algorithm>

namespace quillmere::host {

namespace {
// Beyond this many remembered keys of a kind, the keys whose run is forgotten are dropped.
constexpr size_t kKeysBeforePruning = 1024;
}  // namespace

std::chrono::milliseconds LogonThrottle::Runs::Wait(std::string_view key,
                                                    Clock::time_point now) const {
  const auto found = byKey.find(std::string(key));
  if (found == byKey.end()) return {};
  const Run& run = found->second;
  if (run.count < freeFailures || now - run.last >= kMemory) return {};
  const int doublings = std::min(run.count - freeFailures, 8);
  const auto delay = std::min(kFirstDelay * (1 << doublings), kLongestDelay);
  const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(now - run.last);
  if (waited < delay) return delay - waited;
  // The delay has passed and another attempt is being checked: its answer comes first.
  return run.checking > 0 ? kFirstDelay : std::chrono::milliseconds{};
}

void LogonThrottle::Runs::Begin(std::string_view key, Clock::time_point now) {
  if (byKey.size() >= kKeysBeforePruning) {
    std::erase_if(byKey, [&](const auto& entry) {
      return entry.second.checking == 0 && now - entry.second.last >= kMemory;
    });
  }
  Run& run = byKey[std::string(key)];
  // A failure after a quiet minute starts a new run.
  if (now - run.last >= kMemory) run.count = 0;
  ++run.checking;
}

void LogonThrottle::Runs::End(std::string_view key, bool failed, Clock::time_point now) {
  const auto found = byKey.find(std::string(key));
  if (found == byKey.end()) return;
  Run& run = found->second;
  if (run.checking > 0) --run.checking;
  if (failed) {
    ++run.count;
    run.last = std::max(run.last, now);
  }
}

std::chrono::milliseconds LogonThrottle::Admit(std::string_view name, std::string_view address,
                                               Clock::time_point now) {
  std::lock_guard lock(mutex_);
  auto wait = names_.Wait(name, now);
  if (!address.empty()) wait = std::max(wait, addresses_.Wait(address, now));
  if (wait.count() > 0) return wait;
  names_.Begin(name, now);
  if (!address.empty()) addresses_.Begin(address, now);
  return {};
}

void LogonThrottle::Failed(std::string_view name, std::string_view address, Clock::time_point now) {
  std::lock_guard lock(mutex_);
  names_.End(name, true, now);
  if (!address.empty()) addresses_.End(address, true, now);
}

void LogonThrottle::NotChecked(std::string_view name, std::string_view address) {
  std::lock_guard lock(mutex_);
  names_.End(name, false, {});
  if (!address.empty()) addresses_.End(address, false, {});
}

void LogonThrottle::Succeeded(std::string_view name, std::string_view address) {
  std::lock_guard lock(mutex_);
  // The name's run is over; the address keeps its own.
  const auto found = names_.byKey.find(std::string(name));
  if (found != names_.byKey.end()) {
    found->second.count = 0;
    if (--found->second.checking <= 0) names_.byKey.erase(found);
  }
  if (!address.empty()) addresses_.End(address, false, {});
}

}  // namespace quillmere::host
