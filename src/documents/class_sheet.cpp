#include "documents/class_sheet.h"

#include "documents/xml_element.h"
#include "spreadsheet_root.h"

namespace quillmere {

CClassSheet::CClassSheet(winport::WideString& output, LONG variableCount) : output_(output) {
  const CSpreadsheetRoot root(variableCount, OLESTR("yes"), {});
  root.Write(output_);
  CXmlElement(OLESTR("LABELING")).WriteEndTag(output_);
}

void CClassSheet::WriteVariable(winport::WideView name) {
  CXmlElement vardata(OLESTR("VARDATA"));
  vardata.AddNewChild(OLESTR("VARNAME"), name);
  // The attribute's name begins with a blank, so two blanks stand before it.
  vardata.AddNewChild(OLESTR("VFORMAT"), {}).AddAttribute(OLESTR(" sp:edit"), OLESTR("no"));
  if (variablesOpen_) {
    vardata.Write(output_);
  } else {
    CXmlElement varinfo(OLESTR("VARINFO"));
    varinfo.AddChild(vardata);
    varinfo.Write(output_);
    variablesOpen_ = true;
  }
  vardata.WriteEndTag(output_);
}

void CClassSheet::EndVariables() {
  if (!variablesOpen_) return;
  CXmlElement(OLESTR("VARINFO")).WriteEndTag(output_);
  variablesOpen_ = false;
}

void CClassSheet::BeginRow(winport::WideView firstPropertyName) {
  CXmlElement row(OLESTR("TR"));
  row.AddNewChild(OLESTR("TD"), firstPropertyName);
  if (contentOpen_) {
    row.Write(output_);
  } else {
    CXmlElement content(OLESTR("CONTENT"));
    CXmlElement& rformat = content.AddNewChild(OLESTR("RFORMAT"), {});
    rformat.AddChild(row);
    content.Write(output_);
    contentOpen_ = true;
  }
  rowOpen_ = true;
}

void CClassSheet::WriteCell(winport::WideView value) {
  CXmlElement(OLESTR("TD"), value).Write(output_);
}

void CClassSheet::EndRow() {
  if (!rowOpen_) return;
  CXmlElement(OLESTR("TR")).WriteEndTag(output_);
  rowOpen_ = false;
}

void CClassSheet::Finish() {
  EndRow();
  if (contentOpen_) {
    CXmlElement(OLESTR("RFORMAT")).WriteEndTag(output_);
    CXmlElement(OLESTR("CONTENT")).WriteEndTag(output_);
  }
  CSpreadsheetRoot::WriteEndTag(output_);
}

}  // namespace quillmere
