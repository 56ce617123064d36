#include "timestamp.h"

#include <algorithm>

#include <winport/windows.h>

namespace quillmere {

namespace {

// Either picture's ten characters with the terminator.
constexpr int kPictureBuffer = 11;
// ".mmm" after the second.
constexpr UINT kFractionLength = 4;
constexpr unsigned kMillisecondsPerSecond = 1000;

// "yyyy-MM-dd HH:mm:ss" of one second, kept per thread: a thread reporting often formats
// each second once and only adds the milliseconds. Nothing in it needs destroying: on
// Windows a thread-local object with a destructor keeps its library loaded for as long as
// the thread lives, so a host thread that once reported would stop the module's unload.
struct SecondText {
  SYSTEMTIME second = {};
  OLECHAR text[2 * kPictureBuffer] = {};  // date, a space, time
  UINT length = 0;

  bool Holds(const SYSTEMTIME& now) const {
    return length != 0 && now.wSecond == second.wSecond && now.wMinute == second.wMinute &&
           now.wHour == second.wHour && now.wDay == second.wDay && now.wMonth == second.wMonth &&
           now.wYear == second.wYear;
  }

  void Format(const SYSTEMTIME& now) {
    OLECHAR date[kPictureBuffer] = {};
    OLECHAR time[kPictureBuffer] = {};
    if (GetDateFormatW(LOCALE_USER_DEFAULT, 0, &now, OLESTR("yyyy'-'MM'-'dd"), date,
                       kPictureBuffer) == 0)
      date[0] = 0;
    if (GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &now, OLESTR("HH':'mm':'ss"), time,
                       kPictureBuffer) == 0)
      time[0] = 0;
    length = 0;
    for (const OLECHAR* from = date; *from != 0; ++from)
      text[length++] = *from;
    text[length++] = OLECHAR(' ');
    for (const OLECHAR* from = time; *from != 0; ++from)
      text[length++] = *from;
    second = now;
  }
};

thread_local SecondText t_second;

}  // namespace

const OLECHAR* FormatTimestamp(OLECHAR (&text)[kTimestampBuffer]) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  if (!t_second.Holds(now)) t_second.Format(now);

  // Shorter only when a picture could not be formatted.
  const UINT length = t_second.length;
  static_assert(2 * kPictureBuffer + kFractionLength + 1 <= kTimestampBuffer);
  std::copy_n(t_second.text, length, text);
  text[length] = OLECHAR('.');
  // The milliseconds in three digits, the last first.
  unsigned milliseconds = now.wMilliseconds % kMillisecondsPerSecond;
  for (UINT digit = kFractionLength - 1; digit > 0; --digit) {
    text[length + digit] = static_cast<OLECHAR>('0' + milliseconds % 10);
    milliseconds /= 10;
  }
  text[length + kFractionLength] = 0;
  return text;
}

}  // namespace quillmere
