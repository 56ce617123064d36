// A spreadsheet listing the instances of one class: one column per property, one row
// (TR/TD form) per instance, written while the instances are walked. Not for editing:
// every column is marked "no" for edit.
//
//   CClassSheet sheet(output, variableCount);      // root and LABELING
//   sheet.WriteVariable(name) ...; sheet.EndVariables();   // before the first row
//   sheet.BeginRow(firstPropertyName); sheet.WriteCell(value) ...; sheet.EndRow();
//   sheet.Finish();
// The document stays balanced whatever is left out: a variable list or a row that was
// never opened is not closed.
#pragma once

#include <winport/wide.h>
#include <winport/windows.h>

namespace quillmere {

class CClassSheet {
 public:
  CClassSheet(winport::WideString& output, LONG variableCount);
  CClassSheet(const CClassSheet&) = delete;
  CClassSheet& operator=(const CClassSheet&) = delete;

  // One column; the first opens the variable list.
  void WriteVariable(winport::WideView name);
  void EndVariables();
  // A row begins with a cell holding the name of the instance's first property; the first
  // row also opens the sheet's content.
  void BeginRow(winport::WideView firstPropertyName);
  bool RowBegun() const { return contentOpen_; }
  // One value cell, written as it is (an empty text gives <TD/>).
  void WriteCell(winport::WideView value);
  void EndRow();
  // Closes the content, when a row was begun, and the sheet.
  void Finish();

 private:
  winport::WideString& output_;
  bool variablesOpen_ = false;
  bool contentOpen_ = false;
  bool rowOpen_ = false;
};

}  // namespace quillmere
