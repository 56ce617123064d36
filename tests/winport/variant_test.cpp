#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include <winport/windows.h>

#include "platform_skips.h"
#include "wide_matchers.h"

namespace {

using testing_support::NarrowBstr;
using winport::ScopedVariant;

constexpr LCID kEnglishUs = 0x0409;
constexpr SHORT kSentinel = 0x1234;

// An object that only counts its references.
class CountingUnknown : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  ULONG refs = 1;
};

std::string Digits(unsigned __int128 value) {
  std::string text;
  do {
    text.insert(text.begin(), static_cast<char>('0' + static_cast<int>(value % 10)));
    value /= 10;
  } while (value != 0);
  return text;
}

// A DECIMAL written as "[-]mantissa e -scale", e.g. "-150e-2" for -1.50.
DECIMAL ParseDecimal(const char* text) {
  DECIMAL dec{};
  if (*text == '-') {
    dec.sign = DECIMAL_NEG;
    ++text;
  }
  unsigned __int128 mantissa = 0;
  for (; *text >= '0' && *text <= '9'; ++text)
    mantissa = mantissa * 10 + (*text - '0');
  if (*text == 'e') dec.scale = static_cast<BYTE>(-std::atoi(text + 1));
  dec.Hi32 = static_cast<ULONG>(mantissa >> 64);
  dec.Lo64 = static_cast<ULONGLONG>(mantissa);
  return dec;
}

std::string DescribeDecimal(const DECIMAL& dec) {
  const unsigned __int128 mantissa = (static_cast<unsigned __int128>(dec.Hi32) << 64) | dec.Lo64;
  return std::string(dec.sign == DECIMAL_NEG ? "-" : "") + Digits(mantissa) + "e" +
         std::to_string(-static_cast<int>(dec.scale));
}

// Builds a variant of type vt from text, independently of the code under test.
VARIANT Make(VARTYPE vt, const char* text) {
  VARIANT var;
  VariantInit(&var);
  if (vt == VT_R4) {
    var.fltVal = std::strtof(text, nullptr);
  } else if (vt == VT_R8) {
    var.dblVal = std::strtod(text, nullptr);
  } else if (vt == VT_BSTR) {
    var.bstrVal = SysAllocString(winport::Utf8ToWide(text).c_str());
  } else if (vt == VT_DECIMAL) {
    var.decVal = ParseDecimal(text);
  } else if (vt == VT_UI8) {
    var.ullVal = std::strtoull(text, nullptr, 10);
  } else {
    // Little-endian: the narrower integer members read the low bytes of llVal.
    var.llVal = std::strtoll(text, nullptr, 10);
  }
  var.vt = vt;
  return var;
}

// Integers and booleans by their text, reals by value, strings and DECIMALs by text.
void ExpectValue(const VARIANT& var, VARTYPE vt, const char* expected) {
  ASSERT_EQ(var.vt, vt);
  std::string actual;
  switch (vt) {
    case VT_R4:
      EXPECT_EQ(var.fltVal, std::strtof(expected, nullptr));
      return;
    case VT_R8:
      EXPECT_EQ(var.dblVal, std::strtod(expected, nullptr));
      return;
    case VT_BSTR:
      ASSERT_NE(var.bstrVal, nullptr);
      actual = NarrowBstr(var.bstrVal);
      break;
    case VT_DECIMAL:
      actual = DescribeDecimal(var.decVal);
      break;
    case VT_I1:
      actual = std::to_string(static_cast<signed char>(var.cVal));
      break;
    case VT_I2:
    case VT_BOOL:
      actual = std::to_string(var.iVal);
      break;
    case VT_I4:
    case VT_INT:
      actual = std::to_string(var.lVal);
      break;
    case VT_I8:
      actual = std::to_string(var.llVal);
      break;
    case VT_UI1:
      actual = std::to_string(var.bVal);
      break;
    case VT_UI2:
      actual = std::to_string(var.uiVal);
      break;
    case VT_UI4:
    case VT_UINT:
      actual = std::to_string(var.ulVal);
      break;
    case VT_UI8:
      actual = std::to_string(var.ullVal);
      break;
    default:
      return;
  }
  EXPECT_EQ(actual, expected);
}

