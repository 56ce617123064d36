#include "common/quoted_text.h"

#include <charconv>

namespace winport::detail {
namespace {

bool IsHighSurrogate(OLECHAR unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsSurrogate(OLECHAR unit) {
  return unit >= 0xD800 && unit <= 0xDFFF;
}

}  // namespace

void AppendQuoted(std::string& out, WideView text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += '"';
  std::size_t run = 0;  // start of the units not yet written
  auto flush = [&](std::size_t end) { out += WideToUtf8(text.substr(run, end - run)); };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const OLECHAR unit = text[i];
    if (IsHighSurrogate(unit) && i + 1 < text.size() && IsSurrogate(text[i + 1]) &&
        !IsHighSurrogate(text[i + 1])) {
      ++i;  // a whole pair is plain text
      continue;
    }
    const char* escape = unit == '\\'   ? "\\\\"
                         : unit == '"'  ? "\\\""
                         : unit == '\n' ? "\\n"
                         : unit == '\r' ? "\\r"
                         : unit == '\t' ? "\\t"
                                        : nullptr;
    const bool hex = escape == nullptr && (unit < 0x20 || unit == 0x7F || IsSurrogate(unit));
    if (escape == nullptr && !hex) continue;
    flush(i);
    if (escape != nullptr) {
      out += escape;
    } else {
      out += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4)
        out += kHex[(unit >> shift) & 0xF];
    }
    run = i + 1;
  }
  flush(text.size());
  out += '"';
}

bool ReadQuoted(std::string_view& in, WideString* text) {
  if (in.empty() || in[0] != '"') return false;
  WideString value;
  std::size_t run = 1;  // start of the plain UTF-8 not yet converted
  std::size_t i = 1;
  auto flush = [&](std::size_t end) { value += Utf8ToWide(in.substr(run, end - run)); };
  while (i < in.size() && in[i] != '"') {
    if (in[i] != '\\') {
      ++i;
      continue;
    }
    flush(i);
    if (i + 1 >= in.size()) return false;
    const char escaped = in[i + 1];
    i += 2;
    switch (escaped) {
      case '\\':
      case '"':
        value += static_cast<OLECHAR>(escaped);
        break;
      case '0':
        value += OLECHAR{0};
        break;
      case 'n':
        value += OLECHAR{'\n'};
        break;
      case 'r':
        value += OLECHAR{'\r'};
        break;
      case 't':
        value += OLECHAR{'\t'};
        break;
      case 'u': {
        unsigned unit = 0;
        const std::string_view digits = in.substr(i, 4);
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), unit, 16);
        if (digits.size() != 4 || error != std::errc() || end != digits.data() + 4) return false;
        value += static_cast<OLECHAR>(unit);
        i += 4;
        break;
      }
      default:
        return false;
    }
    run = i;
  }
  if (i >= in.size()) return false;
  flush(i);
  in.remove_prefix(i + 1);
  *text = std::move(value);
  return true;
}

}  // namespace winport::detail
