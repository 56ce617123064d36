// 8-bit literals into BSTRs through the thread's ANSI code page.
#include <gtest/gtest.h>

#include <string>

#include <winport/scoped_bstr.h>
#include <winport/wide.h>
#include <winport/windows.h>

#include "documents/xml_element.h"
#include "errors/com_error.h"
#include "platform_skips.h"
#include "wide_matchers.h"

namespace quillmere {
namespace {

using testing_support::NarrowBstr;

TEST(AnsiToBstr, NullGivesNull) {
  EXPECT_EQ(AnsiToBstr(nullptr).Get(), nullptr);
}

struct AsciiCase {
  const char* text;
  UINT length;
};
void PrintTo(const AsciiCase& c, std::ostream* out) {
  *out << (*c.text != '\0' ? c.text : "empty");
}

class AnsiToBstrAscii : public testing::TestWithParam<AsciiCase> {};

TEST_P(AnsiToBstrAscii, CopiesTextWithoutTerminatorInLength) {
  const winport::ScopedBstr bstr = AnsiToBstr(GetParam().text);
  // Empty text is an empty string, not a null one.
  ASSERT_NE(bstr.Get(), nullptr);
  EXPECT_EQ(bstr.Length(), GetParam().length);
  EXPECT_EQ(NarrowBstr(bstr.Get()), GetParam().text);
  EXPECT_EQ(bstr.Get()[bstr.Length()], OLECHAR{0});
}

INSTANTIATE_TEST_SUITE_P(Literals, AnsiToBstrAscii,
                         testing::Values(AsciiCase{"", 0}, AsciiCase{"system", 6},
                                         AsciiCase{"#FFFFFF", 7}, AsciiCase{"-2147483648", 11}));

// An 8-bit text is read in the ANSI code page, not as UTF-8: 0xE9 is one character.
TEST(AnsiToBstr, UsesThreadCodePage) {
  OLECHAR probe[2] = {};
  if (MultiByteToWideChar(CP_THREAD_ACP, 0, "\xE9", 1, probe, 2) != 1 || probe[0] != 0xE9) {
    GTEST_SKIP() << "the thread's ANSI code page is not Windows-1252 here";
  }
  const winport::ScopedBstr bstr = AnsiToBstr("caf\xE9 \x80");
  EXPECT_EQ(NarrowBstr(bstr.Get()), "caf\u00e9 \u20ac");
}

TEST(AnsiToBstr, AllocationFailureRaisesOutOfMemory) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  winport::fault::FailCall("SysAllocStringLen", ERROR_NOT_ENOUGH_MEMORY);
  try {
    AnsiToBstr("system");
    FAIL() << "no exception";
  } catch (const _com_error& error) {
    EXPECT_EQ(error.Error(), E_OUTOFMEMORY);
    EXPECT_EQ(error.ErrorInfo(), nullptr);
  }
  // Only the one call was made to fail: the next conversion works.
  EXPECT_EQ(NarrowBstr(AnsiToBstr("system").Get()), "system");
}

}  // namespace
}  // namespace quillmere
