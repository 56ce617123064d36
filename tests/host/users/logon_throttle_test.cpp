#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "host/users/logon_throttle.h"

namespace quillmere::host {
namespace {

using std::chrono::milliseconds;

// Attempts for one name, each failing at once: the first three go ahead, then each next one
// only once its delay has passed since the last failure, a refused one not counting; a
// quiet minute starts a new run.
TEST(LogonThrottle, AdmitsAfterFailuresOnlyOnceTheDelayHasPassed) {
  LogonThrottle throttle;
  const auto start = LogonThrottle::Clock::time_point{} + std::chrono::hours(24);
  // (milliseconds after the start, wait answered: 0 when admitted)
  const std::pair<int, long> attempts[] = {
      {0, 0},      {0, 0},     {0, 0},     {100, 150}, {250, 0},     {500, 250},
      {750, 0},    {1749, 1},  {1750, 0},  {3750, 0},  {5000, 750},  {5750, 0},
      {7000, 750}, {65750, 0}, {65750, 0}, {65750, 0}, {65751, 249},
  };
  for (const auto& [at, wait] : attempts) {
    const auto now = start + milliseconds(at);
    EXPECT_EQ(throttle.Admit("alice", "", now), milliseconds(wait)) << "at " << at << " ms";
    if (wait == 0) throttle.Failed("alice", "", now);
  }
  EXPECT_EQ(throttle.Admit("bob", "", start + milliseconds(65751)), milliseconds(0));
}

// Once a run is delayed, attempts are checked one at a time, and a success ends the run;
// an address has a run of its own, whatever the names.
TEST(LogonThrottle, OnceDelayedOneAttemptAtATimeIsChecked) {
  LogonThrottle throttle;
  const auto now = LogonThrottle::Clock::time_point{} + std::chrono::hours(24);
  for (int i = 0; i < 3; ++i) {
    throttle.Admit("alice", "10.0.0.1", now);
    throttle.Failed("alice", "10.0.0.1", now);
  }
  const auto later = now + std::chrono::seconds(1);
  EXPECT_EQ(throttle.Admit("alice", "10.0.0.2", later), milliseconds(0));
  EXPECT_EQ(throttle.Admit("alice", "10.0.0.3", later), milliseconds(250));
  throttle.Succeeded("alice", "10.0.0.2");
  EXPECT_EQ(throttle.Admit("alice", "10.0.0.3", later), milliseconds(0));
  for (int i = 0; i < 10; ++i) {
    throttle.Admit("n" + std::to_string(i), "10.0.0.9", later);
    throttle.Failed("n" + std::to_string(i), "10.0.0.9", later);
  }
  EXPECT_EQ(throttle.Admit("bob", "10.0.0.9", later), milliseconds(250));
}

}  // namespace
}  // namespace quillmere::host
