// The root of a spreadsheet with its LABELING: the part every sheet begins with.
#pragma once

#include <winport/wide.h>
#include <winport/windows.h>

#include "documents/xml_element.h"

namespace quillmere {

class CSpreadsheetRoot {
 public:
  CSpreadsheetRoot(LONG variableCount, winport::WideView forDisplay, winport::WideView header);
  CSpreadsheetRoot(const CSpreadsheetRoot&) = delete;
  CSpreadsheetRoot& operator=(const CSpreadsheetRoot&) = delete;

  // The LABELING child, whose INFOBOX is empty and whose HEADER is the sheet's title.
  CXmlElement& Labeling() { return labeling_; }
  // The root's start tag and LABELING; the root stays open.
  void Write(winport::WideString& output) const { root_.Write(output); }
  static void WriteEndTag(winport::WideString& output);

 private:
  CXmlElement root_;
  CXmlElement labeling_;
};

}  // namespace quillmere
