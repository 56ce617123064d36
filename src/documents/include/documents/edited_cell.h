// The edited cell a client posts back from a sheet:
//   <DELTACELL_r_c><![CDATA[v]]></DELTACELL_r_c>
// read from the text of the request's method-element children by fixed offsets, as the
// client writes it: only the first such element counts, and "DELTACELL_" is found wherever
// it stands, even inside a value.
#pragma once

#include <optional>

#include <winport/wide.h>

namespace quillmere {

struct EditedCell {
  winport::WideString row;     // up to the first underscore after the prefix; all without one
  winport::WideString column;  // from there up to the ">" in front of the CDATA section
  winport::WideString value;   // the CDATA section's text
};

// Nothing when the text holds no "DELTACELL_". A text too short for the offsets (no "><!"
// after the row part, or fewer than ten characters after it) raises std::out_of_range.
std::optional<EditedCell> FindEditedCell(winport::WideView children);

}  // namespace quillmere
