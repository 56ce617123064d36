#include "documents/xml_element.h"

#include <algorithm>
#include <cstddef>
#include <utility>

#include "decimal.h"
#include "errors/com_error.h"
#include "errors/failure_helpers.h"

namespace quillmere {

namespace {

// What follows every child, the last one too: the only white space a document holds.
constexpr OLECHAR kChildSeparator[] = OLESTR(" \n");

// The sinks take literals by array, so that their lengths are known when compiled.
class CountingSink {
 public:
  void Put(OLECHAR) { ++length_; }
  void Put(winport::WideView text) { length_ += text.size(); }
  template <std::size_t N>
  void Put(const OLECHAR (&)[N]) {
    length_ += N - 1;
  }
  std::size_t Length() const { return length_; }

 private:
  std::size_t length_ = 0;
};

class AppendingSink {
 public:
  explicit AppendingSink(winport::WideString& output) : output_(output) {}
  void Put(OLECHAR c) { output_.push_back(c); }
  void Put(winport::WideView text) { output_.append(text); }
  template <std::size_t N>
  void Put(const OLECHAR (&text)[N]) {
    output_.append(text, N - 1);
  }

 private:
  winport::WideString& output_;
};

// Appends what walk writes, whole or not at all. The first walk counts, the room for all
// of it is made at once (the only step that can fail), and the second walk appends into
// that room, which cannot fail: output never holds half an element, and a document of
// thousands of rows is grown once rather than copied again and again.
template <class Walk>
void AppendWhole(winport::WideString& output, const Walk& walk) {
  CountingSink counter;
  walk(counter);
  OrOutOfMemory([&] { output.reserve(output.size() + counter.Length()); });
  AppendingSink appender(output);
  walk(appender);
}

// Grows list the way push_back would, so that the push_back after it cannot fail.
template <class T>
void MakeRoomForOne(std::vector<T>& list) {
  if (list.size() == list.capacity()) {
    list.reserve(list.size() + std::max<std::size_t>(list.size(), 1));
  }
}

}  // namespace

template <class Sink>
void CXmlElement::WriteTo(Sink& sink) const {
  sink.Put(OLESTR('<'));
  sink.Put(name_);
  for (const Attribute& attribute : attributes_) {
    if (attribute.name.empty()) continue;
    sink.Put(OLESTR(' '));
    sink.Put(attribute.name);
    sink.Put(OLESTR("=\""));
    sink.Put(attribute.value);
    sink.Put(OLESTR('"'));
  }
  if (text_.empty() && children_.empty() && !neverSelfClose_) {
    sink.Put(OLESTR("/>"));
  } else {
    sink.Put(OLESTR('>'));
    if (!text_.empty()) {
      sink.Put(text_);
      WriteEndTagTo(sink);
    }
  }
  for (const CXmlElement* child : children_) {
    child->WriteTo(sink);
    sink.Put(kChildSeparator);
  }
  if (endTagAfterChildren_) WriteEndTagTo(sink);
}

template <class Sink>
void CXmlElement::WriteEndTagTo(Sink& sink) const {
  sink.Put(OLESTR("</"));
  sink.Put(name_);
  sink.Put(OLESTR('>'));
}

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
  OrOutOfMemory([&] { attributes_.emplace_back(name, value); });
}

void CXmlElement::AddIntAttribute(winport::WideView name, LONG value) {
  OrOutOfMemory([&] {
    winport::WideString digits;
    AppendDecimal(value, digits);
    attributes_.emplace_back(name, digits);
  });
}

void CXmlElement::AddChild(CXmlElement& child) {
  OrOutOfMemory([&] { children_.push_back(&child); });
}

CXmlElement& CXmlElement::AddNewChild(winport::WideView name, winport::WideView text) {
  return OrOutOfMemory([&]() -> CXmlElement& {
    auto made = std::make_unique<CXmlElement>(name, text);
    // Room in both lists first: the appends cannot fail then, so a failure leaves this
    // element as it was.
    MakeRoomForOne(children_);
    MakeRoomForOne(made_);
    children_.push_back(made.get());
    made_.push_back(std::move(made));
    return *made_.back();
  });
}

void CXmlElement::Write(winport::WideString& output) const {
  AppendWhole(output, [this](auto& sink) { WriteTo(sink); });
}

void CXmlElement::WriteEndTag(winport::WideString& output) const {
  AppendWhole(output, [this](auto& sink) { WriteEndTagTo(sink); });
}

void CXmlElement::WriteChildSeparator(winport::WideString& output) {
  AppendWhole(output, [](auto& sink) { sink.Put(kChildSeparator); });
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
