// One element of a document under construction, and its serialisation. Names, values
// and text are copied into the output verbatim: nothing is escaped, because callers put
// ready-made markup into an element's text and it must reach the client as markup.
#pragma once

#include <memory>
#include <memory_resource>
#include <string>
#include <vector>

#include <winport/wide.h>
#include <winport/windows.h>

namespace quillmere {

class CXmlElement {
 public:
  explicit CXmlElement(winport::WideView name);
  CXmlElement(winport::WideView name, winport::WideView text);
  // Children are not owned: whoever attaches one keeps it alive until the document has been
  // written. Those made by AddNewChild live as long as the element the tree was begun with
  // (the first one that is not made by AddNewChild), and so does what they give up, such as
  // a replaced text.
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

  winport::WideView Name() const { return name_; }

 private:
  using Text = std::pmr::basic_string<OLECHAR>;

  // Empty, all it holds taken from memory. An element made by AddNewChild takes it from its
  // tree's arena, which releases everything at once, so it is never destroyed on its own.
  explicit CXmlElement(std::pmr::memory_resource& memory);
  CXmlElement& MakeChild(winport::WideView name, winport::WideView text);

  // The serialisation, stated once: the same walk counts the characters and appends them.
  template <class Sink>
  void WriteTo(Sink& sink) const;
  template <class Sink>
  void WriteEndTagTo(Sink& sink) const;

  Text text_;
  // Each attribute as it is written, ` name="value"`: one string for all of them.
  Text attributes_;
  std::pmr::vector<const CXmlElement*> children_;
  bool endTagAfterChildren_ = false;
  bool neverSelfClose_ = false;
  Text name_;
  // Where AddNewChild makes elements: the arena this element was made in, or ownArena_,
  // made by the first AddNewChild, for an element made elsewhere. A tree of thousands of
  // rows is then a few large blocks, made and freed at once.
  std::pmr::memory_resource* arena_ = nullptr;
  std::unique_ptr<std::pmr::monotonic_buffer_resource> ownArena_;
};

// An 8-bit literal in the thread's ANSI code page (CP_THREAD_ACP) as a new BSTR; null for
// null. A conversion that cannot be made raises E_OUTOFMEMORY.
winport::ScopedBstr AnsiToBstr(const char* text);

}  // namespace quillmere
