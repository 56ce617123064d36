#include "documents/xml_element.h"

#include <algorithm>
#include <cstddef>
#include <memory_resource>
#include <new>

#include "decimal.h"
#include "errors/com_error.h"
#include "errors/failure_helpers.h"
#include "errors/on_failure.h"
#include "plain_heap.h"

namespace quillmere {

namespace {

// What follows every child, the last one too: the only white space a document holds.
constexpr OLECHAR kChildSeparator[] = OLESTR(" \n");

// The characters an element's attributes take at first: enough for a few short ones.
constexpr std::size_t kAttributesRoom = 32;

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

// Pieces up to this long are copied in place rather than by a call.
constexpr std::size_t kShortPiece = 16;

// Writes into room already made for all it is given.
class FillingSink {
 public:
  explicit FillingSink(OLECHAR* at) : at_(at) {}
  void Put(OLECHAR c) { *at_++ = c; }
  void Put(winport::WideView text) {
    // Most pieces are names and short values.
    if (text.size() <= kShortPiece) {
      for (std::size_t i = 0; i < text.size(); ++i)
        at_[i] = text[i];
      at_ += text.size();
    } else {
      at_ = std::copy(text.begin(), text.end(), at_);
    }
  }
  template <std::size_t N>
  void Put(const OLECHAR (&text)[N]) {
    at_ = std::copy(text, text + N - 1, at_);
  }

 private:
  OLECHAR* at_;
};

// Appends what walk writes, whole or not at all. The first walk counts, the room for all
// of it is made at once (the only step that can fail), and the second walk fills that
// room, which cannot fail: output never holds half an element, and a document of
// thousands of rows is grown once rather than copied again and again.
template <class Walk>
void AppendWhole(winport::WideString& output, const Walk& walk) {
  CountingSink counter;
  walk(counter);
  const std::size_t start = output.size();
  OrOutOfMemory([&] { output.resize(start + counter.Length()); });
  FillingSink filler(output.data() + start);
  walk(filler);
}

// Grows list the way push_back would, so that the push_back after it cannot fail.
template <class List>
void MakeRoomForOne(List& list) {
  if (list.size() == list.capacity()) {
    list.reserve(list.size() + std::max<std::size_t>(list.size(), 1));
  }
}

}  // namespace

template <class Sink>
void CXmlElement::WriteTo(Sink& sink) const {
  sink.Put(OLESTR('<'));
  sink.Put(name_);
  sink.Put(attributes_);
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

CXmlElement::CXmlElement(std::pmr::memory_resource& memory)
    : text_(&memory), attributes_(&memory), children_(&memory), name_(&memory) {}

CXmlElement::CXmlElement(winport::WideView name) : CXmlElement(PlainHeap()) {
  OrOutOfMemory([&] { name_.assign(name); });
}

CXmlElement::CXmlElement(winport::WideView name, winport::WideView text)
    : CXmlElement(PlainHeap()) {
  OrOutOfMemory([&] {
    name_.assign(name);
    text_.assign(text);
  });
}

CXmlElement::~CXmlElement() = default;

void CXmlElement::SetText(winport::WideView text) {
  // A string's assign changes nothing when it fails.
  OrOutOfMemory([&] { text_.assign(text); });
}

void CXmlElement::AddAttribute(winport::WideView name, winport::WideView value) {
  if (name.empty()) return;  // never written
  const std::size_t start = attributes_.size();
  const std::size_t length = name.size() + value.size() + 4;
  OrOutOfMemory([&] {
    // An element has a few attributes: room for them all from the first.
    if (attributes_.capacity() < start + length) {
      attributes_.reserve(std::max(start + length, kAttributesRoom));
    }
    attributes_.resize(start + length);
  });
  FillingSink sink(attributes_.data() + start);
  sink.Put(OLESTR(' '));
  sink.Put(name);
  sink.Put(OLESTR("=\""));
  sink.Put(value);
  sink.Put(OLESTR('"'));
}

void CXmlElement::AddIntAttribute(winport::WideView name, LONG value) {
  OLECHAR room[kDecimalRoom];
  AddAttribute(name, DecimalDigits(value, room));
}

void CXmlElement::AddChild(CXmlElement& child) {
  OrOutOfMemory([&] { children_.push_back(&child); });
}

CXmlElement& CXmlElement::AddNewChild(winport::WideView name, winport::WideView text) {
  const auto make = [&]() -> CXmlElement& { return MakeChild(name, text); };
  if (arena_ != nullptr) return OrOutOfMemory(make);
  // A failed first child leaves no arena behind either. Only the first child makes the
  // arena, so only it pays for the guard: a document adds thousands of children.
  const OnFailure dropNewArena([this]() noexcept {
    ownArena_.reset();
    arena_ = nullptr;
  });
  return OrOutOfMemory(make);
}

CXmlElement& CXmlElement::MakeChild(winport::WideView name, winport::WideView text) {
  if (arena_ == nullptr) {
    ownArena_ = std::make_unique<std::pmr::monotonic_buffer_resource>(&PlainHeap());
    arena_ = ownArena_.get();
  }
  void* place = arena_->allocate(sizeof(CXmlElement), alignof(CXmlElement));
  CXmlElement* made = new (place) CXmlElement(*arena_);
  made->arena_ = arena_;
  made->name_.assign(name);
  made->text_.assign(text);
  // The list's room is made before the child joins it: a failure leaves this element as
  // it was (what was taken from the arena goes with the arena).
  MakeRoomForOne(children_);
  children_.push_back(made);
  return *made;
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
