// The 8-bit literals of the dialog frame around a listing. The framed documents are compared
// byte for byte where the listings are made (tests/admin).
#include <gtest/gtest.h>

#include <winport/scoped_bstr.h>
#include <winport/wide.h>
#include <winport/windows.h>

#include "documents/dialog_skeleton.h"
#include "errors/com_error.h"
#include "platform_skips.h"
#include "wide_matchers.h"

namespace quillmere {
namespace {

using testing_support::NarrowBstr;

// Each of the title bar's three literal values is a conversion that can fail.
TEST(DialogDocument, EachLiteralConversionFailureRaises) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  for (unsigned nth = 1; nth <= 3; ++nth) {
    winport::fault::FailCall("SysAllocStringLen", ERROR_NOT_ENOUGH_MEMORY, nth);
    try {
      CDialogSkeleton dialog(OLESTR("T"));
      ADD_FAILURE() << "no exception with conversion " << nth << " failing";
    } catch (const _com_error& error) {
      EXPECT_EQ(error.Error(), E_OUTOFMEMORY) << "conversion " << nth;
      EXPECT_EQ(error.ErrorInfo(), nullptr) << "conversion " << nth;
    }
    winport::fault::Reset();
  }
}

// Null stays null; an empty text is an empty string, not a null one; the length leaves
// out the terminator.
TEST(AnsiToBstr, ConvertsLiterals) {
  EXPECT_EQ(AnsiToBstr(nullptr).Get(), nullptr);
  const winport::ScopedBstr empty = AnsiToBstr("");
  ASSERT_NE(empty.Get(), nullptr);
  EXPECT_EQ(empty.Length(), 0u);
  const winport::ScopedBstr system = AnsiToBstr("system");
  EXPECT_EQ(system.Length(), 6u);
  EXPECT_EQ(NarrowBstr(system.Get()), "system");
}

// An 8-bit text is read in the ANSI code page, not as UTF-8: 0xE9 is one character.
TEST(AnsiToBstr, UsesThreadCodePage) {
  OLECHAR probe[2] = {};
  if (MultiByteToWideChar(CP_THREAD_ACP, 0, "\xE9", 1, probe, 2) != 1 || probe[0] != 0xE9) {
    GTEST_SKIP() << "the thread's ANSI code page is not Windows-1252 here";
  }
  EXPECT_EQ(NarrowBstr(AnsiToBstr("caf\xE9 \x80").Get()), "caf\u00e9 \u20ac");
}

}  // namespace
}  // namespace quillmere
