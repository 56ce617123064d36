// VariantChangeType(Ex) among the empty, null, integer, real, boolean, string and DECIMAL
// types, with the rounding, range checks and string forms of OLE Automation. The locale
// is English (United States) whatever the lcid: '.' decimal point, ',' thousands.
#include <winport/oleauto.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "common/ascii_case.h"
#include "variant_internal.h"

namespace {

using winport::detail::IsValidVariantType;
using winport::detail::ViewReferenced;

using u128 = unsigned __int128;

constexpr u128 kMaxMantissa = (u128{1} << 96) - 1;
constexpr int kMaxScale = 28;
// A u128 holds any 38-digit number; no integer or DECIMAL needs more than 29.
constexpr long kMaxExactDigits = 38;
// Past this the exponent only decides between overflow and zero.
constexpr long kExponentLimit = 100000;

u128 Pow10(long n) {
  u128 result = 1;
  while (n-- > 0)
    result *= 10;
  return result;
}

std::string ToDigits(u128 value) {
  if (value == 0) return "0";
  std::string digits;
  while (value != 0) {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(value % 10)));
    value /= 10;
  }
  return digits;
}

// A number read exactly: (negative ? -1 : 1) * digits * 10^exponent. digits has no
// leading zeros and is empty for zero; trailing zeros are kept, they carry a scale.
struct Decimal {
  bool negative = false;
  std::string digits;
  long exponent = 0;
};

// ---- Rounding.

bool RoundUp(bool last_odd, char first_dropped, std::string_view rest) {
  if (first_dropped != '5') return first_dropped > '5';
  // Exactly half goes to the even neighbour.
  return rest.find_first_not_of('0') != std::string_view::npos || last_odd;
}

// The first `keep` digits as an integer, rounded half to even on the rest; keep <= 0
// leaves nothing above the rounding point. False when the result passes 38 digits.
bool KeepDigits(const std::string& digits, long keep, u128* out) {
  const long n = static_cast<long>(digits.size());
  if (keep > kMaxExactDigits) return false;
  u128 value = 0;
  for (long i = 0; i < keep && i < n; ++i)
    value = value * 10 + (digits[i] - '0');
  if (keep > n) {
    value *= Pow10(keep - n);
  } else if (keep >= 0 && keep < n) {
    const std::string_view rest = std::string_view(digits).substr(keep + 1);
    if (RoundUp(value % 2 != 0, digits[keep], rest)) ++value;
  }
  *out = value;
  return true;
}

// Rounds the number to an integer; false past 38 digits.
bool RoundToInteger(const Decimal& number, u128* magnitude) {
  if (number.digits.empty()) {
    *magnitude = 0;
    return true;
  }
  return KeepDigits(number.digits, static_cast<long>(number.digits.size()) + number.exponent,
                    magnitude);
}

// mantissa / 10^scale, half to even.
u128 RoundScaled(u128 mantissa, int scale) {
  if (scale == 0) return mantissa;
  const u128 divisor = Pow10(scale);
  u128 quotient = mantissa / divisor;
  const u128 remainder = mantissa % divisor;
  const u128 twice = remainder * 2;
  if (twice > divisor || (twice == divisor && quotient % 2 != 0)) ++quotient;
  return quotient;
}

// x rounded half to even; false for NaN and anything outside ±2^64.
bool RoundReal(double x, bool* negative, u128* magnitude) {
  if (std::isnan(x)) return false;
  double whole = std::floor(x);
  const double fraction = x - whole;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0)) whole += 1;
  if (std::fabs(whole) >= 18446744073709551616.0) return false;
  *negative = whole < 0;
  *magnitude = static_cast<unsigned long long>(std::fabs(whole));
  return true;
}

// ---- Reading text, as VarI4FromStr and its siblings do.

bool IsBlank(OLECHAR c) {
  return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\v' || c == u'\f' ||
         c == 0x00A0;
}

