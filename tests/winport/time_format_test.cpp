#include <gtest/gtest.h>
#include <time.h>

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>

#include <winport/windows.h>

#include "platform_skips.h"
#include "wide_matchers.h"

namespace {

using testing_support::Narrow;

const LCID kEnglishUs = MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT);

// A SYSTEMTIME; the day of the week is given only where a test reads it.
SYSTEMTIME At(WORD year, WORD month, WORD day, WORD hour = 0, WORD minute = 0, WORD second = 0,
              WORD milliseconds = 0, WORD day_of_week = 0) {
  SYSTEMTIME time{};
  time.wYear = year;
  time.wMonth = month;
  time.wDayOfWeek = day_of_week;
  time.wDay = day;
  time.wHour = hour;
  time.wMinute = minute;
  time.wSecond = second;
  time.wMilliseconds = milliseconds;
  return time;
}

std::string DateText(const SYSTEMTIME* date, const OLECHAR* picture, DWORD flags = 0) {
  OLECHAR out[128] = {};
  const int written = GetDateFormatW(kEnglishUs, flags, date, picture, out, 128);
  EXPECT_GT(written, 0) << "last error " << GetLastError();
  return Narrow(out);
}

std::string TimeText(const SYSTEMTIME* time, const OLECHAR* picture) {
  OLECHAR out[128] = {};
  const int written = GetTimeFormatW(kEnglishUs, 0, time, picture, out, 128);
  EXPECT_GT(written, 0) << "last error " << GetLastError();
  return Narrow(out);
}

TEST(SystemTimeTest, HasWindowsLayout) {
  static_assert(sizeof(SYSTEMTIME) == 16);
  EXPECT_EQ(offsetof(SYSTEMTIME, wDayOfWeek), 4u);
  EXPECT_EQ(offsetof(SYSTEMTIME, wDay), 6u);
  EXPECT_EQ(offsetof(SYSTEMTIME, wMilliseconds), 14u);
}

TEST(DateFormatTest, FormatsPictures) {
  const SYSTEMTIME thursday = At(2026, 3, 5, 0, 0, 0, 0, 4);
  const SYSTEMTIME christmas = At(2026, 12, 25, 0, 0, 0, 0, 5);
  const struct {
    const SYSTEMTIME* date;
    const OLECHAR* picture;
    const char* expected;
  } cases[] = {
      {&thursday, OLESTR("yyyy-MM-dd"), "2026-03-05"},
      {&thursday, OLESTR("M/d/yy"), "3/5/26"},
      {&thursday, OLESTR("dd.MM.yyyy"), "05.03.2026"},
      {&christmas, OLESTR("M/d"), "12/25"},
      {&christmas, OLESTR("MM/dd"), "12/25"},
      {&thursday, OLESTR("dddd, MMMM d"), "Thursday, March 5"},
      {&thursday, OLESTR("ddd MMM"), "Thu Mar"},
      {&christmas, OLESTR("dddd MMMM"), "Friday December"},
      // Quoted text is copied as it stands, picture letters included.
      {&thursday, OLESTR("'Day' d"), "Day 5"},
      {&thursday, OLESTR("yyyy'-'MM"), "2026-03"},
      {&thursday, OLESTR("d 'o''clock'"), "5 o'clock"},
      {&thursday, OLESTR(""), ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DateText(c.date, c.picture), c.expected) << Narrow(c.picture);
  }
}

TEST(DateFormatTest, OneYearLetterIsTheLastDigit) {
  SKIP_ON_WINE("\"y\" writes the last two digits of the year");
  const SYSTEMTIME date = At(2026, 3, 5);
  EXPECT_EQ(DateText(&date, OLESTR("y")), "6");
}

TEST(DateFormatTest, TwoQuotesAreAQuoteOutsideQuotedTextToo) {
  SKIP_ON_WINE("'' outside quoted text is an empty quoted text, not a quote");
  const SYSTEMTIME date = At(2026, 3, 5);
  EXPECT_EQ(DateText(&date, OLESTR("''d''")), "'5'");
}

