// Windows-1252 (the ANSI code page of a Western-European server) and UTF-8 conversions,
// and the case mapping CharUpperBuffW applies. Conversions are explicit tables and bit
// arithmetic so they never depend on the process locale.
#include <winport/codepage.h>
#include <winport/message.h>
#include <winport/winerror.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Windows-1252's 0x80-0x9F. The five bytes the code page leaves undefined (0x81, 0x8D,
// 0x8F, 0x90, 0x9D) keep their C1 code points, as Windows' table maps them, so every
// byte round-trips.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 0x98
};

char16_t Cp1252ToUnicode(unsigned char byte) {
  return byte >= 0x80 && byte <= 0x9F ? kCp1252High[byte - 0x80] : char16_t{byte};
}

// The byte for a UTF-16 unit, or -1 when Windows-1252 has none.
int UnicodeToCp1252(char16_t unit) {
  if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return unit;
  for (int i = 0; i < 32; ++i) {
    if (kCp1252High[i] == unit) return 0x80 + i;
  }
  return -1;
}

enum class CodePageKind { kWindows1252, kUtf8, kUnsupported };

CodePageKind Classify(UINT code_page) {
  switch (code_page) {
    case CP_ACP:
    case CP_THREAD_ACP:
    case 1252:
      return CodePageKind::kWindows1252;
    case CP_UTF8:
      return CodePageKind::kUtf8;
    default:
      return CodePageKind::kUnsupported;
  }
}

// Where converted units go: only counted while measuring (a size of 0, whatever the
// pointer), otherwise written until the buffer is full. A multi-unit character is written
// whole or not at all.
template <typename Unit>
class Output {
 public:
  Output(Unit* buffer, int capacity)
      : buffer_(capacity > 0 ? buffer : nullptr), capacity_(capacity) {}

  bool Put(const Unit* units, int count) {
    if (buffer_ != nullptr) {
      if (capacity_ - count_ < count) return false;
      std::memcpy(buffer_ + count_, units, sizeof(Unit) * static_cast<std::size_t>(count));
    } else if (INT_MAX - count_ < count) {
      return false;
    }
    count_ += count;
    return true;
  }
  bool Put(Unit unit) { return Put(&unit, 1); }
  // Units each of which fits in one Unit as it is (ASCII), copied narrowed; when they do
  // not all fit, those that do are written, as unit by unit.
  template <typename From>
  bool PutNarrowed(const From* units, int count) {
    if (buffer_ != nullptr) {
      const int fitting = std::min(count, capacity_ - count_);
      for (int i = 0; i < fitting; ++i)
        buffer_[count_ + i] = static_cast<Unit>(units[i]);
      if (fitting < count) {
        count_ += fitting;
        return false;
      }
    } else if (INT_MAX - count_ < count) {
      return false;
    }
    count_ += count;
    return true;
  }
  int count() const { return count_; }

 private:
  Unit* buffer_;
  int capacity_;
  int count_ = 0;
};

bool PutUtf16(Output<WCHAR>& out, char32_t code_point) {
  if (code_point < 0x10000) return out.Put(static_cast<WCHAR>(code_point));
  const char32_t v = code_point - 0x10000;
  const WCHAR pair[2] = {static_cast<WCHAR>(0xD800 + (v >> 10)),
                         static_cast<WCHAR>(0xDC00 + (v & 0x3FF))};
  return out.Put(pair, 2);
}

// Where the run of ASCII units starting at start ends: eight units at a time while it
// lasts (a loop the compiler can widen), then one at a time.
std::size_t AsciiRunEnd(const WCHAR* units, std::size_t start, std::size_t length) {
  std::size_t end = start;
  while (length - end >= 8) {
    unsigned combined = 0;
    for (std::size_t k = 0; k < 8; ++k)
      combined |= units[end + k];
    if (combined >= 0x80) break;
    end += 8;
  }
  while (end < length && units[end] < 0x80)
    ++end;
  return end;
}

bool PutUtf8(Output<CHAR>& out, char32_t cp) {
  CHAR bytes[4];
  int n;
  if (cp < 0x80) {
    bytes[0] = static_cast<CHAR>(cp);
    n = 1;
  } else if (cp < 0x800) {
    bytes[0] = static_cast<CHAR>(0xC0 | (cp >> 6));
    bytes[1] = static_cast<CHAR>(0x80 | (cp & 0x3F));
    n = 2;
  } else if (cp < 0x10000) {
    bytes[0] = static_cast<CHAR>(0xE0 | (cp >> 12));
    bytes[1] = static_cast<CHAR>(0x80 | ((cp >> 6) & 0x3F));
    bytes[2] = static_cast<CHAR>(0x80 | (cp & 0x3F));
    n = 3;
  } else {
    bytes[0] = static_cast<CHAR>(0xF0 | (cp >> 18));
    bytes[1] = static_cast<CHAR>(0x80 | ((cp >> 12) & 0x3F));
    bytes[2] = static_cast<CHAR>(0x80 | ((cp >> 6) & 0x3F));
    bytes[3] = static_cast<CHAR>(0x80 | (cp & 0x3F));
    n = 4;
  }
  return out.Put(bytes, n);
}

