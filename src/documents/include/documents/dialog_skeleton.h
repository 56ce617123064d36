// The frame of a dialog document: a title bar with a static text, and a content element
// into which a listing puts its one element.
#pragma once

#include <winport/wide.h>
#include <winport/windows.h>

#include "documents/xml_element.h"

namespace quillmere {

class CDialogSkeleton {
 public:
  explicit CDialogSkeleton(winport::WideView title);
  CDialogSkeleton(const CDialogSkeleton&) = delete;
  CDialogSkeleton& operator=(const CDialogSkeleton&) = delete;

  // Puts listing (kept alive by the caller) as the content's only child and the content
  // into the dialog, after the title bar.
  void Attach(CXmlElement& listing);
  // The whole document.
  winport::WideString Write() const;

 private:
  CXmlElement dialog_;
  CXmlElement bar_;
  CXmlElement caption_;
  CXmlElement content_;
};

}  // namespace quillmere
