#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include <winport/windows.h>

#include "platform_skips.h"
#include "wide_matchers.h"

namespace {

using testing_support::Narrow;

const LCID kEnglishUs = MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT);

// A SYSTEMTIME whose day of the week is left 0: the formatters work it out themselves.
SYSTEMTIME At(WORD year, WORD month, WORD day, WORD hour = 0, WORD minute = 0, WORD second = 0,
              WORD milliseconds = 0) {
  SYSTEMTIME time{};
  time.wYear = year;
  time.wMonth = month;
  time.wDay = day;
  time.wHour = hour;
  time.wMinute = minute;
  time.wSecond = second;
  time.wMilliseconds = milliseconds;
  return time;
}

std::string DateText(const SYSTEMTIME* date, const OLECHAR* picture) {
  OLECHAR out[128] = {};
  EXPECT_GT(GetDateFormatW(kEnglishUs, 0, date, picture, out, 128), 0) << GetLastError();
  return Narrow(out);
}

std::string TimeText(const SYSTEMTIME* time, const OLECHAR* picture) {
  OLECHAR out[128] = {};
  EXPECT_GT(GetTimeFormatW(kEnglishUs, 0, time, picture, out, 128), 0) << GetLastError();
  return Narrow(out);
}

TEST(DateFormat, FormatsPictures) {
  const SYSTEMTIME thursday = At(2026, 3, 5);
  const struct {
    const SYSTEMTIME* date;
    const OLECHAR* picture;
    const char* expected;
  } cases[] = {
      {&thursday, OLESTR("yyyy'-'MM'-'dd"), "2026-03-05"},
      {&thursday, OLESTR("dddd, MMMM d"), "Thursday, March 5"},
      // Quoted text is copied as it stands, picture letters included.
      {&thursday, OLESTR("d 'day''s' yyyy"), "5 day's 2026"},
      {&thursday, nullptr, "3/5/2026"},  // the locale's short date
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DateText(c.date, c.picture), c.expected) << Narrow(c.picture);
  }
}

TEST(TimeFormat, FormatsPictures) {
  const SYSTEMTIME morning = At(2026, 3, 5, 9, 5, 7);
  const SYSTEMTIME evening = At(2026, 3, 5, 21, 45, 0);
  const SYSTEMTIME after_midnight = At(2026, 3, 5, 0, 30, 0);
  const struct {
    const SYSTEMTIME* time;
    const OLECHAR* picture;
    const char* expected;
  } cases[] = {
      {&morning, OLESTR("HH':'mm':'ss"), "09:05:07"},
      // The 12-hour clock has no hour 0: midnight is 12.
      {&after_midnight, OLESTR("h:mm tt"), "12:30 AM"},
      {&after_midnight, OLESTR("HH'h'mm"), "00h30"},
      {&evening, nullptr, "9:45:00 PM"},  // the locale's format
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TimeText(c.time, c.picture), c.expected) << Narrow(c.picture);
  }
}

// The count includes the terminator, both when measuring and when writing; a buffer one
// short is refused.
TEST(DateFormat, MeasuresAndRefusesShortBuffers) {
  const SYSTEMTIME date = At(2026, 3, 5, 21, 45, 0);
  OLECHAR out[11];
  EXPECT_EQ(GetDateFormatW(kEnglishUs, 0, &date, OLESTR("yyyy-MM-dd"), nullptr, 0), 11);
  EXPECT_EQ(GetDateFormatW(kEnglishUs, 0, &date, OLESTR("yyyy-MM-dd"), out, 11), 11);
  EXPECT_EQ(GetTimeFormatW(kEnglishUs, 0, &date, nullptr, nullptr, 0), 11);
  EXPECT_EQ(GetTimeFormatW(kEnglishUs, 0, &date, nullptr, out, 11), 11);
  SetLastError(0);
  EXPECT_EQ(GetDateFormatW(kEnglishUs, 0, &date, OLESTR("yyyy-MM-dd"), out, 10), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  SetLastError(0);
  EXPECT_EQ(GetTimeFormatW(kEnglishUs, 0, &date, nullptr, out, 10), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

// The test clock: "now" for the system time, the local time and the formatters.

std::string Now(const OLECHAR* date_picture, const OLECHAR* time_picture) {
  return DateText(nullptr, date_picture) + " " + TimeText(nullptr, time_picture);
}

TEST(TestClock, FixesTheSystemTimeUntilReset) {
  SKIP_UNLESS_TEST_CLOCK_REACHES_PLATFORM();
  winport::test_clock::Set(At(2026, 3, 5, 9, 5, 7, 250));
  SYSTEMTIME now;
  GetSystemTime(&now);
  EXPECT_EQ(now.wDayOfWeek, 4);  // Thursday
  EXPECT_EQ(now.wMilliseconds, 250);
  EXPECT_EQ(Now(nullptr, nullptr), "3/5/2026 9:05:07 AM");

  winport::test_clock::Reset();
  GetSystemTime(&now);
  EXPECT_NE(now.wYear * 10000 + now.wMonth * 100 + now.wDay, 20260305);
}

TEST(TestClock, AdvancesAcrossDaysMonthsYearsAndLeapDays) {
  SKIP_UNLESS_TEST_CLOCK_REACHES_PLATFORM();
  constexpr std::int64_t kDay = 86'400'000;
  const struct {
    SYSTEMTIME start;
    std::int64_t advance;
    const char* expected;
  } cases[] = {
      {At(2026, 12, 31, 23, 59, 59, 999), 1, "2027-01-01 Friday 00:00:00"},
      {At(2000, 2, 28, 12), kDay, "2000-02-29 Tuesday 12:00:00"},  // divisible by 400: leap
      {At(2100, 2, 28, 12), kDay, "2100-03-01 Monday 12:00:00"},   // by 100 only: not
      {At(2026, 3, 1), -1, "2026-02-28 Saturday 23:59:59"},
  };
  for (const auto& c : cases) {
    winport::test_clock::Set(c.start);
    winport::test_clock::Advance(c.advance);
    EXPECT_EQ(Now(OLESTR("yyyy-MM-dd dddd"), OLESTR("HH:mm:ss")), c.expected);
  }
}

TEST(TestClock, LocalTimeIsUtcPlusTheGivenOffset) {
  SKIP_UNLESS_TEST_CLOCK_REACHES_PLATFORM();
  winport::test_clock::Set(At(2026, 3, 5, 23, 30), 120);
  SYSTEMTIME utc, local;
  GetSystemTime(&utc);
  GetLocalTime(&local);
  EXPECT_EQ(utc.wDay, 5);
  EXPECT_EQ(local.wDay, 6);
  EXPECT_EQ(local.wHour, 1);
  // Formatting "now" is local time.
  EXPECT_EQ(Now(OLESTR("M/d"), OLESTR("H:mm")), "3/6 1:30");
}

}  // namespace
