#include "documents/listing_document.h"

#include <utility>

#include "errors/failure_helpers.h"

namespace quillmere {

CListingDocument::CListingDocument(winport::WideView title, winport::WideView listingElement)
    : skeleton_(title), listing_(listingElement) {
  // The listing is opened, <L>, and its content follows straight after.
  listing_.SetNeverSelfClose(true);
  winport::WideString opening;
  skeleton_.WriteOpening(opening);
  listingStart_ = opening.size();
  listing_.Write(opening);
  contentStart_ = opening.size();
  skeleton_.WriteClosing(closing_);
  // The document's first allocation holds the frame, the closing part too; a long listing
  // grows from there.
  OrOutOfMemory([&] {
    document_.reserve(opening.size() + closing_.size());
    document_ = opening;
  });
}

winport::WideString CListingDocument::Finish() {
  if (document_.size() == contentStart_) {
    // An empty listing closes itself.
    document_.resize(listingStart_);
    listing_.SetNeverSelfClose(false);
    listing_.Write(document_);
  } else {
    listing_.WriteEndTag(document_);
  }
  OrOutOfMemory([&] { document_ += closing_; });
  return std::move(document_);
}

}  // namespace quillmere
