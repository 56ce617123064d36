#include "documents/dialog_skeleton.h"

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

}  // namespace quillmere
