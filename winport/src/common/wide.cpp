#include <winport/wide.h>

#include <cstdio>
#include <vector>

namespace winport {

WideString Utf8ToWide(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int size = static_cast<int>(utf8.size());
  const int needed = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  WideString wide(static_cast<std::size_t>(needed), OLECHAR{});
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), needed);
  return wide;
}

std::string WideToUtf8(WideView wide) {
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  const int needed =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(needed), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), needed, nullptr, nullptr);
  return utf8;
}

WideString FormatWideV(const char* format, std::va_list args) {
  std::va_list measure;
  va_copy(measure, args);
  const int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (length <= 0) return {};
  std::vector<char> narrow(static_cast<std::size_t>(length) + 1);
  std::vsnprintf(narrow.data(), narrow.size(), format, args);
  return Utf8ToWide(std::string_view(narrow.data(), static_cast<std::size_t>(length)));
}

WideString FormatWide(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  WideString text = FormatWideV(format, args);
  va_end(args);
  return text;
}

}  // namespace winport