int Fail(DWORD error) {
  SetLastError(error);
  return 0;
}

// Decodes one UTF-8 character at text[*pos]. An ill-formed sequence yields U+FFFD for
// its longest valid prefix (at least one byte), so the following byte starts afresh.
bool DecodeUtf8(const unsigned char* text, std::size_t length, std::size_t* pos,
                char32_t* code_point) {
  const unsigned char lead = text[*pos];
  ++*pos;
  if (lead < 0x80) {
    *code_point = lead;
    return true;
  }
  int trail;
  char32_t value;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    trail = 1;
    value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    trail = 2;
    value = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // UTF-16 surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    trail = 3;
    value = lead & 0x07;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // beyond U+10FFFF
  } else {
    return false;
  }
  for (int i = 0; i < trail; ++i) {
    if (*pos >= length || text[*pos] < low || text[*pos] > high) return false;
    value = (value << 6) | (text[*pos] & 0x3F);
    ++*pos;
    low = 0x80;
    high = 0xBF;
  }
  *code_point = value;
  return true;
}

bool IsHighSurrogate(char32_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char32_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

extern "C" int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCCH lpMultiByteStr,
                                   int cbMultiByte, LPWSTR lpWideCharStr, int cchWideChar) {
  if (lpMultiByteStr == nullptr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 ||
      (lpWideCharStr == nullptr && cchWideChar != 0) ||
      static_cast<const void*>(lpMultiByteStr) == static_cast<const void*>(lpWideCharStr)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  const CodePageKind kind = Classify(CodePage);
  if (kind == CodePageKind::kUnsupported) return Fail(ERROR_INVALID_PARAMETER);
  // UTF-8 takes no flag but MB_ERR_INVALID_CHARS; MB_COMPOSITE and MB_USEGLYPHCHARS are
  // not offered for Windows-1252 either.
  const DWORD allowed = kind == CodePageKind::kUtf8 ? DWORD{MB_ERR_INVALID_CHARS}
                                                    : DWORD{MB_PRECOMPOSED | MB_ERR_INVALID_CHARS};
  if ((dwFlags & ~allowed) != 0) return Fail(ERROR_INVALID_FLAGS);
  const bool strict = (dwFlags & MB_ERR_INVALID_CHARS) != 0;

  // -1: up to and including the terminator, which is converted and counted too.
  const std::size_t length =
      cbMultiByte == -1 ? std::strlen(lpMultiByteStr) + 1 : static_cast<std::size_t>(cbMultiByte);
  const auto* text = reinterpret_cast<const unsigned char*>(lpMultiByteStr);
  Output<WCHAR> out(lpWideCharStr, cchWideChar);

  if (kind == CodePageKind::kWindows1252) {
    for (std::size_t i = 0; i < length; ++i) {
      if (!out.Put(Cp1252ToUnicode(text[i]))) return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    return out.count();
  }

  std::size_t pos = 0;
  while (pos < length) {
    char32_t code_point;
    if (!DecodeUtf8(text, length, &pos, &code_point)) {
      if (strict) return Fail(ERROR_NO_UNICODE_TRANSLATION);
      code_point = kReplacement;
    }
    if (!PutUtf16(out, code_point)) return Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  return out.count();
}

extern "C" int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWCH lpWideCharStr,
                                   int cchWideChar, LPSTR lpMultiByteStr, int cbMultiByte,
                                   LPCCH lpDefaultChar, LPBOOL lpUsedDefaultChar) {
  if (lpWideCharStr == nullptr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0 ||
      (lpMultiByteStr == nullptr && cbMultiByte != 0) ||
      static_cast<const void*>(lpWideCharStr) == static_cast<const void*>(lpMultiByteStr)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  const CodePageKind kind = Classify(CodePage);
  if (kind == CodePageKind::kUnsupported) return Fail(ERROR_INVALID_PARAMETER);
  // WC_ERR_INVALID_CHARS belongs to UTF-8 alone; the other WC_ flags (composite checks,
  // separate characters) are not offered.
  const DWORD allowed =
      kind == CodePageKind::kUtf8 ? DWORD{WC_ERR_INVALID_CHARS} : DWORD{WC_NO_BEST_FIT_CHARS};
  if ((dwFlags & ~allowed) != 0) return Fail(ERROR_INVALID_FLAGS);
  // UTF-8 can encode every character, so a default character makes no sense there.
  if (kind == CodePageKind::kUtf8 && (lpDefaultChar != nullptr || lpUsedDefaultChar != nullptr)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }

  std::size_t length;
  if (cchWideChar == -1) {
    length = 0;
    while (lpWideCharStr[length] != 0)
      ++length;
    ++length;  // the terminator is converted and counted too
  } else {
    length = static_cast<std::size_t>(cchWideChar);
  }
  Output<CHAR> out(lpMultiByteStr, cbMultiByte);

  if (kind == CodePageKind::kWindows1252) {
    const CHAR default_char = lpDefaultChar != nullptr ? *lpDefaultChar : '?';
    bool used_default = false;
    // Each UTF-16 unit on its own: a surrogate pair has no 1252 byte and becomes two
    // default characters, as on Windows.
    for (std::size_t i = 0; i < length; ++i) {
      const int byte = UnicodeToCp1252(lpWideCharStr[i]);
      if (byte < 0) used_default = true;
      if (!out.Put(byte < 0 ? default_char : static_cast<CHAR>(byte))) {
        return Fail(ERROR_INSUFFICIENT_BUFFER);
      }
    }
    if (lpUsedDefaultChar != nullptr) *lpUsedDefaultChar = used_default ? TRUE : FALSE;
    return out.count();
  }

  const bool strict = (dwFlags & WC_ERR_INVALID_CHARS) != 0;
  for (std::size_t i = 0; i < length; ++i) {
    // A run of ASCII goes out in one step: most text is all ASCII.
    std::size_t ascii_end = AsciiRunEnd(lpWideCharStr, i, length);
    if (ascii_end > i) {
      if (!out.PutNarrowed(lpWideCharStr + i, static_cast<int>(ascii_end - i)))
        return Fail(ERROR_INSUFFICIENT_BUFFER);
      i = ascii_end - 1;
      continue;
    }
    char32_t code_point = lpWideCharStr[i];
    if (IsHighSurrogate(code_point) && i + 1 < length && IsLowSurrogate(lpWideCharStr[i + 1])) {
      code_point = 0x10000 + ((code_point - 0xD800) << 10) + (lpWideCharStr[i + 1] - 0xDC00);
      ++i;
    } else if (IsHighSurrogate(code_point) || IsLowSurrogate(code_point)) {
      if (strict) return Fail(ERROR_NO_UNICODE_TRANSLATION);
      code_point = kReplacement;
    }
    if (!PutUtf8(out, code_point)) return Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  return out.count();
}

namespace {

// The upper case of one UTF-16 unit under an English locale: simple one-to-one mappings
// only, so the length never changes (ß stays ß, there is no single-unit capital).
WCHAR ToUpper(WCHAR c) {
  if (c >= u'a' && c <= u'z') return static_cast<WCHAR>(c - 0x20);
  if (c < 0xE0) return c;
  if (c <= 0xFE) return c == 0xF7 ? c : static_cast<WCHAR>(c - 0x20);  // ÷ is no letter
  if (c == 0xFF) return 0x0178;                                        // ÿ → Ÿ
  // Latin Extended-A: capitals and small letters alternate; which of the two comes first
  // changes at U+0138 (ĸ) and U+0149 (ŉ), which have no capital, and again at U+0178 (Ÿ).
  if ((c >= 0x0100 && c <= 0x012F) || (c >= 0x0132 && c <= 0x0137) ||
      (c >= 0x014A && c <= 0x0177)) {
    return (c & 1) ? static_cast<WCHAR>(c - 1) : c;
  }
  if ((c >= 0x0139 && c <= 0x0148) || (c >= 0x0179 && c <= 0x017E)) {
    return (c & 1) ? c : static_cast<WCHAR>(c - 1);
  }
  // Greek.
  if (c == 0x03AC) return 0x0386;                                       // ά
  if (c >= 0x03AD && c <= 0x03AF) return static_cast<WCHAR>(c - 0x25);  // έ ή ί
  if (c == 0x03C2) return 0x03A3;                                       // final ς
  if (c >= 0x03B1 && c <= 0x03CB) return static_cast<WCHAR>(c - 0x20);  // α-ω ϊ ϋ
  if (c == 0x03CC) return 0x038C;                                       // ό
  if (c >= 0x03CD && c <= 0x03CE) return static_cast<WCHAR>(c - 0x3F);  // ύ ώ
  // Cyrillic.
  if (c >= 0x0430 && c <= 0x044F) return static_cast<WCHAR>(c - 0x20);  // а-я
  if (c >= 0x0450 && c <= 0x045F) return static_cast<WCHAR>(c - 0x50);  // ѐ-џ
  return c;
}

}  // namespace

extern "C" DWORD CharUpperBuffW(LPWSTR lpsz, DWORD cchLength) {
  if (lpsz == nullptr) return 0;
  for (DWORD i = 0; i < cchLength; ++i)
    lpsz[i] = ToUpper(lpsz[i]);
  return cchLength;
}
