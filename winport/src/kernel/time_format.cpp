// The clock and the English (United States) texts of dates and times.
#include <winport/message.h>
#include <winport/time.h>

#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "clock.h"
#include "kernel/local_offset_cache.h"

namespace {

using winport::detail::kMillisecondsPerDay;
using winport::detail::kUnixEpochDay;

constexpr const char* kDayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                     "Thursday", "Friday", "Saturday"};
constexpr const char* kMonthNames[] = {"January",   "February", "March",    "April",
                                       "May",       "June",     "July",     "August",
                                       "September", "October",  "November", "December"};

constexpr LCID kEnglishUnitedStates = 0x0409;

std::int64_t RealUtcMilliseconds() {
  const auto since_unix = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::system_clock::now().time_since_epoch());
  return since_unix.count() + kUnixEpochDay * kMillisecondsPerDay;
}

// The local zone's offset at a UTC instant, from the C library's rules for TZ.
std::int64_t RealLocalOffset(std::int64_t utc) {
  const time_t seconds = static_cast<time_t>(utc / 1000 - kUnixEpochDay * 86'400);
  struct tm local {};
  if (::localtime_r(&seconds, &local) == nullptr) return 0;
  return static_cast<std::int64_t>(local.tm_gmtoff) * 1000;
}

std::int64_t UtcNow() {
  std::int64_t utc, offset;
  if (winport::detail::TestClockNow(&utc, &offset)) return utc;
  return RealUtcMilliseconds();
}

// Per thread: a thread reading the time often converts once a second, without a lock.
thread_local winport::detail::LocalOffsetCache t_local_offset;

std::int64_t LocalNow() {
  std::int64_t utc, offset;
  if (winport::detail::TestClockNow(&utc, &offset)) return utc + offset;
  utc = RealUtcMilliseconds();
  return utc + t_local_offset.At(utc, RealLocalOffset);
}

// The locales that mean English (United States) here: the defaults follow it too.
bool IsKnownLocale(LCID locale) {
  switch (locale) {
    case LOCALE_NEUTRAL:
    case LOCALE_INVARIANT:
    case LOCALE_USER_DEFAULT:
    case LOCALE_SYSTEM_DEFAULT:
    case kEnglishUnitedStates:
      return true;
    default:
      return false;
  }
}

void AppendNumber(std::u16string& out, unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*u", digits, value);
  for (const char* c = text; *c != '\0'; ++c)
    out += static_cast<char16_t>(*c);
}

void AppendAscii(std::u16string& out, const char* text) {
  for (; *text != '\0'; ++text)
    out += static_cast<char16_t>(*text);
}

// The picture letters of dates ("dMyg") or of times ("hHmst"); everything else, and
// text between single quotes, is copied. '' is a quote, inside or outside quotes.
enum class Pictures { kDate, kTime };

std::u16string Format(const SYSTEMTIME& time, const char16_t* picture, Pictures kind) {
  std::u16string out;
  const char16_t* p = picture;
  while (*p != u'\0') {
    const char16_t c = *p;
    if (c == u'\'' && p[1] == u'\'') {
      out += c;
      p += 2;
      continue;
    }
    if (c == u'\'') {
      ++p;
      while (*p != u'\0') {
        if (*p == u'\'') {
          if (p[1] != u'\'') {
            ++p;
            break;
          }
          ++p;  // '' inside quotes: one quote
        }
        out += *p++;
      }
      continue;
    }
    const bool date_letter = c == u'd' || c == u'M' || c == u'y' || c == u'g';
    const bool time_letter = c == u'h' || c == u'H' || c == u'm' || c == u's' || c == u't';
    if (!(kind == Pictures::kDate ? date_letter : time_letter)) {
      out += c;
      ++p;
      continue;
    }
    int count = 0;
    while (*p == c) {
      ++count;
      ++p;
    }
    const int padded = count >= 2 ? 2 : 1;
    const unsigned hour12 = time.wHour % 12 == 0 ? 12 : time.wHour % 12;
    switch (c) {
      case u'd':
        if (count <= 2) {
          AppendNumber(out, time.wDay, padded);
        } else {
          const char* name = kDayNames[time.wDayOfWeek];
          if (count == 3) {
            for (int i = 0; i < 3; ++i)
              out += static_cast<char16_t>(name[i]);
          } else {
            AppendAscii(out, name);
          }
        }
        break;
      case u'M':
        if (count <= 2) {
          AppendNumber(out, time.wMonth, padded);
        } else {
          const char* name = kMonthNames[time.wMonth - 1];
          if (count == 3) {
            for (int i = 0; i < 3; ++i)
              out += static_cast<char16_t>(name[i]);
          } else {
            AppendAscii(out, name);
          }
        }
        break;
      case u'y':
        if (count == 1) {
          AppendNumber(out, time.wYear % 10, 1);
        } else if (count == 2) {
          AppendNumber(out, time.wYear % 100, 2);
        } else {
          AppendNumber(out, time.wYear, 4);
        }
        break;
      case u'g':
        AppendAscii(out, "A.D.");
        break;
      case u'h':
        AppendNumber(out, hour12, padded);
        break;
      case u'H':
        AppendNumber(out, time.wHour, padded);
        break;
      case u'm':
        AppendNumber(out, time.wMinute, padded);
        break;
      case u's':
        AppendNumber(out, time.wSecond, padded);
        break;
      case u't':
        AppendAscii(out, time.wHour < 12 ? (count == 1 ? "A" : "AM") : (count == 1 ? "P" : "PM"));
        break;
    }
  }
  return out;
}

// The buffer rules both functions share: 0 measures, too small fails.
int Deliver(const std::u16string& text, LPWSTR out, int size) {
  const int needed = static_cast<int>(text.size()) + 1;
  if (size == 0) return needed;
  if (size < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(out, text.c_str(), needed * sizeof(WCHAR));
  return needed;
}

// Formats and delivers; an API answers a failed allocation as the system does, never by
// throwing through its caller.
int FormatAndDeliver(const SYSTEMTIME& time, const char16_t* picture, Pictures pictures, LPWSTR out,
                     int size) {
  try {
    return Deliver(Format(time, picture, pictures), out, size);
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
}

bool ValidCall(LCID locale, LPWSTR out, int size) {
  if (size < 0 || (size > 0 && out == nullptr) || !IsKnownLocale(locale)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  return true;
}

// "aa/bb/cc": the fixed 8-character forms of the C runtime.
char* WriteThreePairs(char* out, unsigned a, unsigned b, unsigned c, char separator) {
  const unsigned values[] = {a, b, c};
  for (int i = 0; i < 3; ++i) {
    out[i * 3] = static_cast<char>('0' + values[i] / 10 % 10);
    out[i * 3 + 1] = static_cast<char>('0' + values[i] % 10);
    if (i < 2) out[i * 3 + 2] = separator;
  }
  out[8] = '\0';
  return out;
}

}  // namespace

extern "C" void GetSystemTime(LPSYSTEMTIME lpSystemTime) {
  *lpSystemTime = winport::detail::SystemTimeAt(UtcNow());
}

// The fields of the local second last read on this thread: reading the time again within
// it only sets the milliseconds.
struct LocalSecond {
  std::int64_t second = -1;
  SYSTEMTIME time{};
};
thread_local LocalSecond t_local_second;

extern "C" void GetLocalTime(LPSYSTEMTIME lpSystemTime) {
  const std::int64_t now = LocalNow();  // at or after 1601: never negative
  const std::int64_t second = now / 1000;
  if (second != t_local_second.second) {
    t_local_second.time = winport::detail::SystemTimeAt(second * 1000);
    t_local_second.second = second;
  }
  *lpSystemTime = t_local_second.time;
  lpSystemTime->wMilliseconds = static_cast<WORD>(now % 1000);
}

extern "C" void GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime) {
  const auto ticks = static_cast<std::uint64_t>(UtcNow()) * 10'000;
  lpSystemTimeAsFileTime->dwLowDateTime = static_cast<DWORD>(ticks);
  lpSystemTimeAsFileTime->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
}

extern "C" int GetDateFormatW(LCID Locale, DWORD dwFlags, const SYSTEMTIME* lpDate,
                              LPCWSTR lpFormat, LPWSTR lpDateStr, int cchDate) {
  if (!ValidCall(Locale, lpDateStr, cchDate)) return 0;
  const DWORD shape = dwFlags & (DATE_SHORTDATE | DATE_LONGDATE);
  if ((dwFlags & ~shape) != 0 || shape == (DATE_SHORTDATE | DATE_LONGDATE) ||
      (lpFormat != nullptr && dwFlags != 0)) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  SYSTEMTIME date;
  if (lpDate == nullptr) {
    date = winport::detail::SystemTimeAt(LocalNow());
  } else {
    if (!winport::detail::IsValidDate(*lpDate)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    // A wrong day of the week is corrected, not refused.
    date = winport::detail::SystemTimeAt(
        winport::detail::DayNumber(lpDate->wYear, lpDate->wMonth, lpDate->wDay) *
        kMillisecondsPerDay);
  }
  const char16_t* picture = lpFormat;
  if (picture == nullptr) picture = shape == DATE_LONGDATE ? u"dddd, MMMM d, yyyy" : u"M/d/yyyy";
  return FormatAndDeliver(date, picture, Pictures::kDate, lpDateStr, cchDate);
}

extern "C" int GetTimeFormatW(LCID Locale, DWORD dwFlags, const SYSTEMTIME* lpTime,
                              LPCWSTR lpFormat, LPWSTR lpTimeStr, int cchTime) {
  if (!ValidCall(Locale, lpTimeStr, cchTime)) return 0;
  if (dwFlags != 0) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  SYSTEMTIME time;
  if (lpTime == nullptr) {
    time = winport::detail::SystemTimeAt(LocalNow());
  } else {
    // Only the time of day is looked at; the date may be anything.
    if (!winport::detail::IsValidTimeOfDay(*lpTime)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    time = *lpTime;
  }
  return FormatAndDeliver(time, lpFormat != nullptr ? lpFormat : u"h:mm:ss tt", Pictures::kTime,
                          lpTimeStr, cchTime);
}

extern "C" char* _strdate(char* datestr) {
  const SYSTEMTIME now = winport::detail::SystemTimeAt(LocalNow());
  return WriteThreePairs(datestr, now.wMonth, now.wDay, now.wYear % 100, '/');
}

extern "C" char* _strtime(char* timestr) {
  const SYSTEMTIME now = winport::detail::SystemTimeAt(LocalNow());
  return WriteThreePairs(timestr, now.wHour, now.wMinute, now.wSecond, ':');
}
