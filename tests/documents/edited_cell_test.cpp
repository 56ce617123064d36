// The reading of an edited cell posted from a spreadsheet.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include <winport/wide.h>
#include <winport/windows.h>

#include "documents/edited_cell.h"
#include "wide_matchers.h"

namespace quillmere {
namespace {

using testing_support::Narrow;

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

TEST(EditedCell, TooShortForTheOffsetsRaises) {
  for (const OLECHAR* children :
       {OLESTR("<DELTACELL_a_b>plain</DELTACELL_a_b>"), OLESTR("<DELTACELL_a_b><![CDA")})
    EXPECT_THROW(FindEditedCell(children), std::out_of_range) << Narrow(children);
}

}  // namespace
}  // namespace quillmere