struct ConvertCase {
  VARTYPE from;
  const char* value;
  VARTYPE to;
  HRESULT hr;
  const char* expected;  // for S_OK only
};

// Converts each case into a separate destination; a failure must leave it untouched.
void RunCaseList(const ConvertCase* cases, size_t count, USHORT flags) {
  for (size_t i = 0; i < count; ++i) {
    const ConvertCase& c = cases[i];
    SCOPED_TRACE(testing::Message()
                 << "case " << i << ": vt " << c.from << " \"" << c.value << "\" -> vt " << c.to);
    VARIANT src = Make(c.from, c.value);
    VARIANT dest;
    VariantInit(&dest);
    dest.vt = VT_I2;
    dest.iVal = kSentinel;
    const HRESULT hr = VariantChangeTypeEx(&dest, &src, kEnglishUs, flags, c.to);
    EXPECT_EQ(hr, c.hr);
    if (c.hr == S_OK) {
      ExpectValue(dest, c.to, c.expected);
    } else {
      EXPECT_EQ(dest.vt, VT_I2);
      EXPECT_EQ(dest.iVal, kSentinel);
    }
    VariantClear(&src);
    VariantClear(&dest);
  }
}

template <size_t N>
void RunCases(const ConvertCase (&cases)[N], USHORT flags = 0) {
  RunCaseList(cases, N, flags);
}

// ---- VariantInit, VariantClear.

TEST(VariantLifetime, InitEmptiesTypeAndReservedWords) {
  VARIANT var;
  std::memset(static_cast<void*>(&var), 0xAB, sizeof(var));
  VariantInit(&var);
  EXPECT_EQ(var.vt, VT_EMPTY);
  EXPECT_EQ(var.wReserved1, 0);
  EXPECT_EQ(var.wReserved2, 0);
  EXPECT_EQ(var.wReserved3, 0);
}

TEST(VariantLifetime, ClearReleasesOwnedObjectButNotAReference) {
  CountingUnknown object;
  IUnknown* pointer = &object;
  VARIANT var;
  VariantInit(&var);
  var.vt = VT_UNKNOWN | VT_BYREF;
  var.ppunkVal = &pointer;
  EXPECT_EQ(VariantClear(&var), S_OK);
  EXPECT_EQ(object.refs, 1u);
  EXPECT_EQ(var.vt, VT_EMPTY);

  object.AddRef();
  var.vt = VT_UNKNOWN;
  var.punkVal = &object;
  EXPECT_EQ(VariantClear(&var), S_OK);
  EXPECT_EQ(object.refs, 1u);
  EXPECT_EQ(var.vt, VT_EMPTY);
}

TEST(VariantLifetime, ClearRefusesInvalidTypesAndLeavesThem) {
  for (VARTYPE vt : {VARTYPE{0xFFF}, VARTYPE{15}, VARTYPE{VT_VECTOR | VT_I4}}) {
    SCOPED_TRACE(vt);
    VARIANT var;
    VariantInit(&var);
    var.vt = vt;
    EXPECT_EQ(VariantClear(&var), DISP_E_BADVARTYPE);
    EXPECT_EQ(var.vt, vt);
  }
}

TEST(VariantLifetime, ClearOfLockedArrayIsRefused) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_I4, 0, 3);
  ASSERT_NE(array, nullptr);
  VARIANT var;
  VariantInit(&var);
  var.vt = VT_ARRAY | VT_I4;
  var.parray = array;
  ASSERT_EQ(SafeArrayLock(array), S_OK);
  EXPECT_EQ(VariantClear(&var), DISP_E_ARRAYISLOCKED);
  // What the variant holds after the refusal is not documented (Wine empties it, winport
  // keeps it so nothing leaks); either way the array itself must survive.
  ASSERT_EQ(SafeArrayUnlock(array), S_OK);
  EXPECT_EQ(SafeArrayDestroy(array), S_OK);
}

// ---- VariantCopy, VariantCopyInd.

