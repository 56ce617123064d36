#include "host/common/bstr_text.h"

#include <cstddef>
#include <new>

namespace quillmere::host {

// ASCII, the usual case, is narrowed (and widened below) in two passes without branches,
// which the compiler turns into vector code.
std::string ToUtf8(winport::WideView wide) {
  unsigned beyondAscii = 0;
  for (const auto c : wide)
    beyondAscii |= static_cast<unsigned>(c) & ~0x7Fu;
  if (beyondAscii != 0) return winport::WideToUtf8(wide);
  std::string utf8(wide.size(), '\0');
  char* const out = utf8.data();  // a pointer of its own: writes through it cannot move it
  const auto* const in = wide.data();
  for (std::size_t i = 0, size = wide.size(); i < size; ++i)
    out[i] = static_cast<char>(in[i]);
  return utf8;
}

std::string Utf8Of(BSTR text) {
  return ToUtf8(winport::BstrView(text));
}

BSTR ToBstr(std::string_view utf8) {
  unsigned char beyondAscii = 0;
  for (const char c : utf8)
    beyondAscii |= static_cast<unsigned char>(c) & 0x80u;
  if (beyondAscii != 0) {
    const winport::WideString wide = winport::Utf8ToWide(utf8);
    return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  }
  BSTR text = SysAllocStringLen(nullptr, static_cast<UINT>(utf8.size()));
  if (text == nullptr) return nullptr;
  const char* const in = utf8.data();
  for (std::size_t i = 0, size = utf8.size(); i < size; ++i)
    text[i] = static_cast<OLECHAR>(in[i]);
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
