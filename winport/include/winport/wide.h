// Wide (UTF-16) text helpers, the same on both platforms: the one place where module
// and test code turn UTF-8 into OLECHAR text and back, and format wide texts.
#pragma once

#include <cstdarg>
#include <string>
#include <string_view>

#include <winport/windows_api.h>

namespace winport {

using WideString = std::basic_string<OLECHAR>;
using WideView = std::basic_string_view<OLECHAR>;

// Invalid sequences become U+FFFD, as MultiByteToWideChar does.
WideString Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(WideView wide);
// A BSTR's whole text (embedded NULs kept); a null BSTR is "".
inline WideView BstrView(BSTR bstr) {
  return WideView(bstr ? bstr : OLESTR(""), SysStringLen(bstr));
}

// printf-style formatting of an ASCII/UTF-8 format into wide text.
WideString FormatWide(const char* format, ...) __attribute__((format(printf, 1, 2)));
WideString FormatWideV(const char* format, std::va_list args);

}  // namespace winport
