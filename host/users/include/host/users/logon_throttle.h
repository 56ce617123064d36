// Slows password guessing at the guesser's cost, never by holding a thread: after a run of
// failed logons for a user name (3) or from a client address (10), further attempts are
// refused at once until a delay has passed since the last failure, longer after each,
// up to 2 s; a quiet minute forgets the run. Once a run has begun to be delayed, one
// attempt at a time is checked, so attempts arriving together as the delay ends cannot
// all go ahead.
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

  static constexpr int kFreeFailuresPerName = 3;
  static constexpr int kFreeFailuresPerAddress = 10;
  static constexpr std::chrono::seconds kMemory{60};
  static constexpr std::chrono::milliseconds kFirstDelay{250};
  static constexpr std::chrono::milliseconds kLongestDelay{2000};

  // Zero when an attempt for the name from the address may go ahead now; otherwise how
  // long until the next one may. An empty address is not counted. Each attempt admitted
  // is ended by Failed or Succeeded.
  std::chrono::milliseconds Admit(std::string_view name, std::string_view address,
                                  Clock::time_point now);
  // The admitted attempt's outcome.
  void Failed(std::string_view name, std::string_view address, Clock::time_point now);
  void Succeeded(std::string_view name, std::string_view address);
  // The attempt was not checked after all; it counts neither way.
  void NotChecked(std::string_view name, std::string_view address);

 private:
  struct Run {
    int count = 0;     // failures
    int checking = 0;  // attempts admitted and not yet ended
    Clock::time_point last;
  };
  // The runs of one kind of key.
  struct Runs {
    int freeFailures;
    std::unordered_map<std::string, Run> byKey;

    std::chrono::milliseconds Wait(std::string_view key, Clock::time_point now) const;
    void Begin(std::string_view key, Clock::time_point now);
    void End(std::string_view key, bool failed, Clock::time_point now);
  };

  std::mutex mutex_;
  Runs names_{kFreeFailuresPerName, {}};
  Runs addresses_{kFreeFailuresPerAddress, {}};
};

}  // namespace quillmere::host
