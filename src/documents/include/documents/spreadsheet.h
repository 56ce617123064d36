// The spreadsheet document: a table of cases (rows) by variables (columns) that the client
// shows in its spreadsheet view and may let the user edit. Written piecewise into one
// output string: the head while the rows are still to come, the closing tags at the end.
//
// The user-administration sheets (ROW form) are written by WriteSheetHead, one
// WriteSheetRow per case, WriteSheetClosing and WriteEditButton. Listings of a settings
// class (TR/TD form) are written by CClassSheet (class_sheet.h).
#pragma once

#include <initializer_list>

#include <winport/wide.h>
#include <winport/windows.h>

namespace quillmere {

// The one namespace URI of every sheet, written into both xmlns and xmlns:sp.
inline constexpr const OLECHAR* kSpreadsheetNamespace = OLESTR("urn:quillmere:spreadsheet");

// The root's start tag and its LABELING (INFOBOX empty, HEADER the sheet's title), the
// variables' VARINFO and the opening of CONTENT and RFORMAT. The sheet is for editing
// ("HTMLEdit"); the case count is always 0.
void WriteSheetHead(winport::WideString& output, winport::WideView header,
                    std::initializer_list<winport::WideView> variables);

// One case: its name and one cell per variable. Rows follow one another directly.
void WriteSheetRow(winport::WideString& output, winport::WideView caseName,
                   std::initializer_list<winport::WideView> cells);

// The end tags of RFORMAT, CONTENT and the root.
void WriteSheetClosing(winport::WideString& output);

// The button written after the sheet: where the client posts the edited cells, and the
// caller's identity token to post them with.
void WriteEditButton(winport::WideString& output, winport::WideView soapObject,
                     winport::WideView soapMethod, winport::WideView identityToken);

}  // namespace quillmere