// The text the Var*FromStr functions see: they take a C string, so it ends at a NUL.
std::u16string_view TextOf(BSTR bstr) {
  if (bstr == nullptr) return {};
  std::u16string_view text(bstr, SysStringLen(bstr));
  return text.substr(0, text.find(u'\0'));
}

std::u16string_view TrimBlanks(std::u16string_view text) {
  while (!text.empty() && IsBlank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back()))
    text.remove_suffix(1);
  return text;
}

bool IsDigit(OLECHAR c) {
  return c >= u'0' && c <= u'9';
}

// "&H1F" and "&O17": digits in base 16 or 8, up to 64 bits.
HRESULT ParseRadix(std::u16string_view text, size_t* pos, Decimal* out) {
  const OLECHAR marker = text[*pos + 1];
  const unsigned base = (marker == u'H' || marker == u'h') ? 16 : 8;
  *pos += 2;
  unsigned long long value = 0;
  size_t count = 0;
  for (; *pos < text.size(); ++*pos, ++count) {
    const OLECHAR c = text[*pos];
    unsigned digit;
    if (IsDigit(c)) {
      digit = c - u'0';
    } else if (base == 16 && c >= u'a' && c <= u'f') {
      digit = c - u'a' + 10;
    } else if (base == 16 && c >= u'A' && c <= u'F') {
      digit = c - u'A' + 10;
    } else {
      break;
    }
    if (digit >= base) break;
    if (value > (~0ULL - digit) / base) return DISP_E_OVERFLOW;
    value = value * base + digit;
  }
  if (count == 0) return DISP_E_TYPEMISMATCH;
  out->digits = value == 0 ? std::string() : ToDigits(value);
  out->exponent = 0;
  return S_OK;
}

// Decimal digits with ',' grouping, a '.' fraction and an 'E' exponent.
HRESULT ParseDecimalDigits(std::u16string_view text, size_t* pos, Decimal* out) {
  size_t& i = *pos;
  long digit_count = 0;
  long fraction_digits = 0;
  auto take = [&](OLECHAR c) {
    ++digit_count;
    if (c != u'0' || !out->digits.empty()) out->digits.push_back(static_cast<char>(c));
  };
  for (; i < text.size(); ++i) {
    if (IsDigit(text[i])) {
      take(text[i]);
    } else if (text[i] == u',' && digit_count > 0) {
      continue;
    } else {
      break;
    }
  }
  if (i < text.size() && text[i] == u'.') {
    for (++i; i < text.size() && IsDigit(text[i]); ++i) {
      take(text[i]);
      ++fraction_digits;
    }
  }
  if (digit_count == 0) return DISP_E_TYPEMISMATCH;
  long exponent = 0;
  if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
    size_t j = i + 1;
    bool negative = false;
    if (j < text.size() && (text[j] == u'+' || text[j] == u'-')) negative = text[j++] == u'-';
    if (j >= text.size() || !IsDigit(text[j])) return DISP_E_TYPEMISMATCH;
    for (; j < text.size() && IsDigit(text[j]); ++j) {
      if (exponent < kExponentLimit) exponent = exponent * 10 + (text[j] - u'0');
    }
    if (negative) exponent = -exponent;
    i = j;
  }
  out->exponent = exponent - fraction_digits;
  return S_OK;
}

// Blanks around, a sign before or after or parentheses for negative, then decimal,
// hexadecimal or octal digits; anything else is not a number.
HRESULT ParseNumber(BSTR bstr, Decimal* out) {
  const std::u16string_view text = TrimBlanks(TextOf(bstr));
  *out = Decimal{};
  size_t i = 0;
  bool leading_sign = false;
  bool parenthesised = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    out->negative = text[i] == u'-';
    leading_sign = true;
    ++i;
  } else if (i < text.size() && text[i] == u'(') {
    parenthesised = true;
    ++i;
  }
  HRESULT hr;
  if (i + 1 < text.size() && text[i] == u'&' &&
      (text[i + 1] == u'H' || text[i + 1] == u'h' || text[i + 1] == u'O' || text[i + 1] == u'o')) {
    hr = ParseRadix(text, &i, out);
  } else {
    hr = ParseDecimalDigits(text, &i, out);
  }
  if (FAILED(hr)) return hr;
  if (parenthesised) {
    if (i >= text.size() || text[i] != u')') return DISP_E_TYPEMISMATCH;
    out->negative = true;
    ++i;
  } else if (!leading_sign && i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    out->negative = text[i] == u'-';
    ++i;
  }
  return i == text.size() ? S_OK : DISP_E_TYPEMISMATCH;
}

