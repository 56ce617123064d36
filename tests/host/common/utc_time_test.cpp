// Times between OLE dates at the COM boundary and UTC text: known instants both ways.
#include "host/common/utc_time.h"

#include <gtest/gtest.h>

#include <chrono>

namespace quillmere::host {
namespace {

using std::chrono::seconds;
using Time = std::chrono::system_clock::time_point;

struct Instant {
  const char* name;
  Time time;
  DATE date;
  const char* text;
  const char* day;
};

class UtcTime : public testing::TestWithParam<Instant> {};

TEST_P(UtcTime, SameInstantInEachForm) {
  const Instant& instant = GetParam();
  EXPECT_DOUBLE_EQ(ToOleDate(instant.time), instant.date);
  EXPECT_EQ(FromOleDate(instant.date), instant.time);
  EXPECT_EQ(UtcText(instant.time), instant.text);
  EXPECT_EQ(UtcDate(instant.time), instant.day);
  EXPECT_DOUBLE_EQ(WholeSecondOf(instant.date), instant.date);
}

INSTANTIATE_TEST_SUITE_P(
    Instants, UtcTime,
    testing::Values(
        Instant{"UnixEpoch", Time(seconds(0)), 25569.0, "1970-01-01T00:00:00Z", "19700101"},
        Instant{"Noon", Time(seconds(43200)), 25569.5, "1970-01-01T12:00:00Z", "19700101"},
        Instant{"LeapDay", Time(seconds(951782400)), 36585.0, "2000-02-29T00:00:00Z", "20000229"},
        Instant{"BeforeTheEpoch", Time(seconds(-86400)), 25568.0, "1969-12-31T00:00:00Z",
                "19691231"}),
    [](const testing::TestParamInfo<Instant>& info) { return info.param.name; });

// Text and WMI rows show a time to the second, cut short rather than rounded.
TEST(UtcTimeSeconds, CutShortToTheWholeSecond) {
  const Time late = Time(seconds(43200)) + std::chrono::milliseconds(999);
  EXPECT_EQ(UtcText(late), "1970-01-01T12:00:00Z");
  EXPECT_DOUBLE_EQ(WholeSecondOf(ToOleDate(late)), 25569.5);
  EXPECT_EQ(FromOleDate(ToOleDate(late)), Time(seconds(43201)));  // nearest second
}

}  // namespace
}  // namespace quillmere::host
