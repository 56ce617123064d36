// Slows password guessing: after three failed logons in a row for a name, every further
// attempt for it within a minute of the last failure waits, longer each time, up to 2 s.
#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace quillmere::host {

class LogonThrottle {
 public:
  using Clock = std::chrono::system_clock;

  static constexpr int kFreeFailures = 3;
  static constexpr std::chrono::seconds kMemory{60};
  static constexpr std::chrono::milliseconds kFirstDelay{250};
  static constexpr std::chrono::milliseconds kLongestDelay{2000};

  // How long an attempt for the name starting now has to wait.
  std::chrono::milliseconds DelayFor(std::string_view name, Clock::time_point now);
  void Failed(std::string_view name, Clock::time_point now);
  void Succeeded(std::string_view name);

 private:
  struct Failures {
    int count;
    Clock::time_point last;
  };
  void ForgetOld(Clock::time_point now);

  std::mutex mutex_;
  std::unordered_map<std::string, Failures> failures_;
};

}  // namespace quillmere::host