// ---- DECIMAL.

u128 MantissaOf(const DECIMAL& dec) {
  return (u128{dec.Hi32} << 64) | dec.Lo64;
}

DECIMAL MakeDecimal(bool negative, u128 mantissa, int scale) {
  DECIMAL dec{};
  dec.scale = static_cast<BYTE>(scale);
  dec.sign = negative && mantissa != 0 ? DECIMAL_NEG : 0;
  dec.Hi32 = static_cast<ULONG>(mantissa >> 64);
  dec.Lo64 = static_cast<ULONGLONG>(mantissa);
  return dec;
}

bool IsValidDecimal(const DECIMAL& dec) {
  return dec.scale <= kMaxScale && (dec.sign & ~DECIMAL_NEG) == 0;
}

Decimal DecimalOf(const DECIMAL& dec) {
  Decimal number;
  const u128 mantissa = MantissaOf(dec);
  number.negative = (dec.sign & DECIMAL_NEG) != 0;
  if (mantissa != 0) number.digits = ToDigits(mantissa);
  number.exponent = -dec.scale;
  return number;
}

// The nearest DECIMAL: digits past the 28th decimal place are rounded away, and so are
// fraction digits the 96-bit mantissa has no room for; too large a whole part overflows.
HRESULT ToDecimalValue(const Decimal& number, DECIMAL* out) {
  const long n = static_cast<long>(number.digits.size());
  if (number.digits.empty()) {
    *out =
        MakeDecimal(false, 0, static_cast<int>(std::clamp<long>(-number.exponent, 0, kMaxScale)));
    return S_OK;
  }
  if (number.exponent >= 0) {
    u128 mantissa = 0;
    if (n + number.exponent > 29 || !KeepDigits(number.digits, n + number.exponent, &mantissa) ||
        mantissa > kMaxMantissa) {
      return DISP_E_OVERFLOW;
    }
    *out = MakeDecimal(number.negative, mantissa, 0);
    return S_OK;
  }
  const long scale = -number.exponent;
  // Fraction digits go, rounded, until the rest fits 28 places and 96 bits.
  for (long drop = std::max({scale - kMaxScale, n - 29, 0L}); drop <= scale; ++drop) {
    u128 mantissa = 0;
    if (KeepDigits(number.digits, n - drop, &mantissa) && mantissa <= kMaxMantissa) {
      *out = MakeDecimal(number.negative, mantissa, static_cast<int>(scale - drop));
      return S_OK;
    }
  }
  return DISP_E_OVERFLOW;
}

// ---- Formatting.

std::string DecimalText(const DECIMAL& dec) {
  const u128 mantissa = MantissaOf(dec);
  if (mantissa == 0) return "0";
  std::string digits = ToDigits(mantissa);
  const size_t scale = dec.scale;
  if (digits.size() <= scale) digits.insert(0, scale + 1 - digits.size(), '0');
  std::string whole = digits.substr(0, digits.size() - scale);
  std::string fraction = digits.substr(digits.size() - scale);
  // Trailing zeros of the scale are not shown: 1.50 reads "1.5".
  while (!fraction.empty() && fraction.back() == '0')
    fraction.pop_back();
  std::string text = (dec.sign & DECIMAL_NEG) != 0 ? "-" : "";
  text += whole;
  if (!fraction.empty()) text += "." + fraction;
  return text;
}

