// The local offset is looked up once per second of UTC and follows a change of the zone's
// offset at the second it happens.
#include <gtest/gtest.h>

#include <cstdint>

#include "kernel/local_offset_cache.h"

namespace {

constexpr std::int64_t kHour = 3'600'000;
// A whole second at which the zone goes from +1 h to +2 h (daylight saving time begins).
constexpr std::int64_t kChange = 13'400'000'000'000;

TEST(LocalOffsetCache, LooksUpOncePerSecondAndFollowsAChangeAtItsSecond) {
  struct Step {
    std::int64_t utc;
    std::int64_t offset;
    bool lookedUp;
  };
  const Step steps[] = {
      {kChange - 1000, kHour, true},      // the first instant looks up
      {kChange - 1, kHour, false},        // the same second
      {kChange, 2 * kHour, true},         // the second of the change
      {kChange + 999, 2 * kHour, false},  // its last millisecond
      {kChange + 1000, 2 * kHour, true},  // every new second looks again
      {kChange - 1, kHour, true},         // a clock set back too
      {-1, 0, true},                      // before the epoch: the second below it
      {-1000, 0, false},                  // that second's first millisecond
      {0, kHour, true},                   // the epoch's own second
  };
  winport::detail::LocalOffsetCache cache;
  for (const Step& step : steps) {
    int lookups = 0;
    const auto zone = [&lookups](std::int64_t utc) {
      ++lookups;
      return utc < 0 ? 0 : utc < kChange ? kHour : 2 * kHour;
    };
    EXPECT_EQ(cache.At(step.utc, zone), step.offset) << step.utc;
    EXPECT_EQ(lookups, step.lookedUp ? 1 : 0) << step.utc;
  }
}

}  // namespace
