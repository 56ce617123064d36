// The clock and the texts of dates and times, as the English (United States) locale
// writes them.
//
// Local time follows the TZ of the process (the C library's zone rules). While a test
// sets winport::test_clock, both come from it: UTC is the time it holds and local time
// is that plus the offset it was given (none by default).
#pragma once

#include <winport/base_types.h>
#include <winport/winerror.h>

struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;  // 0 = Sunday
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};
using PSYSTEMTIME = SYSTEMTIME*;
using LPSYSTEMTIME = SYSTEMTIME*;

#ifndef MAKELCID
#define MAKELCID(lang, sort) \
  ((static_cast<DWORD>(static_cast<WORD>(sort)) << 16) | static_cast<WORD>(lang))
#endif
#define SORT_DEFAULT 0x0
#define LOCALE_NEUTRAL 0x0000
#define LOCALE_INVARIANT 0x007F
#define LOCALE_USER_DEFAULT 0x0400
#define LOCALE_SYSTEM_DEFAULT 0x0800

#define DATE_SHORTDATE 0x00000001
#define DATE_LONGDATE 0x00000002

extern "C" void GetSystemTime(LPSYSTEMTIME lpSystemTime);
extern "C" void GetLocalTime(LPSYSTEMTIME lpSystemTime);
extern "C" void GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime);

// Every locale formats as English (United States): the names of days and months, and
// the default pictures M/d/yyyy (DATE_SHORTDATE), dddd, MMMM d, yyyy (DATE_LONGDATE) and
// h:mm:ss tt. A picture takes no flags. A null date or time formats the local time now.
// Answers the characters written with the terminator; cch 0 only measures.
extern "C" int GetDateFormatW(LCID Locale, DWORD dwFlags, const SYSTEMTIME* lpDate,
                              LPCWSTR lpFormat, LPWSTR lpDateStr, int cchDate);
extern "C" int GetTimeFormatW(LCID Locale, DWORD dwFlags, const SYSTEMTIME* lpTime,
                              LPCWSTR lpFormat, LPWSTR lpTimeStr, int cchTime);

// The C runtime's local date "MM/DD/YY" and time "HH:MM:SS"; the buffer holds 9 chars.
extern "C" char* _strdate(char* datestr);
extern "C" char* _strtime(char* timestr);