// %G with the type's significant digits: shortest of plain and exponent forms.
std::string RealText(double value, int significant_digits) {
  if (std::isnan(value)) return "-1.#IND";
  if (std::isinf(value)) return value < 0 ? "-1.#INF" : "1.#INF";
  if (value == 0) return "0";
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof(buffer), value,
                                    std::chars_format::general, significant_digits);
  std::string text(buffer, result.ptr);
  for (char& c : text) {
    if (c == 'e') c = 'E';
  }
  return text;
}

// A real's value as the decimal digits it shows with the type's significant digits.
Decimal RealDigits(double value, int significant_digits) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof(buffer), value,
                                    std::chars_format::scientific, significant_digits - 1);
  const std::string_view text(buffer, static_cast<size_t>(result.ptr - buffer));
  Decimal number;
  size_t i = 0;
  if (text[i] == '-') {
    number.negative = true;
    ++i;
  }
  for (; i < text.size() && text[i] != 'e'; ++i) {
    if (text[i] != '.') number.digits.push_back(text[i]);
  }
  long exponent = 0;
  std::from_chars(text.data() + i + (text[i + 1] == '+' ? 2 : 1), text.data() + text.size(),
                  exponent);
  number.exponent = exponent - (static_cast<long>(number.digits.size()) - 1);
  while (!number.digits.empty() && number.digits.back() == '0') {
    number.digits.pop_back();
    ++number.exponent;
  }
  if (number.digits.empty()) number.exponent = 0;
  return number;
}

// Correctly rounded: the digits go to strtod as an integer with an exponent.
template <typename Real>
HRESULT ToRealValue(const Decimal& number, Real* out) {
  if (number.digits.empty()) {
    *out = 0;
    return S_OK;
  }
  const std::string text = number.digits + "e" + std::to_string(number.exponent);
  Real value;
  if constexpr (sizeof(Real) == sizeof(float)) {
    value = std::strtof(text.c_str(), nullptr);
  } else {
    value = std::strtod(text.c_str(), nullptr);
  }
  if (std::isinf(value)) return DISP_E_OVERFLOW;
  *out = number.negative ? -value : value;
  return S_OK;
}

HRESULT MakeBstr(std::string_view ascii, VARIANT* out) {
  std::u16string wide(ascii.begin(), ascii.end());
  BSTR bstr = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  if (bstr == nullptr) return E_OUTOFMEMORY;
  out->bstrVal = bstr;
  out->vt = VT_BSTR;
  return S_OK;
}

// ---- Conversions, one per kind of destination. The source is not VT_BYREF.

bool IsIntegerType(VARTYPE vt) {
  return vt == VT_I1 || vt == VT_I2 || vt == VT_I4 || vt == VT_I8 || vt == VT_UI1 || vt == VT_UI2 ||
         vt == VT_UI4 || vt == VT_UI8 || vt == VT_INT || vt == VT_UINT;
}

bool IsConvertible(VARTYPE vt) {
  return vt == VT_EMPTY || IsIntegerType(vt) || vt == VT_R4 || vt == VT_R8 || vt == VT_BOOL ||
         vt == VT_BSTR || vt == VT_DECIMAL;
}