TEST(VariantCopy, DeepCopiesStringsKeepingNullEmbeddedNulsAndOddLength) {
  const OLECHAR text[] = OLESTR("a\0b");
  VARIANT src;
  VariantInit(&src);
  src.vt = VT_BSTR;
  src.bstrVal = SysAllocStringLen(text, 3);
  VARIANT dest;
  VariantInit(&dest);
  ASSERT_EQ(VariantCopy(&dest, &src), S_OK);
  ASSERT_EQ(dest.vt, VT_BSTR);
  EXPECT_NE(dest.bstrVal, src.bstrVal);
  EXPECT_EQ(winport::BstrView(dest.bstrVal), winport::WideView(text, 3));
  VariantClear(&src);

  // A null BSTR is a valid empty string and copies as one.
  src.vt = VT_BSTR;
  src.bstrVal = nullptr;
  ASSERT_EQ(VariantCopy(&dest, &src), S_OK);
  EXPECT_EQ(dest.vt, VT_BSTR);
  EXPECT_EQ(SysStringLen(dest.bstrVal), 0u);

  // So is an odd byte count from SysAllocStringByteLen.
  src.bstrVal = SysAllocStringByteLen("abc", 3);
  ASSERT_EQ(VariantCopy(&dest, &src), S_OK);
  EXPECT_EQ(SysStringByteLen(dest.bstrVal), 3u);
  EXPECT_EQ(std::memcmp(dest.bstrVal, "abc", 3), 0);
  VariantClear(&src);
  VariantClear(&dest);
}

TEST(VariantCopy, AddRefsObjectsAndReleasesWhatTheDestinationHeld) {
  CountingUnknown source_object;
  CountingUnknown old_object;
  VARIANT src;
  VariantInit(&src);
  src.vt = VT_UNKNOWN;
  src.punkVal = &source_object;
  VARIANT dest;
  VariantInit(&dest);
  dest.vt = VT_UNKNOWN;
  dest.punkVal = &old_object;
  old_object.AddRef();
  ASSERT_EQ(VariantCopy(&dest, &src), S_OK);
  EXPECT_EQ(dest.punkVal, &source_object);
  EXPECT_EQ(source_object.refs, 2u);
  EXPECT_EQ(old_object.refs, 1u);
  VariantClear(&dest);
  EXPECT_EQ(source_object.refs, 1u);
}

TEST(VariantCopy, CopiesArraysAndDecimals) {
  VARIANT src;
  VariantInit(&src);
  src.vt = VT_ARRAY | VT_I4;
  src.parray = SafeArrayCreateVector(VT_I4, 0, 2);
  LONG index = 1;
  LONG value = 77;
  ASSERT_EQ(SafeArrayPutElement(src.parray, &index, &value), S_OK);
  ScopedVariant dest;
  ASSERT_EQ(dest.Copy(src), S_OK);
  ASSERT_EQ(dest.Type(), VT_ARRAY | VT_I4);
  EXPECT_NE(dest.Get().parray, src.parray);
  LONG copied = 0;
  ASSERT_EQ(SafeArrayGetElement(dest.Get().parray, &index, &copied), S_OK);
  EXPECT_EQ(copied, 77);
  VariantClear(&src);

  // The DECIMAL overlays the variant's header: all of it has to come across.
  VARIANT dec = Make(VT_DECIMAL, "-79228162514264337593543950335e-28");
  ASSERT_EQ(dest.Copy(dec), S_OK);
  ASSERT_EQ(dest.Type(), VT_DECIMAL);
  EXPECT_EQ(DescribeDecimal(dest.Get().decVal), "-79228162514264337593543950335e-28");
}

TEST(VariantCopy, OntoItselfChangesNothing) {
  ScopedVariant var(OLESTR("same"));
  const BSTR before = var.Get().bstrVal;
  EXPECT_EQ(VariantCopy(var.AsInput(), var.AsInput()), S_OK);
  EXPECT_EQ(var.Get().bstrVal, before);
  EXPECT_EQ(NarrowBstr(var.Get().bstrVal), "same");
}

TEST(VariantCopy, AllocationFailureLeavesTheDestination) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  ScopedVariant dest(OLESTR("kept"));
  ScopedVariant src(OLESTR("new"));
  winport::fault::FailCall("SysAllocStringLen", ERROR_OUTOFMEMORY);
  EXPECT_EQ(VariantCopy(dest.AsInput(), src.AsInput()), E_OUTOFMEMORY);
  EXPECT_EQ(NarrowBstr(dest.Get().bstrVal), "kept");
}

