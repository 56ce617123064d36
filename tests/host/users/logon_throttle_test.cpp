#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "host/logon_throttle.h"

namespace quillmere::host {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

TEST(LogonThrottle, DelaysGrowAfterThreeFailuresUpToTwoSeconds) {
  LogonThrottle throttle;
  const auto start = LogonThrottle::Clock::time_point{} + std::chrono::hours(24);
  std::vector<milliseconds> delays;
  for (int attempt = 0; attempt < 8; ++attempt) {
    const auto now = start + seconds(attempt);
    delays.push_back(throttle.DelayFor("alice", now));
    throttle.Failed("alice", now);
  }
  const std::vector<milliseconds> expected{
      milliseconds(0),   milliseconds(0),    milliseconds(0),    milliseconds(250),
      milliseconds(500), milliseconds(1000), milliseconds(2000), milliseconds(2000)};
  EXPECT_EQ(delays, expected);
  // Other names are not slowed by alice's failures.
  EXPECT_EQ(throttle.DelayFor("bob", start + seconds(8)), milliseconds(0));
}

struct ForgettingCase {
  const char* name;
  seconds quiet;
  bool succeeded;
  milliseconds expected;
};

class LogonThrottleForgets : public testing::TestWithParam<ForgettingCase> {};

TEST_P(LogonThrottleForgets, AfterAQuietMinuteOrASuccess) {
  const ForgettingCase& c = GetParam();
  LogonThrottle throttle;
  const auto start = LogonThrottle::Clock::time_point{} + std::chrono::hours(24);
  for (int failure = 0; failure < 4; ++failure)
    throttle.Failed("alice", start);
  if (c.succeeded) throttle.Succeeded("alice");
  EXPECT_EQ(throttle.DelayFor("alice", start + c.quiet), c.expected);
  // One further failure after the pause: a new run when the old one was forgotten.
  throttle.Failed("alice", start + c.quiet);
  EXPECT_EQ(throttle.DelayFor("alice", start + c.quiet) > milliseconds(0),
            c.expected > milliseconds(0));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LogonThrottleForgets,
    testing::Values(ForgettingCase{"within_the_minute", seconds(59), false, milliseconds(500)},
                    ForgettingCase{"after_the_minute", seconds(60), false, milliseconds(0)},
                    ForgettingCase{"after_a_success", seconds(1), true, milliseconds(0)}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quillmere::host