TEST(DateFormatTest, CorrectsAWrongDayOfTheWeek) {
  const SYSTEMTIME claims_sunday = At(2026, 3, 5, 0, 0, 0, 0, 0);
  EXPECT_EQ(DateText(&claims_sunday, OLESTR("dddd")), "Thursday");
}

TEST(DateFormatTest, DefaultsToTheLocalesFormats) {
  const SYSTEMTIME thursday = At(2026, 3, 5, 0, 0, 0, 0, 4);
  EXPECT_EQ(DateText(&thursday, nullptr), "3/5/2026");
  EXPECT_EQ(DateText(&thursday, nullptr, DATE_SHORTDATE), "3/5/2026");
  EXPECT_EQ(DateText(&thursday, nullptr, DATE_LONGDATE), "Thursday, March 5, 2026");
}

TEST(TimeFormatTest, FormatsPictures) {
  const SYSTEMTIME morning = At(2026, 3, 5, 9, 5, 7);
  const SYSTEMTIME evening = At(2026, 3, 5, 21, 45, 0);
  const SYSTEMTIME after_midnight = At(2026, 3, 5, 0, 30, 0);
  const SYSTEMTIME noon = At(2026, 3, 5, 12, 0, 0);
  const struct {
    const SYSTEMTIME* time;
    const OLECHAR* picture;
    const char* expected;
  } cases[] = {
      {&morning, OLESTR("HH:mm:ss"), "09:05:07"},
      {&morning, OLESTR("H:m:s"), "9:5:7"},
      {&morning, OLESTR("hh:mm tt"), "09:05 AM"},
      {&morning, OLESTR("h t"), "9 A"},
      {&evening, OLESTR("h:mm tt"), "9:45 PM"},
      {&evening, OLESTR("HH hh t"), "21 09 P"},
      // The 12-hour clock has no hour 0: midnight and noon are 12.
      {&after_midnight, OLESTR("h:mm tt"), "12:30 AM"},
      {&after_midnight, OLESTR("H:mm"), "0:30"},
      {&noon, OLESTR("h tt"), "12 PM"},
      {&morning, OLESTR("HH'h'mm"), "09h05"},
      {&morning, OLESTR("'at' h"), "at 9"},
      {&morning, OLESTR("h 'o''clock'"), "9 o'clock"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TimeText(c.time, c.picture), c.expected) << Narrow(c.picture);
  }
}

TEST(TimeFormatTest, DefaultsToTheLocalesFormat) {
  const SYSTEMTIME morning = At(2026, 3, 5, 9, 5, 7);
  const SYSTEMTIME evening = At(2026, 3, 5, 21, 45, 0);
  EXPECT_EQ(TimeText(&morning, nullptr), "9:05:07 AM");
  EXPECT_EQ(TimeText(&evening, nullptr), "9:45:00 PM");
}

