// Every rule below is at least as strict as expat's: a document this scan passes, expat
// passes too. Where a rule would need more (Unicode name classes, namespace bindings,
// attribute uniqueness after expansion), the scan stops and lets expat decide.
#include "document_scan.h"

#include <array>
#include <cstdint>
#include <vector>

namespace quillmere::host {
namespace {

// Attributes of one element are compared pairwise; more than this many go to expat.
constexpr size_t kMaxAttributes = 32;
// Digits of a character reference; more go to expat (and cannot name a character anyway).
constexpr size_t kMaxReferenceDigits = 8;

// What each byte may be, looked up once per byte in the loops that cover most of a document.
enum : uint8_t {
  kNameStart = 1,
  kNameChar = 2,
  kPlainText = 4,   // text that needs no further look: not markup, a reference or "]"
  kPlainValue = 8,  // the same in an attribute value, but for the quotes
  kSpace = 16,
};

constexpr std::array<uint8_t, 256> kClasses = [] {
  std::array<uint8_t, 256> classes{};
  for (int c = 0x20; c < 0x80; ++c) {
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    const bool name = letter || (c >= '0' && c <= '9') || c == '-' || c == '.';
    classes[c] = (letter ? kNameStart : 0) | (name ? kNameChar : 0) |
                 (c != '<' && c != '&' && c != ']' ? kPlainText : 0) |
                 (c != '<' && c != '&' && c != '"' && c != '\'' ? kPlainValue : 0);
  }
  for (const int c : {' ', '\t', '\n', '\r'})
    classes[c] |= kSpace | kPlainText | kPlainValue;
  return classes;
}();

bool Is(unsigned char c, uint8_t what) {
  return (kClasses[c] & what) != 0;
}
bool IsDigit(unsigned char c) {
  return c >= '0' && c <= '9';
}
bool IsXmlChar(uint32_t code) {
  return code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF) ||
         (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF);
}

class Scan {
 public:
  struct Stacks {
    std::vector<std::string_view> open, attributes;
  };

  Scan(std::string_view text, DocumentBounds bounds, Stacks& stacks)
      : text_(text), bounds_(bounds), open_(stacks.open), attributes_(stacks.attributes) {
    open_.clear();
  }

  bool Run() {
    while (at_ < text_.size()) {
      const auto c = static_cast<unsigned char>(text_[at_]);
      if (c == '<') {
        if (!Markup()) return false;
      } else if (c == '&') {
        if (!Reference()) return false;
      } else if (c == ']') {
        if (text_.substr(at_, 3) == "]]>") return false;
        ++at_;
      } else if (Is(c, kPlainText)) {
        Skip(kPlainText);
      } else if (!Character()) {
        return false;
      }
    }
    return open_.empty();
  }

 private:
  bool More() const { return at_ < text_.size(); }
  unsigned char Peek() const { return static_cast<unsigned char>(text_[at_]); }

  // Past the bytes of one class from here on.
  void Skip(uint8_t what) {
    const char* at = text_.data() + at_;
    const char* const end = text_.data() + text_.size();
    while (at != end && Is(static_cast<unsigned char>(*at), what))
      ++at;
    at_ = static_cast<size_t>(at - text_.data());
  }

  void SkipSpace() { Skip(kSpace); }

  // One character of text or of an attribute value, other than markup and references.
  bool Character() {
    const unsigned char c = Peek();
    if (c < 0x80) {
      if (c < 0x20 && !Is(c, kSpace)) return false;
      ++at_;
      return true;
    }
    return MultiByte();
  }

