#include "documents/dialog_skeleton.h"

#include "documents/xml_element.h"

namespace quillmere {

CDialogSkeleton::CDialogSkeleton(winport::WideView title)
    : dialog_(OLESTR("QMSDIALOG")),
      bar_(OLESTR("QMSDIALOGBAR")),
      caption_(OLESTR("QMSSTATIC")),
      content_(OLESTR("QMSDIALOGCONTENT")) {
  bar_.SetEndTagAfterChildren(true);
  caption_.AddAttribute(OLESTR("fontface"), winport::BstrView(AnsiToBstr("system").Get()));
  caption_.AddAttribute(OLESTR("fontsize"), winport::BstrView(AnsiToBstr("").Get()));
  caption_.AddAttribute(OLESTR("txtcolor"), winport::BstrView(AnsiToBstr("#FFFFFF").Get()));
  caption_.AddAttribute(OLESTR("text"), title);
  bar_.AddChild(caption_);
  dialog_.AddChild(bar_);
  content_.SetNeverSelfClose(true);
}

void CDialogSkeleton::WriteOpening(winport::WideString& output) const {
  dialog_.Write(output);
  content_.Write(output);
}

void CDialogSkeleton::WriteClosing(winport::WideString& output) const {
  CXmlElement::WriteChildSeparator(output);
  content_.WriteEndTag(output);
  CXmlElement::WriteChildSeparator(output);
  dialog_.WriteEndTag(output);
}

}  // namespace quillmere
