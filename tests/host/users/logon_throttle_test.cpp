#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "host/users/logon_throttle.h"

namespace quillmere::host {
namespace {

using std::chrono::milliseconds;

TEST(LogonThrottle, DelaysGrowAfterThreeFailuresUpToTwoSecondsForAMinute) {
  LogonThrottle throttle;
  const auto start = LogonThrottle::Clock::time_point{} + std::chrono::hours(24);
  std::vector<long> delays;
  for (int attempt = 0; attempt < 8; ++attempt) {
    const auto now = start + std::chrono::seconds(attempt);
    delays.push_back(throttle.DelayFor("alice", now).count());
    throttle.Failed("alice", now);
  }
  EXPECT_EQ(delays, (std::vector<long>{0, 0, 0, 250, 500, 1000, 2000, 2000}));
  const auto last = start + std::chrono::seconds(7);
  EXPECT_EQ(throttle.DelayFor("bob", last), milliseconds(0));
  EXPECT_EQ(throttle.DelayFor("alice", last + std::chrono::seconds(59)), milliseconds(2000));
  EXPECT_EQ(throttle.DelayFor("alice", last + std::chrono::seconds(60)), milliseconds(0));
  // A failure after the quiet minute starts a new run.
  throttle.Failed("alice", last + std::chrono::seconds(60));
  EXPECT_EQ(throttle.DelayFor("alice", last + std::chrono::seconds(60)), milliseconds(0));
}

}  // namespace
}  // namespace quillmere::host
