#include "spreadsheet_root.h"

#include "documents/spreadsheet.h"

namespace quillmere {

CSpreadsheetRoot::CSpreadsheetRoot(LONG variableCount, winport::WideView forDisplay,
                                   winport::WideView header)
    : root_(OLESTR("QMSSPREADSHEET")), labeling_(OLESTR("LABELING")) {
  root_.AddAttribute(OLESTR("xmlns"), kSpreadsheetNamespace);
  root_.AddAttribute(OLESTR("xmlns:sp"), kSpreadsheetNamespace);
  root_.AddIntAttribute(OLESTR("sp:varcount"), variableCount);
  root_.AddAttribute(OLESTR("sp:casecount"), OLESTR("0"));
  root_.AddAttribute(OLESTR("sp:fordisplay"), forDisplay);
  labeling_.AddNewChild(OLESTR("INFOBOX"), {});
  labeling_.AddNewChild(OLESTR("HEADER"), header);
  root_.AddChild(labeling_);
}

void CSpreadsheetRoot::WriteEndTag(winport::WideString& output) {
  CXmlElement(OLESTR("QMSSPREADSHEET")).WriteEndTag(output);
}

}  // namespace quillmere
