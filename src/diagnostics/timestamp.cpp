#include "timestamp.h"

#include <winport/wide.h>
#include <winport/windows.h>

#include "errors/com_error.h"
#include "errors/failure_helpers.h"

namespace quillmere {

namespace {

// Either picture's ten characters with the terminator.
constexpr int kPictureBuffer = 11;
// ".mmm" after the second.
constexpr UINT kFractionLength = 4;
constexpr unsigned kMillisecondsPerSecond = 1000;

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
    OLECHAR date[kPictureBuffer] = {};
    OLECHAR time[kPictureBuffer] = {};
    if (GetDateFormatW(LOCALE_USER_DEFAULT, 0, &now, OLESTR("yyyy'-'MM'-'dd"), date,
                       kPictureBuffer) == 0)
      date[0] = 0;
    if (GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &now, OLESTR("HH':'mm':'ss"), time,
                       kPictureBuffer) == 0)
      time[0] = 0;
    OrOutOfMemory([&] {
      text = date;
      text += OLECHAR(' ');
      text += time;
    });
    second = now;
  }
};

thread_local SecondText t_second;

}  // namespace

winport::ScopedBstr FormatTimestamp() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  if (!t_second.Holds(now)) t_second.Format(now);

  const UINT length = static_cast<UINT>(t_second.text.size());
  winport::ScopedBstr result;
  result.Reset(SysAllocStringLen(nullptr, length + kFractionLength));
  if (result.Get() == nullptr) RaiseComErrorWithoutInfo(E_OUTOFMEMORY);
  OLECHAR* text = result.Get();
  t_second.text.copy(text, length);
  text[length] = OLECHAR('.');
  // The milliseconds in three digits, the last first.
  unsigned milliseconds = now.wMilliseconds % kMillisecondsPerSecond;
  for (UINT digit = kFractionLength - 1; digit > 0; --digit) {
    text[length + digit] = static_cast<OLECHAR>('0' + milliseconds % 10);
    milliseconds /= 10;
  }
  return result;
}

}  // namespace quillmere
