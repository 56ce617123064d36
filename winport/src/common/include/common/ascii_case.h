// Comparison that ignores the case of ASCII letters only, for names Windows compares
// that way (file and library names here, event sources, the boolean words).
#pragma once

#include <string_view>

namespace winport::detail {

template <class A, class B>
bool EqualsIgnoringAsciiCase(std::basic_string_view<A> a, std::basic_string_view<B> b) {
  if (a.size() != b.size()) return false;
  auto fold = [](char32_t c) { return c >= U'A' && c <= U'Z' ? c - U'A' + U'a' : c; };
  for (std::size_t i = 0; i < a.size(); ++i) {
    using UA = std::make_unsigned_t<A>;
    using UB = std::make_unsigned_t<B>;
    if (fold(static_cast<UA>(a[i])) != fold(static_cast<UB>(b[i]))) return false;
  }
  return true;
}

inline bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return EqualsIgnoringAsciiCase<char, char>(a, b);
}

}  // namespace winport::detail
