// A listing's dialog document, written while the listing is walked: the frame first, then
// the listing's content appended straight into the document, then the closing tags. One
// string holds the document from start to end, so a listing of thousands of rows is never
// copied from one string into another. The bytes are those of a CDialogSkeleton around
// the listing element with the content as its text (an empty listing closes itself).
#pragma once

#include <cstddef>

#include <winport/wide.h>
#include <winport/windows.h>

#include "documents/dialog_skeleton.h"
#include "documents/xml_element.h"

namespace quillmere {

class CListingDocument {
 public:
  CListingDocument(winport::WideView title, winport::WideView listingElement);
  CListingDocument(const CListingDocument&) = delete;
  CListingDocument& operator=(const CListingDocument&) = delete;

  // Where the listing's content goes: append to it, nothing else.
  winport::WideString& Content() { return document_; }
  // Closes the listing and the frame and hands over the whole document.
  winport::WideString Finish();

 private:
  CDialogSkeleton skeleton_;
  CXmlElement listing_;
  winport::WideString document_;
  std::size_t listingStart_ = 0;  // where the listing's start tag begins
  std::size_t contentStart_ = 0;  // where its content begins
  winport::WideString closing_;   // the frame after the listing element
};

}  // namespace quillmere
