// A setting's value read from an edited text, its row in the settings table, and copies.
#include <gtest/gtest.h>

#include <string>

#include <winport/scoped_variant.h>
#include <winport/windows.h>

#include "errors/com_error.h"
#include "settings/setting_record.h"
#include "wide_matchers.h"

namespace quillmere {
namespace {

using testing_support::Narrow;

struct TextCase {
  ULONG cimType;
  const OLECHAR* text;
  const char* stored;  // the value as text after the edit
  VARTYPE type;
};

TEST(SettingRecord, ValueFromTextFollowsTheType) {
  const TextCase cases[] = {
      {kSettingInteger, OLESTR("42"), "42", VT_I4},
      {kSettingInteger, OLESTR("12abc"), "12", VT_I4},
      {kSettingInteger, OLESTR("abc"), "0", VT_I4},
      {kSettingInteger, OLESTR("-7"), "-7", VT_I4},
      {kSettingReal, OLESTR("2.5x"), "2.5", VT_R4},
      {kSettingBoolean, OLESTR("t"), "-1", VT_BOOL},
      {kSettingBoolean, OLESTR("True"), "-1", VT_BOOL},
      {kSettingBoolean, OLESTR("1"), "-1", VT_BOOL},
      {kSettingBoolean, OLESTR("yes"), "0", VT_BOOL},
      {kSettingBoolean, OLESTR(""), "0", VT_BOOL},
      {kSettingString, OLESTR("a<b"), "a<b", VT_BSTR},
      // What the ANSI code page cannot hold does not survive.
      {kSettingString, OLESTR("x\x4E2D"), "x?", VT_BSTR},
      // An unknown type keeps its value.
      {5, OLESTR("9"), "5", VT_I4},
  };
  for (const TextCase& test : cases) {
    SettingRecord record;
    record.CimType = test.cimType;
    record.Value = winport::ScopedVariant(LONG{5});
    EXPECT_TRUE(record.SetValueFromText(test.text));
    EXPECT_EQ(record.Value.Type(), test.type) << Narrow(test.text);
    winport::ScopedVariant text;
    ASSERT_EQ(VariantChangeType(text.Receive(), record.Value.AsInput(), 0, VT_BSTR), S_OK);
    EXPECT_EQ(Narrow(text.Get().bstrVal), test.stored) << Narrow(test.text);
  }
}

TEST(SettingRecord, ValueWithoutTextRaisesItsConversionFailure) {
  VARIANT null;
  VariantInit(&null);
  null.vt = VT_NULL;
  SettingRecord record;
  record.Value.Reset(null);
  try {
    FormatSettingRow(record);
    ADD_FAILURE() << "a null value was formatted";
  } catch (const _com_error& error) {
    EXPECT_EQ(error.Error(), DISP_E_TYPEMISMATCH);
  }
}

}  // namespace
}  // namespace quillmere
