#include "host/common/bstr_text.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

namespace quillmere::host {
namespace {

// Sixteen characters at a time in the compiler's vector types: the build's non-call
// exceptions keep it from vectorising a plain loop of loads and stores itself.
void Narrow(char* out, const OLECHAR* in, std::size_t size) {
  using Wide16 = uint16_t __attribute__((vector_size(32)));
  using Narrow16 = char __attribute__((vector_size(16)));
  std::size_t i = 0;
  for (; i + 16 <= size; i += 16) {
    Wide16 wide;
    std::memcpy(&wide, in + i, sizeof wide);
    const Narrow16 narrow = __builtin_convertvector(wide, Narrow16);
    std::memcpy(out + i, &narrow, sizeof narrow);
  }
  for (; i < size; ++i)
    out[i] = static_cast<char>(in[i]);
}

// The same the other way, for ASCII only.
void Widen(OLECHAR* out, const char* in, std::size_t size) {
  using Narrow16 = unsigned char __attribute__((vector_size(16)));
  using Wide16 = uint16_t __attribute__((vector_size(32)));
  std::size_t i = 0;
  for (; i + 16 <= size; i += 16) {
    Narrow16 narrow;
    std::memcpy(&narrow, in + i, sizeof narrow);
    const Wide16 wide = __builtin_convertvector(narrow, Wide16);
    std::memcpy(out + i, &wide, sizeof wide);
  }
  for (; i < size; ++i)
    out[i] = static_cast<OLECHAR>(in[i]);
}

}  // namespace

// ASCII, the usual case, is told in one pass without branches (vector code) and then
// narrowed, or widened below, sixteen characters at a time.
std::string ToUtf8(winport::WideView wide) {
  unsigned beyondAscii = 0;
  for (const auto c : wide)
    beyondAscii |= static_cast<unsigned>(c) & ~0x7Fu;
  if (beyondAscii != 0) return winport::WideToUtf8(wide);
  std::string utf8(wide.size(), '\0');
  Narrow(utf8.data(), wide.data(), wide.size());
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
  Widen(text, utf8.data(), utf8.size());
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
