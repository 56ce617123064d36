// Instants as milliseconds since 1601-01-01 00:00 (FILETIME's epoch), and the test
// clock's reading, for the time functions.
#pragma once

#include <cstdint>

#include <winport/windows.h>

namespace winport::detail {

constexpr std::int64_t kMillisecondsPerDay = 86'400'000;
// Days from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kUnixEpochDay = 134'774;

// Days since 1601-01-01 of a proleptic Gregorian date (month 1..12).
constexpr std::int64_t DayNumber(std::int64_t year, unsigned month, unsigned day) {
  // Counting years from March puts the leap day last.
  year -= month <= 2;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const auto year_of_era = static_cast<unsigned>(year - era * 400);
  const unsigned day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  // 719468 days from 0000-03-01 to 1970-01-01.
  return era * 146'097 + static_cast<std::int64_t>(day_of_era) - 719'468 + kUnixEpochDay;
}

constexpr bool IsLeapYear(unsigned year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

constexpr unsigned DaysInMonth(unsigned year, unsigned month) {
  constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// The SYSTEMTIME of an instant at or after 1601, its day of the week filled in.
inline SYSTEMTIME SystemTimeAt(std::int64_t milliseconds) {
  const std::int64_t days = milliseconds / kMillisecondsPerDay;
  std::int64_t in_day = milliseconds % kMillisecondsPerDay;
  const std::int64_t shifted = days - kUnixEpochDay + 719'468;
  const std::int64_t era = (shifted >= 0 ? shifted : shifted - 146'096) / 146'097;
  const auto day_of_era = static_cast<unsigned>(shifted - era * 146'097);
  const unsigned year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36'524 - day_of_era / 146'096) / 365;
  const unsigned day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const unsigned month_from_march = (5 * day_of_year + 2) / 153;
  const unsigned day = day_of_year - (153 * month_from_march + 2) / 5 + 1;
  const unsigned month = month_from_march < 10 ? month_from_march + 3 : month_from_march - 9;
  const std::int64_t year = static_cast<std::int64_t>(year_of_era) + era * 400 + (month <= 2);
  SYSTEMTIME time{};
  time.wYear = static_cast<WORD>(year);
  time.wMonth = static_cast<WORD>(month);
  // 1601-01-01 was a Monday.
  time.wDayOfWeek = static_cast<WORD>((days + 1) % 7);
  time.wDay = static_cast<WORD>(day);
  time.wHour = static_cast<WORD>(in_day / 3'600'000);
  in_day %= 3'600'000;
  time.wMinute = static_cast<WORD>(in_day / 60'000);
  in_day %= 60'000;
  time.wSecond = static_cast<WORD>(in_day / 1000);
  time.wMilliseconds = static_cast<WORD>(in_day % 1000);
  return time;
}

// The date's fields are in range (the day of the week is not looked at).
inline bool IsValidDate(const SYSTEMTIME& time) {
  return time.wYear >= 1601 && time.wYear <= 30827 && time.wMonth >= 1 && time.wMonth <= 12 &&
         time.wDay >= 1 && time.wDay <= DaysInMonth(time.wYear, time.wMonth);
}
inline bool IsValidTimeOfDay(const SYSTEMTIME& time) {
  return time.wHour < 24 && time.wMinute < 60 && time.wSecond < 60 && time.wMilliseconds < 1000;
}

inline std::int64_t MillisecondsOf(const SYSTEMTIME& time) {
  return DayNumber(time.wYear, time.wMonth, time.wDay) * kMillisecondsPerDay +
         ((time.wHour * 60 + time.wMinute) * 60 + time.wSecond) * 1000LL + time.wMilliseconds;
}

// The test clock's UTC instant and local offset (milliseconds), or false while the real
// clock answers.
bool TestClockNow(std::int64_t* utc_milliseconds, std::int64_t* local_offset_milliseconds);

}  // namespace winport::detail
