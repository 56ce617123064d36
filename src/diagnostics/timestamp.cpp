#include "diagnostics/timestamp.h"

#include <winport/wide.h>
#include <winport/windows.h>

#include "errors/com_error.h"

namespace quillmere {

winport::ScopedBstr FormatTimestamp() {
  SYSTEMTIME now;
  GetLocalTime(&now);

  // Eleven characters hold either picture's ten with the terminator.
  OLECHAR date[11] = {};
  OLECHAR time[11] = {};
  if (GetDateFormatW(LOCALE_USER_DEFAULT, 0, &now, OLESTR("yyyy'-'MM'-'dd"), date, 11) == 0)
    date[0] = 0;
  if (GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &now, OLESTR("HH':'mm':'ss"), time, 11) == 0)
    time[0] = 0;

  winport::WideString text(date);
  text += OLECHAR(' ');
  text += time;
  text += OLECHAR('.');
  const unsigned milliseconds = now.wMilliseconds % 1000u;
  text += static_cast<OLECHAR>('0' + milliseconds / 100);
  text += static_cast<OLECHAR>('0' + milliseconds / 10 % 10);
  text += static_cast<OLECHAR>('0' + milliseconds % 10);

  winport::ScopedBstr result;
  result.Reset(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
  if (result.Get() == nullptr) RaiseComErrorWithoutInfo(E_OUTOFMEMORY);
  return result;
}

}  // namespace quillmere
