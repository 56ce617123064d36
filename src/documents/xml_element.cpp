#include "documents/xml_element.h"

#include <cassert>
#include <cstddef>
#include <new>
#include <utility>

#include "decimal.h"
#include "errors/com_error.h"
#include "errors/failure_helpers.h"

namespace quillmere {

CXmlElement::CXmlElement(winport::WideView name) {
  OrOutOfMemory([&] { name_.assign(name); });
}

CXmlElement::CXmlElement(winport::WideView name, winport::WideView text) {
  OrOutOfMemory([&] {
    name_.assign(name);
    text_.assign(text);
  });
}

CXmlElement::~CXmlElement() = default;

void CXmlElement::SetText(winport::WideView text) {
  // Copied first so that a failed copy leaves the old text in place.
  OrOutOfMemory([&] { text_ = winport::WideString(text); });
}

void CXmlElement::AddAttribute(winport::WideView name, winport::WideView value) {
  OrOutOfMemory([&] { attributes_.emplace_back(value, name); });
}

void CXmlElement::AddIntAttribute(winport::WideView name, LONG value) {
  OrOutOfMemory([&] {
    winport::WideString digits;
    AppendDecimal(value, digits);
    attributes_.emplace_back(std::move(digits), name);
  });
}

void CXmlElement::AddChild(CXmlElement& child) {
  OrOutOfMemory([&] { children_.push_back(&child); });
}

CXmlElement& CXmlElement::AddNewChild(winport::WideView name, winport::WideView text) {
  CXmlElement* child = nullptr;
  OrOutOfMemory([&] {
    auto made = std::make_unique<CXmlElement>(name, text);
    child = made.get();
    children_.push_back(child);
    // If the owner list cannot grow, the child is taken back out, so a failure leaves
    // this element as it was.
    try {
      made_.push_back(std::move(made));
    } catch (...) {
      children_.pop_back();
      throw;
    }
  });
  return *child;
}

void CXmlElement::Write(winport::WideString& output) const {
  // The subtree goes straight onto the end of output; if that fails part-way the partial
  // element is cut off again, so output never holds half an element.
  const std::size_t previous = output.size();
  try {
    // Grown once to its final length: a document of thousands of rows is not copied
    // again and again as it grows.
    const std::size_t length = WrittenLength();
    output.reserve(previous + length);
    WriteTo(output);
    assert(output.size() == previous + length);
  } catch (const std::bad_alloc&) {
    output.resize(previous);
    RaiseComErrorWithoutInfo(E_OUTOFMEMORY);
  }
}

void CXmlElement::WriteEndTag(winport::WideString& output) const {
  const std::size_t previous = output.size();
  try {
    output.append(OLESTR("</")).append(name_).push_back(OLESTR('>'));
  } catch (const std::bad_alloc&) {
    output.resize(previous);
    RaiseComErrorWithoutInfo(E_OUTOFMEMORY);
  }
}

void CXmlElement::WriteTo(winport::WideString& output) const {
  output.push_back(OLESTR('<'));
  output.append(name_);
  for (const auto& [value, name] : attributes_) {
    if (name.empty()) continue;
    output.push_back(OLESTR(' '));
    output.append(name);
    output.append(OLESTR("=\""));
    output.append(value);
    output.push_back(OLESTR('"'));
  }
  if (text_.empty() && children_.empty() && !neverSelfClose_) {
    output.append(OLESTR("/>"));
  } else {
    output.push_back(OLESTR('>'));
    if (!text_.empty()) {
      output.append(text_);
      output.append(OLESTR("</")).append(name_).push_back(OLESTR('>'));
    }
  }
  for (const CXmlElement* child : children_) {
    child->WriteTo(output);
    output.append(OLESTR(" \n"));
  }
  if (endTagAfterChildren_) {
    output.append(OLESTR("</")).append(name_).push_back(OLESTR('>'));
  }
}

std::size_t CXmlElement::WrittenLength() const {
  const std::size_t endTag = 2 + name_.size() + 1;  // </name>
  std::size_t length = 1 + name_.size();            // <name
  for (const auto& [value, name] : attributes_) {
    if (!name.empty()) length += 1 + name.size() + 2 + value.size() + 1;  //  name="value"
  }
  if (text_.empty() && children_.empty() && !neverSelfClose_) {
    length += 2;  // />
  } else {
    length += 1;  // >
    if (!text_.empty()) length += text_.size() + endTag;
  }
  for (const CXmlElement* child : children_)
    length += child->WrittenLength() + 2;  // SP LF
  if (endTagAfterChildren_) length += endTag;
  return length;
}

winport::ScopedBstr AnsiToBstr(const char* text) {
  if (text == nullptr) return winport::ScopedBstr();
  // Measured with the terminator so that an empty text converts too.
  const int measured = MultiByteToWideChar(CP_THREAD_ACP, 0, text, -1, nullptr, 0);
  if (measured <= 0) RaiseComErrorWithoutInfo(E_OUTOFMEMORY);
  winport::ScopedBstr result;
  result.Reset(SysAllocStringLen(nullptr, static_cast<UINT>(measured - 1)));
  if (result.Get() == nullptr) RaiseComErrorWithoutInfo(E_OUTOFMEMORY);
  if (MultiByteToWideChar(CP_THREAD_ACP, 0, text, -1, result.Get(), measured) != measured) {
    RaiseComErrorWithoutInfo(E_OUTOFMEMORY);
  }
  return result;
}

}  // namespace quillmere
