#include "documents/spreadsheet.h"

#include "documents/xml_element.h"
#include "spreadsheet_root.h"

namespace quillmere {

void WriteSheetHead(winport::WideString& output, winport::WideView header,
                    std::initializer_list<winport::WideView> variables) {
  CSpreadsheetRoot root(static_cast<LONG>(variables.size()), OLESTR("HTMLEdit"), header);
  root.Labeling().SetEndTagAfterChildren(true);
  root.Write(output);

  CXmlElement varinfo(OLESTR("VARINFO"));
  for (const winport::WideView variable : variables) {
    CXmlElement& vardata = varinfo.AddNewChild(OLESTR("VARDATA"), {});
    vardata.AddNewChild(OLESTR("VARNAME"), variable);
    vardata.SetEndTagAfterChildren(true);
  }
  varinfo.Write(output);
  varinfo.WriteEndTag(output);

  CXmlElement content(OLESTR("CONTENT"));
  CXmlElement& rformat = content.AddNewChild(OLESTR("RFORMAT"), {});
  rformat.SetNeverSelfClose(true);
  content.Write(output);
}

void WriteSheetRow(winport::WideString& output, winport::WideView caseName,
                   std::initializer_list<winport::WideView> cells) {
  CXmlElement row(OLESTR("ROW"));
  row.SetEndTagAfterChildren(true);
  row.AddNewChild(OLESTR("CASENAME"), caseName);
  for (const winport::WideView cell : cells)
    row.AddNewChild(OLESTR("CELL"), cell);
  row.Write(output);
}

void WriteSheetClosing(winport::WideString& output) {
  CXmlElement(OLESTR("RFORMAT")).WriteEndTag(output);
  CXmlElement(OLESTR("CONTENT")).WriteEndTag(output);
  CSpreadsheetRoot::WriteEndTag(output);
}

void WriteEditButton(winport::WideString& output, winport::WideView soapObject,
                     winport::WideView soapMethod, winport::WideView identityToken) {
  CXmlElement button(OLESTR("QMSBUTTON"));
  button.AddAttribute(OLESTR("name"), OLESTR("EDITQMSSPREADSHEET"));
  button.AddAttribute(OLESTR("text"), OLESTR("Apply Changes"));
  button.AddAttribute(OLESTR("width"), OLESTR("130"));
  button.SetEndTagAfterChildren(true);
  button.AddNewChild(OLESTR("SoapObject"), soapObject);
  button.AddNewChild(OLESTR("SoapMethod"), soapMethod);
  CXmlElement& image = button.AddNewChild(OLESTR("QMSIMAGE"), {});
  image.AddAttribute(OLESTR("name"), OLESTR("Image"));
  image.AddAttribute(OLESTR("src"), OLESTR("images/icons/ss.gif"));
  button.AddNewChild(OLESTR("IdentityToken"), identityToken);
  button.Write(output);
}

}  // namespace quillmere
