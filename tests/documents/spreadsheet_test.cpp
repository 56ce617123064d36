// Spreadsheet documents byte for byte, in both row forms, and the reading of an edited cell.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include <winport/wide.h>
#include <winport/windows.h>

#include "documents/class_sheet.h"
#include "documents/edited_cell.h"
#include "documents/spreadsheet.h"
#include "wide_matchers.h"

namespace quillmere {
namespace {

using testing_support::Narrow;

const std::string kRoot =
    "<QMSSPREADSHEET xmlns=\"urn:quillmere:spreadsheet\" xmlns:sp=\"urn:quillmere:spreadsheet\" ";

TEST(Spreadsheet, UserSheetWithButton) {
  winport::WideString output = OLESTR("menu");
  WriteSheetHead(output, OLESTR("List of Users"), {OLESTR("Edit")});
  WriteSheetRow(output, OLESTR("u<&"), {OLESTR("t")});
  WriteSheetClosing(output);
  WriteEditButton(output, OLESTR("Administrator"), OLESTR("UserPermissions"), OLESTR("T"));
  EXPECT_EQ(Narrow(output),
            "menu" + kRoot +
                "sp:varcount=\"1\" sp:casecount=\"0\" sp:fordisplay=\"HTMLEdit\">"
                "<LABELING><INFOBOX/> \n<HEADER>List of Users</HEADER> \n</LABELING> \n"
                "<VARINFO><VARDATA><VARNAME>Edit</VARNAME> \n</VARDATA> \n</VARINFO>"
                "<CONTENT><RFORMAT> \n"
                "<ROW><CASENAME>u<&</CASENAME> \n<CELL>t</CELL> \n</ROW>"
                "</RFORMAT></CONTENT></QMSSPREADSHEET>"
                "<QMSBUTTON name=\"EDITQMSSPREADSHEET\" text=\"Apply Changes\" width=\"130\">"
                "<SoapObject>Administrator</SoapObject> \n"
                "<SoapMethod>UserPermissions</SoapMethod> \n"
                "<QMSIMAGE name=\"Image\" src=\"images/icons/ss.gif\"/> \n"
                "<IdentityToken>T</IdentityToken> \n</QMSBUTTON>");
}

// No rows still opens and closes RFORMAT; an empty header closes itself; the variable count
// follows the variables while the case count stays 0.
TEST(Spreadsheet, EmptySheetWithTwoVariables) {
  winport::WideString output;
  WriteSheetHead(output, {}, {OLESTR("A"), OLESTR("B")});
  WriteSheetClosing(output);
  EXPECT_EQ(Narrow(output), kRoot +
                                "sp:varcount=\"2\" sp:casecount=\"0\" sp:fordisplay=\"HTMLEdit\">"
                                "<LABELING><INFOBOX/> \n<HEADER/> \n</LABELING> \n"
                                "<VARINFO><VARDATA><VARNAME>A</VARNAME> \n</VARDATA> \n"
                                "<VARDATA><VARNAME>B</VARNAME> \n</VARDATA> \n</VARINFO>"
                                "<CONTENT><RFORMAT> \n</RFORMAT></CONTENT></QMSSPREADSHEET>");
}

const std::string kClassHead = kRoot +
                               "sp:varcount=\"6\" sp:casecount=\"0\" sp:fordisplay=\"yes\">"
                               "<LABELING><INFOBOX/> \n<HEADER/> \n \n</LABELING>";

// Two instances of three properties each, written as the instance walk writes them.
TEST(ClassSheet, TwoRowsOfThreeProperties) {
  winport::WideString output;
  CClassSheet sheet(output, 6);
  for (const char* row : {"1", "2"}) {
    if (!sheet.RowBegun()) {
      for (const OLECHAR* name : {OLESTR("Name"), OLESTR("Size"), OLESTR("Owner")})
        sheet.WriteVariable(name);
      sheet.EndVariables();
    }
    sheet.BeginRow(OLESTR("Name"));
    sheet.WriteCell(winport::Utf8ToWide(std::string("pool") + row));
    sheet.WriteCell(OLESTR("a<b&c"));
    sheet.WriteCell({});
    sheet.EndRow();
  }
  sheet.Finish();
  const std::string vformat = "<VFORMAT  sp:edit=\"no\"/> \n";
  EXPECT_EQ(Narrow(output), kClassHead + "<VARINFO><VARDATA><VARNAME>Name</VARNAME> \n" + vformat +
                                " \n</VARDATA><VARDATA><VARNAME>Size</VARNAME> \n" + vformat +
                                "</VARDATA><VARDATA><VARNAME>Owner</VARNAME> \n" + vformat +
                                "</VARDATA></VARINFO>"
                                "<CONTENT><RFORMAT><TR><TD>Name</TD> \n \n \n"
                                "<TD>pool1</TD><TD>a<b&c</TD><TD/></TR>"
                                "<TR><TD>Name</TD> \n<TD>pool2</TD><TD>a<b&c</TD><TD/></TR>"
                                "</RFORMAT></CONTENT></QMSSPREADSHEET>");
}

// Whatever part is never opened is never closed.
TEST(ClassSheet, StaysBalancedWhenPartsAreMissing) {
  winport::WideString output;
  CClassSheet sheet(output, 6);
  sheet.EndVariables();
  sheet.EndRow();
  sheet.Finish();
  EXPECT_EQ(Narrow(output), kClassHead + "</QMSSPREADSHEET>");
}

struct CellCase {
  const char* children;
  const char* row;
  const char* column;
  const char* value;
};

TEST(EditedCell, SplitsTheFirstElementByItsOffsets) {
  const CellCase cases[] = {
      {"<DELTACELL_0_UserName><![CDATA[jdoe]]></DELTACELL_0_UserName>", "0", "UserName", "jdoe"},
      {"<DELTACELL_ReportingLevel_4><![CDATA[5]]></DELTACELL_ReportingLevel_4>", "ReportingLevel",
       "4", "5"},
      // A name with an underscore is cut at it.
      {"<DELTACELL_MSMQ_Capacity_2><![CDATA[9]]></DELTACELL_MSMQ_Capacity_2>", "MSMQ", "Capacity_2",
       "9"},
      // Without an underscore the row part is everything, markup and value included.
      {"<DELTACELL_x><![CDATA[v]]></DELTACELL_x>", "x><![CDATA[v", "x", "v"},
      // Only the first element counts.
      {"<DELTACELL_a_b><![CDATA[1]]></DELTACELL_a_b><DELTACELL_c_d><![CDATA[2]]></DELTACELL_c_d>",
       "a", "b", "1"},
      // Without a closing tag the text runs to the end.
      {"<DELTACELL_a_b><![CDATA[tail", "a", "b", "tail"},
      // Found inside a value all the same.
      {"<p>DELTACELL_r_c><![CDATA[x]]></p>", "r", "c", "x]]></p>"},
      {"<DELTACELL_a_b><![CDATA[]]></DELTACELL_a_b>", "a", "b", ""},
  };
  for (const CellCase& test : cases) {
    const auto cell = FindEditedCell(winport::Utf8ToWide(test.children));
    ASSERT_TRUE(cell.has_value()) << test.children;
    EXPECT_EQ(Narrow(cell->row), test.row) << test.children;
    EXPECT_EQ(Narrow(cell->column), test.column) << test.children;
    EXPECT_EQ(Narrow(cell->value), test.value) << test.children;
  }
}

TEST(EditedCell, NoneWithoutThePrefix) {
  for (const OLECHAR* children : {OLESTR(""), OLESTR("<deltacell_a_b><![CDATA[1]]>")})
    EXPECT_FALSE(FindEditedCell(children).has_value());
}

TEST(EditedCell, TooShortForTheOffsetsRaises) {
  for (const OLECHAR* children :
       {OLESTR("<DELTACELL_a_b>plain</DELTACELL_a_b>"), OLESTR("<DELTACELL_a_b><![CDA")})
    EXPECT_THROW(FindEditedCell(children), std::out_of_range) << Narrow(children);
}

}  // namespace
}  // namespace quillmere
