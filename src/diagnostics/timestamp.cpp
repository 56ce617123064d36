#include "timestamp.h"

#include <winport/wide.h>
#include <winport/windows.h>

#include "errors/com_error.h"

namespace quillmere {

namespace {

// "yyyy-MM-dd HH:mm:ss" of one second, kept per thread: a thread reporting often formats
// each second once and only adds the milliseconds.
struct SecondText {
  SYSTEMTIME second = {};
  winport::WideString text;

  bool Holds(const SYSTEMTIME& now) const {
    return !text.empty() && now.wSecond == second.wSecond && now.wMinute == second.wMinute &&
           now.wHour == second.wHour && now.wDay == second.wDay && now.wMonth == second.wMonth &&
           now.wYear == second.wYear;
  }

  void Format(const SYSTEMTIME& now) {
    // Eleven characters hold either picture's ten with the terminator.
    OLECHAR date[11] = {};
    OLECHAR time[11] = {};
    if (GetDateFormatW(LOCALE_USER_DEFAULT, 0, &now, OLESTR("yyyy'-'MM'-'dd"), date, 11) == 0)
      date[0] = 0;
    if (GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &now, OLESTR("HH':'mm':'ss"), time, 11) == 0)
      time[0] = 0;
    text = date;
    text += OLECHAR(' ');
    text += time;
    second = now;
  }
};

thread_local SecondText t_second;

}  // namespace

winport::ScopedBstr FormatTimestamp() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  if (!t_second.Holds(now)) t_second.Format(now);

  OLECHAR text[32];
  const size_t length = t_second.text.size();
  t_second.text.copy(text, length);
  const unsigned milliseconds = now.wMilliseconds % 1000u;
  text[length] = OLECHAR('.');
  text[length + 1] = static_cast<OLECHAR>('0' + milliseconds / 100);
  text[length + 2] = static_cast<OLECHAR>('0' + milliseconds / 10 % 10);
  text[length + 3] = static_cast<OLECHAR>('0' + milliseconds % 10);

  winport::ScopedBstr result;
  result.Reset(SysAllocStringLen(text, static_cast<UINT>(length + 4)));
  if (result.Get() == nullptr) RaiseComErrorWithoutInfo(E_OUTOFMEMORY);
  return result;
}

}  // namespace quillmere
