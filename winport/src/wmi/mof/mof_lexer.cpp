#include "mof_lexer.h"

#include <cmath>
#include <cstdlib>
#include <string_view>

namespace winport::wmi {
namespace {

constexpr std::u16string_view kPunctuation = u"{}[]();,:=#+-";

bool IsDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
}

int HexDigitValue(char16_t c) {
  if (IsDigit(c)) return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

bool IsIdentifierPart(char16_t c) {
  return IsMofIdentifierStart(c) || IsDigit(c);
}

// Reads digits of `base` into `value`; false when there are none or they overflow.
bool ParseDigits(std::u16string_view digits, unsigned base, std::uint64_t* value) {
  if (digits.empty()) return false;
  std::uint64_t result = 0;
  for (char16_t c : digits) {
    const int digit = HexDigitValue(c);
    if (digit < 0 || static_cast<unsigned>(digit) >= base) return false;
    if (result > (UINT64_MAX - digit) / base) return false;
    result = result * base + digit;
  }
  *value = result;
  return true;
}

}  // namespace

bool IsMofIdentifierStart(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_' ||
         (c >= 0x80 && c <= 0xFFEF);
}

char16_t MofLexer::Advance() {
  const char16_t c = Peek();
  ++offset_;
  if (c == u'\n') {
    ++position_.line;
    position_.column = 1;
  } else {
    ++position_.column;
  }
  return c;
}

MofToken MofLexer::Fail(MofToken token, const char* message) {
  token.kind = MofTokenKind::kError;
  token.message = message;
  return token;
}

bool MofLexer::SkipBlanks(MofToken* error) {
  while (!AtEnd()) {
    const char16_t c = Peek();
    if (c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\f' || c == u'\v' ||
        c == 0xFEFF) {
      Advance();
    } else if (c == u'/' && Peek(1) == u'/') {
      while (!AtEnd() && Peek() != u'\n')
        Advance();
    } else if (c == u'/' && Peek(1) == u'*') {
      error->where = position_;
      Advance();
      Advance();
      while (!(Peek() == u'*' && Peek(1) == u'/')) {
        if (AtEnd()) {
          *error = Fail(*error, "comment not closed");
          return false;
        }
        Advance();
      }
      Advance();
      Advance();
    } else {
      return true;
    }
  }
  return true;
}

MofToken MofLexer::Next() {
  MofToken token;
  if (!SkipBlanks(&token)) return token;
  token.where = position_;
  if (AtEnd()) return token;
  const char16_t c = Peek();
  if (IsMofIdentifierStart(c)) return ReadIdentifier(std::move(token));
  if (IsDigit(c) || (c == u'.' && IsDigit(Peek(1)))) return ReadNumber(std::move(token));
  if (c == u'"' || c == u'\'') return ReadQuoted(std::move(token), Advance());
  if (c == u'$') {
    Advance();
    if (!IsMofIdentifierStart(Peek())) return Fail(std::move(token), "alias name expected");
    token = ReadIdentifier(std::move(token));
    token.kind = MofTokenKind::kAlias;
    return token;
  }
  if (kPunctuation.find(c) != std::u16string_view::npos) {
    token.kind = MofTokenKind::kPunctuation;
    token.text.assign(1, Advance());
    return token;
  }
  return Fail(std::move(token), "unexpected character");
}

MofToken MofLexer::ReadIdentifier(MofToken token) {
  token.kind = MofTokenKind::kIdentifier;
  while (!AtEnd() && IsIdentifierPart(Peek()))
    token.text.push_back(Advance());
  return token;
}

// Integers are decimal, 0x hexadecimal, 0 octal or b-suffixed binary; reals have a
// point or an exponent.
MofToken MofLexer::ReadNumber(MofToken token) {
  std::u16string spelling;
  while (!AtEnd() && (IsIdentifierPart(Peek()) || Peek() == u'.' ||
                      ((Peek() == u'+' || Peek() == u'-') &&
                       (spelling.back() == u'e' || spelling.back() == u'E') &&
                       spelling.find_first_of(u"xX") == std::u16string::npos))) {
    spelling.push_back(Advance());
  }
  const std::u16string_view text = spelling;
  bool ok = false;
  if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
    ok = ParseDigits(text.substr(2), 16, &token.magnitude);
  } else if (text.size() > 1 && (text.back() == u'b' || text.back() == u'B')) {
    ok = ParseDigits(text.substr(0, text.size() - 1), 2, &token.magnitude);
  } else if (text.find_first_of(u".eE") != std::u16string_view::npos) {
    const std::string narrow = WideToUtf8(spelling);
    char* end = nullptr;
    token.real = std::strtod(narrow.c_str(), &end);
    ok = end == narrow.c_str() + narrow.size() && std::isfinite(token.real);
    token.kind = MofTokenKind::kReal;
    return ok ? token : Fail(std::move(token), "malformed real number");
  } else {
    const unsigned base = text.size() > 1 && text[0] == u'0' ? 8 : 10;
    ok = ParseDigits(text, base, &token.magnitude);
  }
  token.kind = MofTokenKind::kInteger;
  return ok ? token : Fail(std::move(token), "malformed or too large integer");
}

// \b \t \n \f \r \" \' \\ and \x or \X followed by one to four hex digits.
bool MofLexer::ReadEscape(char16_t* out) {
  const char16_t c = Advance();
  switch (c) {
    case u'b':
      *out = u'\b';
      return true;
    case u't':
      *out = u'\t';
      return true;
    case u'n':
      *out = u'\n';
      return true;
    case u'f':
      *out = u'\f';
      return true;
    case u'r':
      *out = u'\r';
      return true;
    case u'"':
    case u'\'':
    case u'\\':
      *out = c;
      return true;
    case u'x':
    case u'X': {
      unsigned value = 0;
      int digits = 0;
      for (; digits < 4 && HexDigitValue(Peek()) >= 0; ++digits) {
        value = value * 16 + HexDigitValue(Advance());
      }
      *out = static_cast<char16_t>(value);
      return digits > 0;
    }
    default:
      return false;
  }
}

MofToken MofLexer::ReadQuoted(MofToken token, char16_t quote) {
  token.kind = quote == u'"' ? MofTokenKind::kString : MofTokenKind::kChar;
  for (;;) {
    if (AtEnd() || Peek() == u'\n') return Fail(std::move(token), "text not closed on its line");
    char16_t c = Advance();
    if (c == quote) break;
    if (c == u'\\' && !ReadEscape(&c)) return Fail(std::move(token), "unknown escape");
    token.text.push_back(c);
  }
  if (token.kind == MofTokenKind::kChar && token.text.size() != 1) {
    return Fail(std::move(token), "a character constant holds one character");
  }
  return token;
}

}  // namespace winport::wmi
