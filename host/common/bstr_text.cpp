#include "host/common/bstr_text.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

namespace quillmere::host {
namespace {

// Each character of `in` as a To, sixteen at a time in the compiler's vector types: the
// build's non-call exceptions keep it from vectorising a plain loop of loads and stores
// itself. Narrowing keeps the low byte; callers narrow ASCII only.
template <class To, class From>
void Convert(To* out, const From* in, std::size_t size) {
  // The typedef form: GCC drops the attribute from an alias of a dependent type.
  typedef From From16 __attribute__((vector_size(16 * sizeof(From))));
  typedef To To16 __attribute__((vector_size(16 * sizeof(To))));
  std::size_t i = 0;
  for (; i + 16 <= size; i += 16) {
    From16 from;
    std::memcpy(&from, in + i, sizeof from);
    const To16 to = __builtin_convertvector(from, To16);
    std::memcpy(out + i, &to, sizeof to);
  }
  for (; i < size; ++i)
    out[i] = static_cast<To>(in[i]);
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
  Convert(utf8.data(), wide.data(), wide.size());
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
  Convert(text, reinterpret_cast<const unsigned char*>(utf8.data()), utf8.size());
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
