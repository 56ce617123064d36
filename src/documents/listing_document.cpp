#include "documents/listing_document.h"

#include <new>
#include <utility>

#include "errors/failure_helpers.h"

namespace quillmere {

CListingDocument::CListingDocument(winport::WideView title, winport::WideView listingElement)
    : skeleton_(title), listing_(listingElement) {
  // The frame around a listing left open, <L>, is split after that start tag: what comes
  // before is the document so far, what comes after is written at the end.
  listing_.SetNeverSelfClose(true);
  skeleton_.Attach(listing_);
  winport::WideString frame = skeleton_.Write();
  winport::WideString startTag;
  listing_.Write(startTag);
  // The last one: the closing tags that follow hold no start tag.
  contentStart_ = frame.rfind(startTag) + startTag.size();
  listingStart_ = contentStart_ - startTag.size();
  OrOutOfMemory([&] { closing_.assign(frame, contentStart_); });
  frame.resize(contentStart_);
  document_ = std::move(frame);
}

winport::WideString CListingDocument::Finish() {
  if (document_.size() == contentStart_) {
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
