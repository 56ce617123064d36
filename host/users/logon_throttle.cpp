#include "host/users/logon_throttle.h"

#include <algorithm>

namespace quillmere::host {

namespace {
// Beyond this many remembered names, names whose last failure is forgotten are dropped.
constexpr size_t kNamesBeforePruning = 1024;
}  // namespace

std::chrono::milliseconds LogonThrottle::DelayFor(std::string_view name, Clock::time_point now) {
  std::lock_guard lock(mutex_);
  const auto found = failures_.find(std::string(name));
  if (found == failures_.end()) return {};
  const Failures& failures = found->second;
  if (failures.count < kFreeFailures || now - failures.last >= kMemory) return {};
  const int doublings = std::min(failures.count - kFreeFailures, 8);
  return std::min(kFirstDelay * (1 << doublings), kLongestDelay);
}

void LogonThrottle::Failed(std::string_view name, Clock::time_point now) {
  std::lock_guard lock(mutex_);
  if (failures_.size() >= kNamesBeforePruning) ForgetOld(now);
  auto [entry, added] = failures_.try_emplace(std::string(name), Failures{0, now});
  // A failure after a quiet minute starts a new run.
  if (!added && now - entry->second.last >= kMemory) entry->second.count = 0;
  ++entry->second.count;
  entry->second.last = now;
}

void LogonThrottle::Succeeded(std::string_view name) {
  std::lock_guard lock(mutex_);
  failures_.erase(std::string(name));
}

void LogonThrottle::ForgetOld(Clock::time_point now) {
  std::erase_if(failures_, [&](const auto& entry) { return now - entry.second.last >= kMemory; });
}

}  // namespace quillmere::host
