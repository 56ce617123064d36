#include "host/common/bstr_text.h"

#include <cstddef>
#include <new>

namespace quillmere::host {

// ASCII, the usual case, is narrowed in two passes without branches, which the compiler
// turns into vector code.
std::string ToUtf8(winport::WideView wide) {
  unsigned beyondAscii = 0;
  for (const auto c : wide)
    beyondAscii |= static_cast<unsigned>(c) & ~0x7Fu;
  if (beyondAscii != 0) return winport::WideToUtf8(wide);
  std::string utf8(wide.size(), '\0');
  for (std::size_t i = 0; i < wide.size(); ++i)
    utf8[i] = static_cast<char>(wide[i]);
  return utf8;
}

std::string Utf8Of(BSTR text) {
  return ToUtf8(winport::BstrView(text));
}

BSTR ToBstr(std::string_view utf8) {
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

BSTR NewBstr(std::string_view utf8) {
  BSTR text = ToBstr(utf8);
  if (text == nullptr) throw std::bad_alloc();
  return text;
}

winport::ScopedBstr ScopedBstrOf(std::string_view utf8) {
  winport::ScopedBstr text;
  text.Reset(ToBstr(utf8));
  return text;
}

}  // namespace quillmere::host