  // A UTF-8 sequence of two to four bytes, shortest form, naming an XML character.
  bool MultiByte() {
    const unsigned char lead = Peek();
    size_t length;
    uint32_t code;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      code = lead & 0x0F;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      code = lead & 0x07;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (text_.size() - at_ < length) return false;
    for (size_t i = 1; i < length; ++i) {
      const auto next = static_cast<unsigned char>(text_[at_ + i]);
      if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF)) return false;
      code = (code << 6) | (next & 0x3F);
    }
    at_ += length;
    return IsXmlChar(code);
  }

  std::string_view Name() {
    const size_t begin = at_;
    if (!More() || !Is(Peek(), kNameStart)) return {};
    Skip(kNameChar);
    return text_.substr(begin, at_ - begin);
  }

  // "&lt;" and its kind, "&#65;", "&#x41;".
  bool Reference() {
    ++at_;
    if (More() && Peek() == '#') {
      ++at_;
      const bool hex = More() && Peek() == 'x';
      if (hex) ++at_;
      uint32_t code = 0;
      size_t digits = 0;
      for (; More() && Peek() != ';'; ++at_, ++digits) {
        const unsigned char c = Peek();
        const int value = IsDigit(c)                                      ? c - '0'
                          : hex && (c | 0x20) >= 'a' && (c | 0x20) <= 'f' ? (c | 0x20) - 'a' + 10
                                                                          : -1;
        if (value < 0 || digits == kMaxReferenceDigits) return false;
        code = code * (hex ? 16 : 10) + static_cast<uint32_t>(value);
      }
      if (!More() || digits == 0 || !IsXmlChar(code)) return false;
      ++at_;
      return true;
    }
    const std::string_view name = Name();
    if (!More() || Peek() != ';') return false;
    ++at_;
    return name == "lt" || name == "gt" || name == "amp" || name == "quot" || name == "apos";
  }

  bool Markup() {
    ++at_;
    if (More() && Peek() == '/') return EndTag();
    return StartTag();
  }

  bool StartTag() {
    const std::string_view name = Name();
    if (name.empty()) return false;  // a prefix, a comment, CDATA, an instruction: expat's
    if (++depth_ > bounds_.maxDepth || ++elements_ > bounds_.maxElements) return false;
    attributes_.clear();
    for (;;) {
      const size_t before = at_;
      SkipSpace();
      if (!More()) return false;
      if (Peek() == '>') {
        ++at_;
        open_.push_back(name);
        return true;
      }
      if (Peek() == '/') {
        ++at_;
        if (!More() || Peek() != '>') return false;
        ++at_;
        --depth_;
        return true;
      }
      if (at_ == before || !Attribute()) return false;  // attributes are set apart by space
    }
  }

  bool Attribute() {
    const std::string_view name = Name();
    if (name.empty() || name == "xmlns") return false;
    for (const std::string_view seen : attributes_) {
      if (seen == name) return false;
    }
    if (attributes_.size() == kMaxAttributes) return false;
    attributes_.push_back(name);
    SkipSpace();
    if (!More() || Peek() != '=') return false;
    ++at_;
    SkipSpace();
    if (!More() || (Peek() != '"' && Peek() != '\'')) return false;
    const unsigned char quote = Peek();
    ++at_;
    while (More() && Peek() != quote) {
      if (Is(Peek(), kPlainValue)) {
        Skip(kPlainValue);
        continue;
      }
      if (Peek() == '<') return false;
      if (Peek() == '&' ? !Reference() : !Character()) return false;
    }
    if (!More()) return false;
    ++at_;
    return true;
  }

  bool EndTag() {
    ++at_;
    const std::string_view name = Name();
    SkipSpace();
    if (!More() || Peek() != '>' || open_.empty() || open_.back() != name) return false;
    ++at_;
    open_.pop_back();
    --depth_;
    return true;
  }

  const std::string_view text_;
  const DocumentBounds bounds_;
  size_t at_ = 0;
  int depth_ = 1;  // inside the element that holds the document
  size_t elements_ = 1;
  std::vector<std::string_view>& open_;
  std::vector<std::string_view>& attributes_;
};

}  // namespace

bool ProvedWellFormed(std::string_view document, DocumentBounds bounds) {
  thread_local Scan::Stacks stacks;  // kept, so that a scan allocates nothing once warm
  return Scan(document, bounds, stacks).Run();
}

}  // namespace quillmere::host