TEST(DateFormatTest, MeasuresAndRefusesShortBuffers) {
  const SYSTEMTIME date = At(2026, 3, 5);
  // The count includes the terminator, both when measuring and when writing.
  EXPECT_EQ(GetDateFormatW(kEnglishUs, 0, &date, OLESTR("yyyy-MM-dd"), nullptr, 0), 11);
  OLECHAR exact[11];
  EXPECT_EQ(GetDateFormatW(kEnglishUs, 0, &date, OLESTR("yyyy-MM-dd"), exact, 11), 11);
  EXPECT_EQ(Narrow(exact), "2026-03-05");

  OLECHAR shorter[10];
  SetLastError(0);
  EXPECT_EQ(GetDateFormatW(kEnglishUs, 0, &date, OLESTR("yyyy-MM-dd"), shorter, 10), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(TimeFormatTest, MeasuresAndRefusesShortBuffers) {
  const SYSTEMTIME time = At(2026, 3, 5, 21, 45, 0);
  EXPECT_EQ(GetTimeFormatW(kEnglishUs, 0, &time, nullptr, nullptr, 0), 11);  // "9:45:00 PM"
  OLECHAR exact[11];
  EXPECT_EQ(GetTimeFormatW(kEnglishUs, 0, &time, nullptr, exact, 11), 11);
  EXPECT_EQ(Narrow(exact), "9:45:00 PM");

  OLECHAR shorter[10];
  SetLastError(0);
  EXPECT_EQ(GetTimeFormatW(kEnglishUs, 0, &time, nullptr, shorter, 10), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

void ExpectRefusedDate(const SYSTEMTIME& date) {
  OLECHAR out[32];
  SetLastError(0);
  EXPECT_EQ(GetDateFormatW(kEnglishUs, 0, &date, OLESTR("yyyy-MM-dd"), out, 32), 0)
      << date.wYear << "-" << date.wMonth << "-" << date.wDay;
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(DateFormatTest, RefusesInvalidDates) {
  const SYSTEMTIME invalid[] = {
      At(2026, 13, 1), At(2026, 0, 1), At(2026, 3, 0), At(2026, 3, 32), At(2026, 4, 31),
  };
  for (const SYSTEMTIME& date : invalid)
    ExpectRefusedDate(date);
}

TEST(DateFormatTest, KnowsLeapYears) {
  SKIP_ON_WINE("February 29 is taken in any year");
  ExpectRefusedDate(At(2025, 2, 29));
  ExpectRefusedDate(At(2100, 2, 29));  // centuries leap only by 400
  const SYSTEMTIME leap_days[] = {At(2024, 2, 29), At(2000, 2, 29)};
  for (const SYSTEMTIME& date : leap_days) {
    EXPECT_EQ(DateText(&date, OLESTR("MM-dd")), "02-29") << date.wYear;
  }
}

TEST(TimeFormatTest, RefusesInvalidTimesOfDay) {
  const SYSTEMTIME invalid[] = {At(2026, 3, 5, 24, 0, 0), At(2026, 3, 5, 12, 60, 0),
                                At(2026, 3, 5, 12, 0, 60)};
  for (const SYSTEMTIME& time : invalid) {
    OLECHAR out[32];
    SetLastError(0);
    EXPECT_EQ(GetTimeFormatW(kEnglishUs, 0, &time, OLESTR("HH:mm:ss"), out, 32), 0)
        << time.wHour << ":" << time.wMinute << ":" << time.wSecond;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  }
}

TEST(DateFormatTest, APictureTakesNoFlags) {
  const SYSTEMTIME date = At(2026, 3, 5);
  OLECHAR out[32];
  SetLastError(0);
  EXPECT_EQ(GetDateFormatW(kEnglishUs, DATE_SHORTDATE, &date, OLESTR("yyyy"), out, 32), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
}

bool HasShape(const char* text, const char* shape) {
  for (; *shape != '\0'; ++text, ++shape) {
    if (*shape == '9' ? !std::isdigit(static_cast<unsigned char>(*text)) : *text != *shape)
      return false;
  }
  return *text == '\0';
}

TEST(RuntimeClockTest, WritesDateAndTimeInTheirFixedForms) {
  char date[9] = {};
  char time[9] = {};
  EXPECT_EQ(_strdate(date), date);
  EXPECT_EQ(_strtime(time), time);
  EXPECT_TRUE(HasShape(date, "99/99/99")) << date;
  EXPECT_TRUE(HasShape(time, "99:99:99")) << time;
}

// The test clock.

std::string Now(const OLECHAR* date_picture, const OLECHAR* time_picture) {
  return DateText(nullptr, date_picture) + " " + TimeText(nullptr, time_picture);
}

TEST(TestClockTest, FixesTheSystemTime) {
  SKIP_UNLESS_TEST_CLOCK_REACHES_PLATFORM();
  winport::test_clock::Set(At(2026, 3, 5, 9, 5, 7, 250));
  SYSTEMTIME now;
  GetSystemTime(&now);
  EXPECT_EQ(now.wYear, 2026);
  EXPECT_EQ(now.wMonth, 3);
  EXPECT_EQ(now.wDay, 5);
  EXPECT_EQ(now.wDayOfWeek, 4);  // Thursday
  EXPECT_EQ(now.wHour, 9);
  EXPECT_EQ(now.wMinute, 5);
  EXPECT_EQ(now.wSecond, 7);
  EXPECT_EQ(now.wMilliseconds, 250);
  EXPECT_EQ(Now(nullptr, nullptr), "3/5/2026 9:05:07 AM");

  winport::test_clock::Reset();
  GetSystemTime(&now);
  EXPECT_NE(now.wYear * 10000 + now.wMonth * 100 + now.wDay, 20260305);
}

TEST(TestClockTest, TheDateRollsOverAtMidnight) {
  SKIP_UNLESS_TEST_CLOCK_REACHES_PLATFORM();
  winport::test_clock::Set(At(2026, 12, 31, 23, 59, 59, 999));
  char date[9], time[9];
  EXPECT_EQ(Now(OLESTR("yyyy-MM-dd"), OLESTR("HH:mm:ss")), "2026-12-31 23:59:59");
  EXPECT_EQ(std::string(_strdate(date)) + " " + _strtime(time), "12/31/26 23:59:59");

  winport::test_clock::Advance(1);
  EXPECT_EQ(Now(OLESTR("yyyy-MM-dd dddd"), nullptr), "2027-01-01 Friday 12:00:00 AM");
  EXPECT_EQ(std::string(_strdate(date)) + " " + _strtime(time), "01/01/27 00:00:00");
  SYSTEMTIME now;
  GetSystemTime(&now);
  EXPECT_EQ(now.wMilliseconds, 0);
  EXPECT_EQ(now.wDayOfWeek, 5);
}

TEST(TestClockTest, CrossesMonthsAndLeapDays) {
  SKIP_UNLESS_TEST_CLOCK_REACHES_PLATFORM();
  constexpr std::int64_t kDay = 86'400'000;
  const struct {
    SYSTEMTIME start;
    std::int64_t advance;
    const char* expected;
  } cases[] = {
      {At(2024, 2, 28, 12), kDay, "2024-02-29 Thursday"},
      {At(2025, 2, 28, 12), kDay, "2025-03-01 Saturday"},
      {At(2000, 2, 28, 12), kDay, "2000-02-29 Tuesday"},  // divisible by 400: leap
      {At(2100, 2, 28, 12), kDay, "2100-03-01 Monday"},   // by 100 only: not
      {At(2026, 4, 30, 23, 59, 59, 500), 500, "2026-05-01 Friday"},
      {At(2026, 3, 1, 0), -1, "2026-02-28 Saturday"},
      {At(1601, 1, 1, 0), 0, "1601-01-01 Monday"},
  };
  for (const auto& c : cases) {
    winport::test_clock::Set(c.start);
    winport::test_clock::Advance(c.advance);
    EXPECT_EQ(DateText(nullptr, OLESTR("yyyy-MM-dd dddd")), c.expected);
  }
}

TEST(TestClockTest, LocalTimeIsUtcPlusTheGivenOffset) {
  SKIP_UNLESS_TEST_CLOCK_REACHES_PLATFORM();
  winport::test_clock::Set(At(2026, 3, 5, 23, 30), 120);
  SYSTEMTIME utc, local;
  GetSystemTime(&utc);
  GetLocalTime(&local);
  EXPECT_EQ(utc.wDay, 5);
  EXPECT_EQ(local.wDay, 6);
  EXPECT_EQ(local.wHour, 1);
  EXPECT_EQ(local.wMinute, 30);
  // Formatting "now" is local time.
  EXPECT_EQ(Now(OLESTR("M/d"), OLESTR("H:mm")), "3/6 1:30");
}

}  // namespace
