#include "host/common/xml_text.h"

namespace quillmere::host {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// C0 controls other than tab and line feed have no place in XML 1.0 text.
bool IsForbiddenControl(unsigned char c) {
  return c < 0x20 && c != '\t' && c != '\n' && c != '\r';
}

std::string Escape(std::string_view text, bool attribute) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '\r':
        out += "&#13;";
        break;
      case '"':
        out += attribute ? "&quot;" : "\"";
        break;
      case '\n':
        out += attribute ? "&#10;" : "\n";
        break;
      case '\t':
        out += attribute ? "&#9;" : "\t";
        break;
      default:
        if (IsForbiddenControl(static_cast<unsigned char>(c))) {
          out += kReplacement;
        } else {
          out += c;
        }
    }
  }
  return out;
}

}  // namespace

std::string EscapeXmlText(std::string_view text) {
  return Escape(text, false);
}

std::string EscapeXmlAttribute(std::string_view text) {
  return Escape(text, true);
}

bool SafeInMarkup(std::string_view name) {
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || c == '<' || c == '>' || c == '&' || c == '"') return false;
  }
  return true;
}

}  // namespace quillmere::host