TEST(VariantCopy, BadSourceTypeLeavesTheDestination) {
  ScopedVariant dest(OLESTR("kept"));
  VARIANT bad;
  VariantInit(&bad);
  bad.vt = 0xFFF;
  EXPECT_EQ(VariantCopy(dest.AsInput(), &bad), DISP_E_BADVARTYPE);
  EXPECT_EQ(NarrowBstr(dest.Get().bstrVal), "kept");
}

TEST(VariantCopyInd, DereferencesBasicTypes) {
  LONG long_value = -5;
  double double_value = 2.5;
  VARIANT_BOOL bool_value = VARIANT_TRUE;
  DECIMAL dec_value = ParseDecimal("-125e-1");
  BSTR bstr_value = SysAllocString(OLESTR("text"));
  VARIANT inner = Make(VT_I2, "9");

  struct Case {
    VARTYPE vt;
    void* target;
    const char* expected;
  } cases[] = {
      {VT_I4, &long_value, "-5"},     {VT_R8, &double_value, "2.5"},
      {VT_BOOL, &bool_value, "-1"},   {VT_DECIMAL, &dec_value, "-125e-1"},
      {VT_BSTR, &bstr_value, "text"}, {VT_VARIANT, &inner, "9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.vt);
    VARIANT ref;
    VariantInit(&ref);
    ref.vt = c.vt | VT_BYREF;
    ref.byref = c.target;
    VARIANT dest;
    VariantInit(&dest);
    ASSERT_EQ(VariantCopyInd(&dest, &ref), S_OK);
    const VARTYPE expected_vt = c.vt == VT_VARIANT ? VARTYPE{VT_I2} : c.vt;
    ExpectValue(dest, expected_vt, c.expected);
    if (c.vt == VT_BSTR) {
      EXPECT_NE(dest.bstrVal, bstr_value);
    }
    VariantClear(&dest);
    // In place: the reference is replaced by the value.
    ASSERT_EQ(VariantCopyInd(&ref, &ref), S_OK);
    ExpectValue(ref, expected_vt, c.expected);
    VariantClear(&ref);
  }
  SysFreeString(bstr_value);
}

// ---- VariantChangeType.

TEST(VariantChangeType, IntegersAreRangeChecked) {
  const ConvertCase cases[] = {
      {VT_I4, "300", VT_UI1, DISP_E_OVERFLOW, ""},
      {VT_I4, "255", VT_UI1, S_OK, "255"},
      {VT_I4, "-128", VT_I1, S_OK, "-128"},
      {VT_I4, "-129", VT_I1, DISP_E_OVERFLOW, ""},
      {VT_I8, "2147483648", VT_I4, DISP_E_OVERFLOW, ""},
      {VT_I8, "-2147483648", VT_INT, S_OK, "-2147483648"},
      {VT_UI8, "18446744073709551615", VT_UI4, DISP_E_OVERFLOW, ""},
      {VT_UI4, "4294967295", VT_I8, S_OK, "4294967295"},
      {VT_UINT, "4294967295", VT_UI8, S_OK, "4294967295"},
  };
  RunCases(cases);
}

TEST(VariantChangeType, RealsAndDecimalsRoundHalfToEven) {
  const ConvertCase cases[] = {
      {VT_R8, "2.5", VT_I4, S_OK, "2"},
      {VT_R8, "3.5", VT_I4, S_OK, "4"},
      {VT_R8, "-2.5", VT_I4, S_OK, "-2"},
      {VT_R8, "0.5", VT_I4, S_OK, "0"},
      {VT_R4, "1.5", VT_UI1, S_OK, "2"},
      {VT_R8, "254.5", VT_UI1, S_OK, "254"},
      {VT_R8, "255.5", VT_UI1, DISP_E_OVERFLOW, ""},
      {VT_R8, "-0.4", VT_UI4, S_OK, "0"},
      {VT_R8, "-0.6", VT_UI4, DISP_E_OVERFLOW, ""},
      {VT_R8, "2147483647.5", VT_I4, DISP_E_OVERFLOW, ""},
      {VT_R8, "9223372036854775808", VT_I8, DISP_E_OVERFLOW, ""},
      {VT_R8, "9223372036854775808", VT_UI8, S_OK, "9223372036854775808"},
      {VT_R8, "1e20", VT_UI8, DISP_E_OVERFLOW, ""},
      {VT_DECIMAL, "25e-1", VT_I4, S_OK, "2"},
      {VT_DECIMAL, "35e-1", VT_I4, S_OK, "4"},
      {VT_DECIMAL, "-25e-1", VT_I4, S_OK, "-2"},
      {VT_DECIMAL, "-2501e-3", VT_I4, S_OK, "-3"},
      {VT_DECIMAL, "18446744073709551615e0", VT_UI8, S_OK, "18446744073709551615"},
      {VT_DECIMAL, "79228162514264337593543950335e0", VT_I8, DISP_E_OVERFLOW, ""},
  };
  RunCases(cases);
}

TEST(VariantChangeType, BooleansAreMinusOneOrZero) {
  const ConvertCase cases[] = {
      {VT_I4, "5", VT_BOOL, S_OK, "-1"},
      {VT_I4, "0", VT_BOOL, S_OK, "0"},
      {VT_R8, "0.1", VT_BOOL, S_OK, "-1"},
      {VT_DECIMAL, "0e-2", VT_BOOL, S_OK, "0"},
      {VT_DECIMAL, "1e-28", VT_BOOL, S_OK, "-1"},
      {VT_BOOL, "-1", VT_I4, S_OK, "-1"},
      {VT_BOOL, "-1", VT_R8, S_OK, "-1"},
      // The 16 bits of true are reinterpreted for unsigned types, not range checked.
      {VT_BOOL, "-1", VT_UI1, S_OK, "255"},
      {VT_BOOL, "-1", VT_UI2, S_OK, "65535"},
      {VT_BOOL, "-1", VT_UI4, S_OK, "4294967295"},
  };
  RunCases(cases);
}

TEST(VariantChangeType, NumbersToStrings) {
  const ConvertCase cases[] = {
      {VT_I4, "-42", VT_BSTR, S_OK, "-42"},
      {VT_UI8, "18446744073709551615", VT_BSTR, S_OK, "18446744073709551615"},
      {VT_I8, "-9223372036854775808", VT_BSTR, S_OK, "-9223372036854775808"},
      // R8 shows at most 15 significant digits, in %G's choice of form.
      {VT_R8, "1.5", VT_BSTR, S_OK, "1.5"},
      {VT_R8, "-0.25", VT_BSTR, S_OK, "-0.25"},
      {VT_R8, "0.1", VT_BSTR, S_OK, "0.1"},
      {VT_R8, "0.30000000000000004", VT_BSTR, S_OK, "0.3"},
      {VT_R8, "3.141592653589793", VT_BSTR, S_OK, "3.14159265358979"},
      {VT_R8, "1e20", VT_BSTR, S_OK, "1E+20"},
      {VT_R8, "1e-5", VT_BSTR, S_OK, "1E-05"},
      {VT_R8, "0.0001", VT_BSTR, S_OK, "0.0001"},
      {VT_R8, "1e14", VT_BSTR, S_OK, "100000000000000"},
      {VT_R8, "1e15", VT_BSTR, S_OK, "1E+15"},
      {VT_R8, "123456789012345678", VT_BSTR, S_OK, "1.23456789012346E+17"},
      // R4 shows at most 7.
      {VT_R4, "0.1", VT_BSTR, S_OK, "0.1"},
      {VT_R4, "3.14159274", VT_BSTR, S_OK, "3.141593"},
      {VT_R4, "16777216", VT_BSTR, S_OK, "1.677722E+07"},
      {VT_DECIMAL, "-150e-2", VT_BSTR, S_OK, "-1.5"},
      {VT_DECIMAL, "5e-1", VT_BSTR, S_OK, "0.5"},
      {VT_DECIMAL, "1e-28", VT_BSTR, S_OK, "0.0000000000000000000000000001"},
      {VT_DECIMAL, "79228162514264337593543950335e0", VT_BSTR, S_OK,
       "79228162514264337593543950335"},
  };
  RunCases(cases);
}

TEST(VariantChangeType, BooleanTextNeedsAlphaBool) {
  const ConvertCase numeric[] = {
      {VT_BOOL, "-1", VT_BSTR, S_OK, "-1"},
      {VT_BOOL, "0", VT_BSTR, S_OK, "0"},
  };
  RunCases(numeric);
  const ConvertCase alpha[] = {
      {VT_BOOL, "-1", VT_BSTR, S_OK, "True"},
      {VT_BOOL, "0", VT_BSTR, S_OK, "False"},
  };
  RunCases(alpha, VARIANT_ALPHABOOL);
}

TEST(VariantChangeType, StringsToIntegers) {
  const ConvertCase cases[] = {
      {VT_BSTR, " 12 ", VT_I4, S_OK, "12"},
      {VT_BSTR, "+7", VT_I4, S_OK, "7"},
      {VT_BSTR, "7-", VT_I4, S_OK, "-7"},
      {VT_BSTR, "(7)", VT_I4, S_OK, "-7"},
      {VT_BSTR, "1,234,567", VT_I4, S_OK, "1234567"},
      {VT_BSTR, "2.5", VT_I4, S_OK, "2"},
      {VT_BSTR, "3.5", VT_I4, S_OK, "4"},
      {VT_BSTR, "-2.5", VT_I4, S_OK, "-2"},
      {VT_BSTR, "2.500001", VT_I4, S_OK, "3"},
      {VT_BSTR, "1e3", VT_I4, S_OK, "1000"},
      {VT_BSTR, "&H1F", VT_I4, S_OK, "31"},
      {VT_BSTR, "&hff", VT_UI1, S_OK, "255"},
      {VT_BSTR, "&O17", VT_I4, S_OK, "15"},
      {VT_BSTR, "-2147483648", VT_I4, S_OK, "-2147483648"},
      {VT_BSTR, "18446744073709551615", VT_UI8, S_OK, "18446744073709551615"},
      {VT_BSTR, "2147483648", VT_I4, DISP_E_OVERFLOW, ""},
      {VT_BSTR, "256", VT_UI1, DISP_E_OVERFLOW, ""},
      {VT_BSTR, "-1", VT_UI4, DISP_E_OVERFLOW, ""},
      {VT_BSTR, "1e30", VT_I8, DISP_E_OVERFLOW, ""},
      {VT_BSTR, "12abc", VT_I4, DISP_E_TYPEMISMATCH, ""},
      {VT_BSTR, "", VT_I4, DISP_E_TYPEMISMATCH, ""},
      {VT_BSTR, "   ", VT_I4, DISP_E_TYPEMISMATCH, ""},
      {VT_BSTR, ".", VT_I4, DISP_E_TYPEMISMATCH, ""},
      {VT_BSTR, "1e", VT_I4, DISP_E_TYPEMISMATCH, ""},
      {VT_BSTR, "(7", VT_I4, DISP_E_TYPEMISMATCH, ""},
      {VT_BSTR, "-7-", VT_I4, DISP_E_TYPEMISMATCH, ""},
      {VT_BSTR, "&O18", VT_I4, DISP_E_TYPEMISMATCH, ""},
      {VT_BSTR, "&H", VT_I4, DISP_E_TYPEMISMATCH, ""},
      {VT_BSTR, "1 2", VT_I4, DISP_E_TYPEMISMATCH, ""},
  };
  RunCases(cases);
}

TEST(VariantChangeType, StringsToRealsAndDecimals) {
  const ConvertCase cases[] = {
      {VT_BSTR, "1.5", VT_R8, S_OK, "1.5"},
      {VT_BSTR, " -1,000.25 ", VT_R8, S_OK, "-1000.25"},
      {VT_BSTR, "2.5e-3", VT_R8, S_OK, "0.0025"},
      {VT_BSTR, "1e-400", VT_R8, S_OK, "0"},
      {VT_BSTR, "1e400", VT_R8, DISP_E_OVERFLOW, ""},
      {VT_BSTR, "0.1", VT_R4, S_OK, "0.1"},
      {VT_BSTR, "3.5e38", VT_R4, DISP_E_OVERFLOW, ""},
      {VT_BSTR, "-12.5e1", VT_DECIMAL, S_OK, "-125e0"},
      {VT_BSTR, "79228162514264337593543950335", VT_DECIMAL, S_OK,
       "79228162514264337593543950335e0"},
      {VT_BSTR, "0.1234567890123456789012345678", VT_DECIMAL, S_OK,
       "1234567890123456789012345678e-28"},
      {VT_BSTR, "79228162514264337593543950336", VT_DECIMAL, DISP_E_OVERFLOW, ""},
      {VT_BSTR, "1e29", VT_DECIMAL, DISP_E_OVERFLOW, ""},
      {VT_BSTR, "1.5x", VT_DECIMAL, DISP_E_TYPEMISMATCH, ""},
  };
  RunCases(cases);
}

TEST(VariantChangeType, StringsToBooleans) {
  const ConvertCase cases[] = {
      {VT_BSTR, "True", VT_BOOL, S_OK, "-1"},
      {VT_BSTR, "false", VT_BOOL, S_OK, "0"},
      {VT_BSTR, "#TRUE#", VT_BOOL, S_OK, "-1"},
      {VT_BSTR, "0", VT_BOOL, S_OK, "0"},
      {VT_BSTR, "2", VT_BOOL, S_OK, "-1"},
      {VT_BSTR, "-0.0", VT_BOOL, S_OK, "0"},
      {VT_BSTR, "yes", VT_BOOL, DISP_E_TYPEMISMATCH, ""},
      {VT_BSTR, "", VT_BOOL, DISP_E_TYPEMISMATCH, ""},
  };
  RunCases(cases);
}

TEST(VariantChangeType, RealsAndDecimalsBetweenEachOther) {
  const ConvertCase cases[] = {
      // R8 goes to DECIMAL through its 15 significant digits, R4 through 7.
      {VT_R8, "0.1", VT_DECIMAL, S_OK, "1e-1"},
      {VT_R8, "-1e20", VT_DECIMAL, S_OK, "-100000000000000000000e0"},
      {VT_R8, "1e30", VT_DECIMAL, DISP_E_OVERFLOW, ""},
      {VT_R4, "0.1", VT_DECIMAL, S_OK, "1e-1"},
      {VT_I4, "-42", VT_DECIMAL, S_OK, "-42e0"},
      {VT_UI8, "18446744073709551615", VT_DECIMAL, S_OK, "18446744073709551615e0"},
      {VT_DECIMAL, "-15e-1", VT_R8, S_OK, "-1.5"},
      {VT_DECIMAL, "1e-1", VT_R4, S_OK, "0.1"},
      {VT_R8, "1e39", VT_R4, DISP_E_OVERFLOW, ""},
      {VT_R8, "1e-50", VT_R4, S_OK, "0"},
      {VT_R4, "0.1", VT_R8, S_OK, "0.100000001490116119384765625"},
      {VT_I8, "-9007199254740993", VT_R8, S_OK, "-9007199254740992"},
  };
  RunCases(cases);
}

TEST(VariantChangeType, EmptyAndNull) {
  const ConvertCase cases[] = {
      {VT_EMPTY, "", VT_I4, S_OK, "0"},
      {VT_EMPTY, "", VT_R8, S_OK, "0"},
      {VT_EMPTY, "", VT_BOOL, S_OK, "0"},
      {VT_EMPTY, "", VT_DECIMAL, S_OK, "0e0"},
      {VT_EMPTY, "", VT_BSTR, S_OK, ""},
      {VT_NULL, "", VT_I4, DISP_E_TYPEMISMATCH, ""},
      {VT_NULL, "", VT_EMPTY, DISP_E_TYPEMISMATCH, ""},
      {VT_NULL, "", VT_NULL, S_OK, ""},
      {VT_I4, "5", VT_EMPTY, S_OK, ""},
      {VT_BSTR, "x", VT_EMPTY, S_OK, ""},
      {VT_I4, "5", 0xFFF, DISP_E_BADVARTYPE, ""},
      {0xFFF, "", VT_I4, DISP_E_BADVARTYPE, ""},
      {VT_I4, "5", VT_I4 | VT_BYREF, DISP_E_TYPEMISMATCH, ""},
  };
  RunCases(cases);
}

TEST(VariantChangeType, StringReadingStopsAtEmbeddedNul) {
  // VarI4FromStr and friends take a C string, so the first NUL ends the text.
  const OLECHAR text[] = OLESTR("42\0junk");
  VARIANT src;
  VariantInit(&src);
  src.vt = VT_BSTR;
  src.bstrVal = SysAllocStringLen(text, 7);
  ScopedVariant dest;
  ASSERT_EQ(VariantChangeType(dest.Receive(), &src, 0, VT_I4), S_OK);
  EXPECT_EQ(dest.Get().lVal, 42);
  VariantClear(&src);
}

TEST(VariantChangeType, InPlaceReplacesOnSuccessAndKeepsOnFailure) {
  ScopedVariant var(OLESTR("42"));
  ASSERT_EQ(var.ChangeType(VT_I4), S_OK);
  EXPECT_EQ(var.Type(), VT_I4);
  EXPECT_EQ(var.Get().lVal, 42);
  ASSERT_EQ(var.ChangeType(VT_BSTR), S_OK);
  EXPECT_EQ(NarrowBstr(var.Get().bstrVal), "42");

  ScopedVariant text(OLESTR("abc"));
  const BSTR before = text.Get().bstrVal;
  EXPECT_EQ(text.ChangeType(VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(text.Type(), VT_BSTR);
  EXPECT_EQ(text.Get().bstrVal, before);
}

TEST(VariantChangeType, DereferencesByRefSources) {
  LONG value = 7;
  VARIANT ref;
  VariantInit(&ref);
  ref.vt = VT_I4 | VT_BYREF;
  ref.plVal = &value;
  ScopedVariant dest;
  ASSERT_EQ(VariantChangeType(dest.Receive(), &ref, 0, VT_BSTR), S_OK);
  EXPECT_EQ(NarrowBstr(dest.Get().bstrVal), "7");

  BSTR text = SysAllocString(OLESTR("-3"));
  ref.vt = VT_BSTR | VT_BYREF;
  ref.pbstrVal = &text;
  ASSERT_EQ(VariantChangeType(&ref, &ref, 0, VT_I2), S_OK);
  EXPECT_EQ(ref.vt, VT_I2);
  EXPECT_EQ(ref.iVal, -3);
  EXPECT_EQ(NarrowBstr(text), "-3");  // the referenced string is not the variant's to free
  SysFreeString(text);
}

TEST(VariantChangeType, ArraysConvertOnlyToTheirOwnType) {
  VARIANT src;
  VariantInit(&src);
  src.vt = VT_ARRAY | VT_BSTR;
  src.parray = SafeArrayCreateVector(VT_BSTR, 0, 1);
  LONG index = 0;
  BSTR element = SysAllocString(OLESTR("item"));
  ASSERT_EQ(SafeArrayPutElement(src.parray, &index, element), S_OK);
  SysFreeString(element);

  ScopedVariant dest;
  ASSERT_EQ(VariantChangeType(dest.Receive(), &src, 0, VT_ARRAY | VT_BSTR), S_OK);
  ASSERT_EQ(dest.Type(), VT_ARRAY | VT_BSTR);
  EXPECT_NE(dest.Get().parray, src.parray);
  BSTR copied = nullptr;
  ASSERT_EQ(SafeArrayGetElement(dest.Get().parray, &index, &copied), S_OK);
  EXPECT_EQ(NarrowBstr(copied), "item");
  SysFreeString(copied);

  for (VARTYPE vt : {VARTYPE{VT_ARRAY | VT_I4}, VARTYPE{VT_BSTR}}) {
    EXPECT_EQ(VariantChangeType(dest.Receive(), &src, 0, vt), DISP_E_TYPEMISMATCH);
  }
  VARIANT number = Make(VT_I4, "1");
  EXPECT_EQ(VariantChangeType(dest.Receive(), &number, 0, VT_ARRAY | VT_I4), DISP_E_TYPEMISMATCH);
  VariantClear(&src);
}

TEST(VariantChangeType, AllocationFailureLeavesTheDestination) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  for (VARTYPE from : {VARTYPE{VT_I4}, VARTYPE{VT_EMPTY}, VARTYPE{VT_R8}}) {
    SCOPED_TRACE(from);
    VARIANT src = Make(from, "42");
    winport::fault::FailCall("SysAllocStringLen", ERROR_OUTOFMEMORY);
    EXPECT_EQ(VariantChangeType(&src, &src, 0, VT_BSTR), E_OUTOFMEMORY);
    EXPECT_EQ(src.vt, from);
    if (from == VT_I4) {
      EXPECT_EQ(src.lVal, 42);
    }
  }
}

}  // namespace
