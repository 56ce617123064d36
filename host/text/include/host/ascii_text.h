// Text between the module's UTF-16 and the host's UTF-8 on the paths every request takes
// (documents, tokens, names): almost always plain ASCII, which is copied unit by unit;
// anything else goes through winport's full conversion.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include <winport/wide.h>
#include <winport/windows.h>

namespace quillmere::host {

inline std::string ToUtf8(winport::WideView wide) {
  std::string utf8(wide.size(), '\0');
  for (std::size_t i = 0; i < wide.size(); ++i) {
    if (wide[i] >= 0x80) return winport::WideToUtf8(wide);
    utf8[i] = static_cast<char>(wide[i]);
  }
  return utf8;
}

// A new BSTR holding the text; null when there is no memory for it.
inline BSTR ToBstr(std::string_view utf8) {
  for (const char c : utf8) {
    if (static_cast<unsigned char>(c) >= 0x80) {
      const winport::WideString wide = winport::Utf8ToWide(utf8);
      return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    }
  }
  BSTR text = SysAllocStringLen(nullptr, static_cast<UINT>(utf8.size()));
  if (text == nullptr) return nullptr;
  for (std::size_t i = 0; i < utf8.size(); ++i)
    text[i] = static_cast<OLECHAR>(utf8[i]);
  return text;
}

}  // namespace quillmere::host
