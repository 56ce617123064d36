#include "documents/dialog_skeleton.h"

#include <utility>

#include "documents/xml_element.h"

namespace quillmere {

CDialogSkeleton::CDialogSkeleton(winport::WideView title)
    : dialog_(OLESTR("QMSDIALOG")),
      bar_(OLESTR("QMSDIALOGBAR")),
      caption_(OLESTR("QMSSTATIC")),
      content_(OLESTR("QMSDIALOGCONTENT")) {
  dialog_.SetEndTagAfterChildren(true);
  bar_.SetEndTagAfterChildren(true);
  caption_.AddAttribute(OLESTR("fontface"), winport::BstrView(AnsiToBstr("system").Get()));
  caption_.AddAttribute(OLESTR("fontsize"), winport::BstrView(AnsiToBstr("").Get()));
  caption_.AddAttribute(OLESTR("txtcolor"), winport::BstrView(AnsiToBstr("#FFFFFF").Get()));
  caption_.AddAttribute(OLESTR("text"), title);
  bar_.AddChild(caption_);
  dialog_.AddChild(bar_);
}

void CDialogSkeleton::Attach(CXmlElement& listing) {
  content_.AddChild(listing);
  content_.SetEndTagAfterChildren(true);
  dialog_.AddChild(content_);
}

winport::WideString CDialogSkeleton::Write() const {
  winport::WideString document;
  dialog_.Write(document);
  return document;
}

winport::WideString ListingDialog(winport::WideView title, winport::WideView listingElement,
                                  winport::WideString listingText) {
  CXmlElement element(listingElement);
  element.TakeText(std::move(listingText));
  CDialogSkeleton dialog(title);
  dialog.Attach(element);
  return dialog.Write();
}

}  // namespace quillmere
