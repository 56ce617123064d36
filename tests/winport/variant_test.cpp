#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include <winport/windows.h>

#include "platform_skips.h"
#include "wide_matchers.h"

namespace {

using testing_support::NarrowBstr;
using winport::ScopedVariant;

constexpr LCID kEnglishUs = 0x0409;
constexpr SHORT kSentinel = 0x1234;

// Builds a variant of type vt from text, independently of the code under test.
VARIANT Make(VARTYPE vt, const char* text) {
  VARIANT var;
  VariantInit(&var);
  if (vt == VT_R8) {
    var.dblVal = std::strtod(text, nullptr);
  } else if (vt == VT_BSTR) {
    var.bstrVal = SysAllocString(winport::Utf8ToWide(text).c_str());
  } else {
    // Little-endian: the narrower integer members read the low bytes of llVal.
    var.llVal = std::strtoll(text, nullptr, 10);
  }
  var.vt = vt;
  return var;
}

// Integers and booleans in decimal, strings as they stand (reals are compared by value).
std::string Describe(const VARIANT& var) {
  switch (var.vt) {
    case VT_BSTR:
      return NarrowBstr(var.bstrVal);
    case VT_I2:
    case VT_BOOL:
      return std::to_string(var.iVal);
    case VT_I4:
      return std::to_string(var.lVal);
    default:
      return "";
  }
}

struct ConvertCase {
  VARTYPE from;
  const char* value;
  VARTYPE to;
  HRESULT hr;
  const char* expected;  // for S_OK only
};

// Converts each case into a destination of its own; a failure must leave it untouched.
template <size_t N>
void RunCases(const ConvertCase (&cases)[N], USHORT flags = 0) {
  for (const ConvertCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "vt " << c.from << " \"" << c.value << "\" -> vt " << c.to);
    VARIANT src = Make(c.from, c.value);
    VARIANT dest;
    VariantInit(&dest);
    dest.vt = VT_I2;
    dest.iVal = kSentinel;
    EXPECT_EQ(VariantChangeTypeEx(&dest, &src, kEnglishUs, flags, c.to), c.hr);
    if (c.hr != S_OK) {
      EXPECT_EQ(dest.vt, VT_I2);
      EXPECT_EQ(dest.iVal, kSentinel);
    } else if (c.to == VT_R8) {
      EXPECT_EQ(dest.vt, VT_R8);
      EXPECT_EQ(dest.dblVal, std::strtod(c.expected, nullptr));
    } else {
      EXPECT_EQ(dest.vt, c.to);
      EXPECT_EQ(Describe(dest), c.expected);
    }
    VariantClear(&src);
    VariantClear(&dest);
  }
}

TEST(VariantChangeType, ConvertsAsWindowsDoes) {
  const ConvertCase cases[] = {
      // Reals round half to even; integers are range checked.
      {VT_R8, "3.5", VT_I4, S_OK, "4"},
      {VT_BSTR, "2.5", VT_I4, S_OK, "2"},
      {VT_BSTR, "2147483648", VT_I4, DISP_E_OVERFLOW, ""},
      // Booleans are -1 or 0.
      {VT_I4, "5", VT_BOOL, S_OK, "-1"},
      {VT_BOOL, "-1", VT_BSTR, S_OK, "-1"},
      // Numbers to text; R8 shows at most 15 significant digits, in %G's choice of form.
      {VT_I4, "-42", VT_BSTR, S_OK, "-42"},
      {VT_R8, "0.30000000000000004", VT_BSTR, S_OK, "0.3"},
      {VT_R8, "1e15", VT_BSTR, S_OK, "1E+15"},
      // Text to numbers: blanks, grouping, &H; anything else is a mismatch.
      {VT_BSTR, " 12 ", VT_I4, S_OK, "12"},
      {VT_BSTR, "1,234,567", VT_I4, S_OK, "1234567"},
      {VT_BSTR, "&H1F", VT_I4, S_OK, "31"},
      {VT_BSTR, "12abc", VT_I4, DISP_E_TYPEMISMATCH, ""},
      // Text to booleans: the words, or a number.
      {VT_BSTR, "True", VT_BOOL, S_OK, "-1"},
      {VT_BSTR, "2", VT_BOOL, S_OK, "-1"},
      {VT_BSTR, "yes", VT_BOOL, DISP_E_TYPEMISMATCH, ""},
      // Empty is "", Null converts only to itself.
      {VT_EMPTY, "", VT_BSTR, S_OK, ""},
      {VT_NULL, "", VT_I4, DISP_E_TYPEMISMATCH, ""},
      {VT_I4, "5", 0xFFF, DISP_E_BADVARTYPE, ""},
  };
  RunCases(cases);
  const ConvertCase alpha[] = {{VT_BOOL, "-1", VT_BSTR, S_OK, "True"}};
  RunCases(alpha, VARIANT_ALPHABOOL);
}

TEST(VariantChangeType, InPlaceReplacesOnSuccessAndKeepsOnFailure) {
  ScopedVariant var(OLESTR("42"));
  ASSERT_EQ(var.ChangeType(VT_I4), S_OK);
  EXPECT_EQ(var.Get().lVal, 42);
  ScopedVariant text(OLESTR("abc"));
  const BSTR before = text.Get().bstrVal;
  EXPECT_EQ(text.ChangeType(VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(text.Type(), VT_BSTR);
  EXPECT_EQ(text.Get().bstrVal, before);
}

TEST(VariantChangeType, AllocationFailureLeavesTheSource) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  VARIANT src = Make(VT_I4, "42");
  winport::fault::FailCall("SysAllocStringLen", ERROR_OUTOFMEMORY);
  EXPECT_EQ(VariantChangeType(&src, &src, 0, VT_BSTR), E_OUTOFMEMORY);
  EXPECT_EQ(src.vt, VT_I4);
}

}  // namespace