// The source as a sign and a magnitude, rounded half to even when it has a fraction.
HRESULT IntegerOf(const VARIANT& src, bool* negative, u128* magnitude) {
  auto from_signed = [&](long long value) {
    *negative = value < 0;
    *magnitude = value < 0 ? u128{0ULL - static_cast<unsigned long long>(value)}
                           : u128{static_cast<unsigned long long>(value)};
    return S_OK;
  };
  auto from_unsigned = [&](unsigned long long value) {
    *negative = false;
    *magnitude = value;
    return S_OK;
  };
  switch (src.vt) {
    case VT_EMPTY:
      return from_unsigned(0);
    case VT_I1:
      return from_signed(static_cast<signed char>(src.cVal));
    case VT_I2:
      return from_signed(src.iVal);
    case VT_BOOL:
      return from_signed(src.boolVal);
    case VT_I4:
    case VT_INT:
      return from_signed(src.lVal);
    case VT_I8:
      return from_signed(src.llVal);
    case VT_UI1:
      return from_unsigned(src.bVal);
    case VT_UI2:
      return from_unsigned(src.uiVal);
    case VT_UI4:
    case VT_UINT:
      return from_unsigned(src.ulVal);
    case VT_UI8:
      return from_unsigned(src.ullVal);
    case VT_R4:
      return RoundReal(src.fltVal, negative, magnitude) ? S_OK : DISP_E_OVERFLOW;
    case VT_R8:
      return RoundReal(src.dblVal, negative, magnitude) ? S_OK : DISP_E_OVERFLOW;
    case VT_DECIMAL:
      if (!IsValidDecimal(src.decVal)) return E_INVALIDARG;
      *negative = (src.decVal.sign & DECIMAL_NEG) != 0;
      *magnitude = RoundScaled(MantissaOf(src.decVal), src.decVal.scale);
      return S_OK;
    case VT_BSTR: {
      Decimal number;
      const HRESULT hr = ParseNumber(src.bstrVal, &number);
      if (FAILED(hr)) return hr;
      *negative = number.negative;
      return RoundToInteger(number, magnitude) ? S_OK : DISP_E_OVERFLOW;
    }
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

void StoreInteger(VARTYPE vt, long long value, VARIANT* out) {
  switch (vt) {
    case VT_I1:
      out->cVal = static_cast<CHAR>(value);
      break;
    case VT_I2:
      out->iVal = static_cast<SHORT>(value);
      break;
    case VT_I4:
    case VT_INT:
      out->lVal = static_cast<LONG>(value);
      break;
    case VT_UI1:
      out->bVal = static_cast<BYTE>(value);
      break;
    case VT_UI2:
      out->uiVal = static_cast<USHORT>(value);
      break;
    case VT_UI4:
    case VT_UINT:
      out->ulVal = static_cast<ULONG>(value);
      break;
    case VT_I8:
    case VT_UI8:
      out->llVal = value;
      break;
    default:
      break;
  }
  out->vt = vt;
}

HRESULT ToInteger(const VARIANT& src, VARTYPE vt, VARIANT* out) {
  bool is_signed = vt == VT_I1 || vt == VT_I2 || vt == VT_I4 || vt == VT_INT || vt == VT_I8;
  int bits = 32;
  if (vt == VT_I1 || vt == VT_UI1) bits = 8;
  if (vt == VT_I2 || vt == VT_UI2) bits = 16;
  if (vt == VT_I8 || vt == VT_UI8) bits = 64;
  if (src.vt == VT_BOOL && !is_signed) {
    // True is the 16 bits 0xFFFF taken as they stand, not -1 checked against the range.
    StoreInteger(vt, src.boolVal, out);
    return S_OK;
  }
  bool negative = false;
  u128 magnitude = 0;
  const HRESULT hr = IntegerOf(src, &negative, &magnitude);
  if (FAILED(hr)) return hr;
  const u128 max_positive = (u128{1} << (is_signed ? bits - 1 : bits)) - 1;
  const u128 max_negative = is_signed ? u128{1} << (bits - 1) : 0;
  if (magnitude > (negative ? max_negative : max_positive)) return DISP_E_OVERFLOW;
  const unsigned long long bits_value = static_cast<unsigned long long>(magnitude);
  StoreInteger(vt, static_cast<long long>(negative ? 0ULL - bits_value : bits_value), out);
  return S_OK;
}

// The source's digits, for targets that round text and DECIMAL values exactly.
HRESULT ExactOf(const VARIANT& src, Decimal* number) {
  if (src.vt == VT_BSTR) return ParseNumber(src.bstrVal, number);
  if (!IsValidDecimal(src.decVal)) return E_INVALIDARG;
  *number = DecimalOf(src.decVal);
  return S_OK;
}

HRESULT ToR8(const VARIANT& src, VARIANT* out) {
  double value = 0;
  if (src.vt == VT_BSTR || src.vt == VT_DECIMAL) {
    Decimal number;
    HRESULT hr = ExactOf(src, &number);
    if (SUCCEEDED(hr)) hr = ToRealValue(number, &value);
    if (FAILED(hr)) return hr;
  } else if (src.vt == VT_R4) {
    value = src.fltVal;
  } else {
    bool negative = false;
    u128 magnitude = 0;
    IntegerOf(src, &negative, &magnitude);
    value = static_cast<double>(static_cast<unsigned long long>(magnitude));
    if (negative) value = -value;
  }
  out->dblVal = value;
  out->vt = VT_R8;
  return S_OK;
}

HRESULT ToR4(const VARIANT& src, VARIANT* out) {
  float value = 0;
  if (src.vt == VT_BSTR || src.vt == VT_DECIMAL) {
    Decimal number;
    HRESULT hr = ExactOf(src, &number);
    if (SUCCEEDED(hr)) hr = ToRealValue(number, &value);
    if (FAILED(hr)) return hr;
  } else if (src.vt == VT_R8) {
    value = static_cast<float>(src.dblVal);
    if (std::isinf(value) && !std::isinf(src.dblVal)) return DISP_E_OVERFLOW;
  } else {
    bool negative = false;
    u128 magnitude = 0;
    IntegerOf(src, &negative, &magnitude);
    value = static_cast<float>(static_cast<unsigned long long>(magnitude));
    if (negative) value = -value;
  }
  out->fltVal = value;
  out->vt = VT_R4;
  return S_OK;
}

HRESULT ToBool(const VARIANT& src, VARIANT* out) {
  bool value = false;
  switch (src.vt) {
    case VT_R4:
      value = src.fltVal != 0;
      break;
    case VT_R8:
      value = src.dblVal != 0;
      break;
    case VT_DECIMAL:
      value = MantissaOf(src.decVal) != 0;
      break;
    case VT_BSTR: {
      const std::u16string_view text = TrimBlanks(TextOf(src.bstrVal));
      if (winport::detail::EqualsIgnoringAsciiCase(text, std::string_view("true")) ||
          winport::detail::EqualsIgnoringAsciiCase(text, std::string_view("#true#"))) {
        value = true;
      } else if (winport::detail::EqualsIgnoringAsciiCase(text, std::string_view("false")) ||
                 winport::detail::EqualsIgnoringAsciiCase(text, std::string_view("#false#"))) {
        value = false;
      } else {
        Decimal number;
        const HRESULT hr = ParseNumber(src.bstrVal, &number);
        if (FAILED(hr)) return hr;
        value = !number.digits.empty();
      }
      break;
    }
    default: {
      bool negative = false;
      u128 magnitude = 0;
      IntegerOf(src, &negative, &magnitude);
      value = magnitude != 0;
      break;
    }
  }
  out->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  out->vt = VT_BOOL;
  return S_OK;
}

HRESULT ToDecimal(const VARIANT& src, VARIANT* out) {
  DECIMAL dec{};
  HRESULT hr = S_OK;
  switch (src.vt) {
    case VT_BSTR: {
      Decimal number;
      hr = ParseNumber(src.bstrVal, &number);
      if (SUCCEEDED(hr)) hr = ToDecimalValue(number, &dec);
      break;
    }
    case VT_R4:
    case VT_R8: {
      // A real goes over with the digits it would show: 15 for R8, 7 for R4.
      const double value = src.vt == VT_R4 ? src.fltVal : src.dblVal;
      if (!std::isfinite(value)) return DISP_E_OVERFLOW;
      hr = ToDecimalValue(RealDigits(value, src.vt == VT_R4 ? 7 : 15), &dec);
      break;
    }
    default: {
      bool negative = false;
      u128 magnitude = 0;
      IntegerOf(src, &negative, &magnitude);
      dec = MakeDecimal(negative, magnitude, 0);
      break;
    }
  }
  if (FAILED(hr)) return hr;
  out->decVal = dec;
  out->vt = VT_DECIMAL;
  return S_OK;
}

HRESULT ToBstr(const VARIANT& src, USHORT flags, VARIANT* out) {
  switch (src.vt) {
    case VT_EMPTY:
      return MakeBstr("", out);
    case VT_BOOL:
      if ((flags & (VARIANT_ALPHABOOL | VARIANT_LOCALBOOL)) != 0) {
        return MakeBstr(src.boolVal != VARIANT_FALSE ? "True" : "False", out);
      }
      return MakeBstr(src.boolVal != VARIANT_FALSE ? "-1" : "0", out);
    case VT_R4:
      return MakeBstr(RealText(src.fltVal, 7), out);
    case VT_R8:
      return MakeBstr(RealText(src.dblVal, 15), out);
    case VT_DECIMAL:
      if (!IsValidDecimal(src.decVal)) return E_INVALIDARG;
      return MakeBstr(DecimalText(src.decVal), out);
    default: {
      bool negative = false;
      u128 magnitude = 0;
      IntegerOf(src, &negative, &magnitude);
      return MakeBstr((negative ? "-" : "") + ToDigits(magnitude), out);
    }
  }
}

// Converts src, which is not VT_BYREF, into out, which owns nothing yet.
HRESULT Convert(const VARIANT& src, USHORT flags, VARTYPE vt, VARIANT* out) {
  if (vt == VT_EMPTY) return src.vt == VT_NULL ? DISP_E_TYPEMISMATCH : S_OK;
  if (src.vt == vt) return VariantCopy(out, const_cast<VARIANT*>(&src));
  // Arrays convert only to their own type, and nothing converts to a reference.
  if (((src.vt | vt) & (VT_ARRAY | VT_BYREF)) != 0) return DISP_E_TYPEMISMATCH;
  if (!IsConvertible(src.vt) || !IsConvertible(vt)) return DISP_E_TYPEMISMATCH;
  if (IsIntegerType(vt)) return ToInteger(src, vt, out);
  switch (vt) {
    case VT_R4:
      return ToR4(src, out);
    case VT_R8:
      return ToR8(src, out);
    case VT_BOOL:
      return ToBool(src, out);
    case VT_DECIMAL:
      return ToDecimal(src, out);
    case VT_BSTR:
      return ToBstr(src, flags, out);
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

}  // namespace

extern "C" HRESULT VariantChangeTypeEx(VARIANTARG* pvargDest, VARIANTARG* pvarSrc, LCID /*lcid*/,
                                       USHORT wFlags, VARTYPE vt) {
  if (pvargDest == nullptr || pvarSrc == nullptr) return E_INVALIDARG;
  if (!IsValidVariantType(pvarSrc->vt) || !IsValidVariantType(vt)) return DISP_E_BADVARTYPE;
  VARIANT src;
  if ((pvarSrc->vt & VT_BYREF) != 0) {
    const HRESULT hr = ViewReferenced(pvarSrc, &src);
    if (FAILED(hr)) return hr;
    if (!IsValidVariantType(src.vt)) return DISP_E_BADVARTYPE;
  } else {
    std::memcpy(static_cast<void*>(&src), pvarSrc, sizeof(VARIANT));
  }
  // The result is made aside: on failure the destination is untouched, and when it is
  // also the source, the source is only let go once the result exists.
  VARIANT result;
  VariantInit(&result);
  HRESULT hr = Convert(src, wFlags, vt, &result);
  if (FAILED(hr)) return hr;
  hr = VariantClear(pvargDest);
  if (FAILED(hr)) {
    VariantClear(&result);
    return hr;
  }
  std::memcpy(static_cast<void*>(pvargDest), &result, sizeof(VARIANT));
  return S_OK;
}

extern "C" HRESULT VariantChangeType(VARIANTARG* pvargDest, VARIANTARG* pvarSrc, USHORT wFlags,
                                     VARTYPE vt) {
  return VariantChangeTypeEx(pvargDest, pvarSrc, LOCALE_USER_DEFAULT, wFlags, vt);
}
