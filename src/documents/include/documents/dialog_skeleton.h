// The frame of a dialog document: a title bar with a static text, and a content element
// that holds a listing's one element.
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

  // The document up to the listing element: the dialog's start tag, the title bar and the
  // content's start tag.
  void WriteOpening(winport::WideString& output) const;
  // The document after the listing element: the content's and the dialog's end tags, each
  // after the separator that follows a child.
  void WriteClosing(winport::WideString& output) const;

 private:
  // The dialog and its content are written piecewise around the listing: each is opened by
  // Write and closed by WriteEndTag.
  CXmlElement dialog_;
  CXmlElement bar_;
  CXmlElement caption_;
  CXmlElement content_;
};

}  // namespace quillmere
