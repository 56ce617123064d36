// The dialog document around a listing, byte for byte, and the 8-bit literals of its frame.
#include <gtest/gtest.h>

#include <utility>

#include <winport/scoped_bstr.h>
#include <winport/wide.h>
#include <winport/windows.h>

#include "documents/dialog_skeleton.h"
#include "documents/listing_document.h"
#include "documents/xml_element.h"
#include "errors/com_error.h"
#include "platform_skips.h"
#include "wide_matchers.h"

namespace quillmere {
namespace {

using testing_support::Narrow;
using testing_support::NarrowBstr;

// The listing's content appended piece by piece, as the walk writes it.
TEST(DialogDocument, FramesListing) {
  // the listing's content, the document
  const std::pair<const char*, const char*> cases[] = {
      {"",
       "<QMSDIALOG><QMSDIALOGBAR><QMSSTATIC fontface=\"system\" fontsize=\"\" "
       "txtcolor=\"#FFFFFF\" text=\"Administrative Session List\"/> \n</QMSDIALOGBAR> \n"
       "<QMSDIALOGCONTENT><ADMINSESSIONLIST/> \n</QMSDIALOGCONTENT> \n</QMSDIALOG>"},
      {"<SESSION id=\"1\"><GROUP>Admins</GROUP></SESSION>",
       "<QMSDIALOG><QMSDIALOGBAR><QMSSTATIC fontface=\"system\" fontsize=\"\" "
       "txtcolor=\"#FFFFFF\" text=\"Administrative Session List\"/> \n</QMSDIALOGBAR> \n"
       "<QMSDIALOGCONTENT><ADMINSESSIONLIST><SESSION id=\"1\"><GROUP>Admins</GROUP></SESSION>"
       "</ADMINSESSIONLIST> \n</QMSDIALOGCONTENT> \n</QMSDIALOG>"},
  };
  for (const auto& [content, expected] : cases) {
    CListingDocument listing(OLESTR("Administrative Session List"), OLESTR("ADMINSESSIONLIST"));
    for (const char* piece = content; *piece != '\0'; ++piece)
      listing.Content() += OLECHAR(*piece);
    EXPECT_EQ(Narrow(listing.Finish()), expected);
  }
}

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
