#include "mof_source_text.h"

#include <string_view>

namespace winport::wmi {
namespace {

WideString Utf16Text(const BYTE* bytes, std::size_t size, bool big_endian) {
  WideString text;
  text.reserve(size / 2);
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    const unsigned first = bytes[i];
    const unsigned second = bytes[i + 1];
    text.push_back(
        static_cast<OLECHAR>(big_endian ? (first << 8) | second : (second << 8) | first));
  }
  return text;
}

}  // namespace

WideString DecodeMofText(const BYTE* bytes, std::size_t size) {
  if (size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE)
    return Utf16Text(bytes + 2, size - 2, false);
  if (size >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF)
    return Utf16Text(bytes + 2, size - 2, true);
  std::string_view utf8(reinterpret_cast<const char*>(bytes), size);
  if (utf8.starts_with("\xEF\xBB\xBF")) utf8.remove_prefix(3);
  return Utf8ToWide(utf8);
}

}  // namespace winport::wmi
