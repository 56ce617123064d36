// One element of a document under construction, and its serialisation. Names, values
// and text are copied into the output verbatim: nothing is escaped, because callers put
// ready-made markup into an element's text and it must reach the client as markup.
#pragma once

#include <memory>
#include <vector>

#include <winport/wide.h>
#include <winport/windows.h>

namespace quillmere {

class CXmlElement {
 public:
  explicit CXmlElement(winport::WideView name);
  CXmlElement(winport::WideView name, winport::WideView text);
  // Children are not owned (except those made by AddNewChild): whoever attaches one keeps
  // it alive until the document has been written.
  ~CXmlElement();
  CXmlElement(const CXmlElement&) = delete;
  CXmlElement& operator=(const CXmlElement&) = delete;

  void SetText(winport::WideView text);
  // Attributes are written in the order added; one with an empty name is never written.
  void AddAttribute(winport::WideView name, winport::WideView value);
  void AddIntAttribute(winport::WideView name, LONG value);
  void AddChild(CXmlElement& child);
  // A new element made and kept alive by this one, appended as its last child.
  CXmlElement& AddNewChild(winport::WideView name, winport::WideView text);

  // The end tag is written after the children (containers); without it the element is
  // left open after them.
  void SetEndTagAfterChildren(bool value) { endTagAfterChildren_ = value; }
  // An element without text or children is written <name ...> rather than <name .../>.
  void SetNeverSelfClose(bool value) { neverSelfClose_ = value; }

  // Appends the element with its whole subtree to output.
  void Write(winport::WideString& output) const;
  // Appends </name>.
  void WriteEndTag(winport::WideString& output) const;
  // Appends what follows every child: for a parent written piecewise around a child.
  static void WriteChildSeparator(winport::WideString& output);

  const winport::WideString& Name() const { return name_; }

 private:
  struct Attribute {
    Attribute(winport::WideView n, winport::WideView v) : name(n), value(v) {}
    winport::WideString name;
    winport::WideString value;
  };

  // The serialisation, stated once: the same walk counts the characters and appends them.
  template <class Sink>
  void WriteTo(Sink& sink) const;
  template <class Sink>
  void WriteEndTagTo(Sink& sink) const;

  winport::WideString text_;
  std::vector<Attribute> attributes_;
  std::vector<CXmlElement*> children_;
  bool endTagAfterChildren_ = false;
  bool neverSelfClose_ = false;
  winport::WideString name_;
  std::vector<std::unique_ptr<CXmlElement>> made_;  // by AddNewChild
};

// An 8-bit literal in the thread's ANSI code page (CP_THREAD_ACP) as a new BSTR; null for
// null. A conversion that cannot be made raises E_OUTOFMEMORY.
winport::ScopedBstr AnsiToBstr(const char* text);

}  // namespace quillmere
