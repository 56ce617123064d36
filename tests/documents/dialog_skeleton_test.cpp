// The dialog frame around a listing, byte for byte.
#include "documents/dialog_skeleton.h"

#include <gtest/gtest.h>

#include <string>

#include <winport/wide.h>
#include <winport/windows.h>

#include "documents/listing_document.h"
#include "errors/com_error.h"
#include "platform_skips.h"
#include "wide_matchers.h"

namespace quillmere {
namespace {

using testing_support::Narrow;
using winport::Utf8ToWide;

struct DialogCase {
  const char* label;
  const char* title;
  const char* listingName;
  const char* listingText;
  const char* expected;
};

std::ostream& operator<<(std::ostream& out, const DialogCase& c) {
  return out << c.label;
}

const DialogCase kDialogCases[] = {
    {"EmptySessionList", "Administrative Session List", "ADMINSESSIONLIST", "",
     "<QMSDIALOG><QMSDIALOGBAR><QMSSTATIC fontface=\"system\" fontsize=\"\" txtcolor=\"#FFFFFF\" "
     "text=\"Administrative Session List\"/> \n</QMSDIALOGBAR> \n"
     "<QMSDIALOGCONTENT><ADMINSESSIONLIST/> \n</QMSDIALOGCONTENT> \n</QMSDIALOG>"},
    {"SessionListWithMarkup", "Administrative Session List", "ADMINSESSIONLIST",
     "<SESSION id=\"1\"><GROUP>Admins</GROUP></SESSION>",
     "<QMSDIALOG><QMSDIALOGBAR><QMSSTATIC fontface=\"system\" fontsize=\"\" txtcolor=\"#FFFFFF\" "
     "text=\"Administrative Session List\"/> \n</QMSDIALOGBAR> \n"
     "<QMSDIALOGCONTENT><ADMINSESSIONLIST><SESSION id=\"1\"><GROUP>Admins</GROUP></SESSION>"
     "</ADMINSESSIONLIST> \n</QMSDIALOGCONTENT> \n</QMSDIALOG>"},
};

class DialogDocument : public testing::TestWithParam<DialogCase> {};

// The document written while the listing is walked: content appended piece by piece.
TEST_P(DialogDocument, FramesListing) {
  const DialogCase& c = GetParam();
  CListingDocument listing(Utf8ToWide(c.title), Utf8ToWide(c.listingName));
  for (const char& piece : std::string(c.listingText))
    listing.Content() += Utf8ToWide(std::string(1, piece));
  const winport::WideString document = listing.Finish();
  EXPECT_EQ(document, Utf8ToWide(c.expected)) << "written: " << Narrow(document);
}

INSTANTIATE_TEST_SUITE_P(Listings, DialogDocument, testing::ValuesIn(kDialogCases),
                         [](const testing::TestParamInfo<DialogCase>& info) {
                           return std::string(info.param.label);
                         });

// Each of the title bar's three literal values is a conversion that can fail.
TEST(DialogDocumentOutOfMemory, EachLiteralConversionRaises) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  for (unsigned nth = 1; nth <= 3; ++nth) {
    winport::fault::FailCall("SysAllocStringLen", ERROR_NOT_ENOUGH_MEMORY, nth);
    try {
      CDialogSkeleton dialog(OLESTR("T"));
      ADD_FAILURE() << "no exception with conversion " << nth << " failing";
    } catch (const _com_error& error) {
      EXPECT_EQ(error.Error(), E_OUTOFMEMORY) << "conversion " << nth;
    }
    winport::fault::Reset();
  }
}

}  // namespace
}  // namespace quillmere
