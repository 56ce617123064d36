#include <gtest/gtest.h>

#include <string>

#include <winport/windows.h>

#include "platform_skips.h"
#include "wide_matchers.h"

namespace {

using testing_support::Narrow;

const LCID kEnglishUs = MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT);

SYSTEMTIME At(WORD year, WORD month, WORD day, WORD hour = 0, WORD minute = 0, WORD second = 0) {
  SYSTEMTIME time{};
  time.wYear = year;
  time.wMonth = month;
  time.wDay = day;
  time.wHour = hour;
  time.wMinute = minute;
  time.wSecond = second;
  return time;
}

// The pictures the module stamps its reports with, and quoted text as they quote it.
TEST(DateTimeFormat, FormatsPictures) {
  const SYSTEMTIME morning = At(2026, 3, 5, 9, 5, 7);
  const SYSTEMTIME after_midnight = At(2026, 12, 25, 0, 30, 0);
  const struct {
    const SYSTEMTIME* time;
    bool date;
    const OLECHAR* picture;
    const char* expected;
  } cases[] = {
      {&morning, true, OLESTR("yyyy'-'MM'-'dd"), "2026-03-05"},
      {&morning, true, OLESTR("d 'day''s' yyyy"), "5 day's 2026"},
      {&morning, false, OLESTR("HH':'mm':'ss"), "09:05:07"},
      {&after_midnight, false, OLESTR("HH':'mm':'ss"), "00:30:00"},
  };
  for (const auto& c : cases) {
    OLECHAR out[128] = {};
    const int length = c.date ? GetDateFormatW(kEnglishUs, 0, c.time, c.picture, out, 128)
                              : GetTimeFormatW(kEnglishUs, 0, c.time, c.picture, out, 128);
    EXPECT_GT(length, 0) << GetLastError();
    EXPECT_EQ(Narrow(out), c.expected) << Narrow(c.picture);
  }
}

// The count includes the terminator; a buffer one short is refused.
TEST(DateTimeFormat, RefusesShortBuffers) {
  const SYSTEMTIME date = At(2026, 3, 5, 21, 45, 0);
  OLECHAR out[11];
  EXPECT_EQ(GetDateFormatW(kEnglishUs, 0, &date, OLESTR("yyyy-MM-dd"), out, 11), 11);
  SetLastError(0);
  EXPECT_EQ(GetDateFormatW(kEnglishUs, 0, &date, OLESTR("yyyy-MM-dd"), out, 10), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(GetTimeFormatW(kEnglishUs, 0, &date, OLESTR("HH:mm:ss"), out, 9), 9);
  SetLastError(0);
  EXPECT_EQ(GetTimeFormatW(kEnglishUs, 0, &date, OLESTR("HH:mm:ss"), out, 8), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

// The test clock fixes "now" until reset; the module's time stamps are tested on it.
TEST(TestClock, FixesTheSystemTimeUntilReset) {
  SKIP_UNLESS_TEST_CLOCK_REACHES_PLATFORM();
  SYSTEMTIME fixed = At(2026, 3, 5, 9, 5, 7);
  fixed.wMilliseconds = 250;
  winport::test_clock::Set(fixed);
  SYSTEMTIME now;
  GetSystemTime(&now);
  EXPECT_EQ(now.wDayOfWeek, 4);  // Thursday, worked out
  EXPECT_EQ(now.wMilliseconds, 250);
  winport::test_clock::Reset();
  GetSystemTime(&now);
  EXPECT_NE(now.wYear * 10000 + now.wMonth * 100 + now.wDay, 20260305);
}

}  // namespace
