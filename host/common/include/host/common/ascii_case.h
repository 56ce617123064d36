// ASCII case for the protocol's and the stores' names (HTTP headers, media types, MOF
// keywords, boolean words): no locale, bytes beyond ASCII unchanged.
#pragma once

#include <string>

namespace quillmere::host {

inline std::string AsciiLower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

}  // namespace quillmere::host
