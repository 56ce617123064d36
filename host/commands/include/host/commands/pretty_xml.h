// A document the module answers, laid out for reading: one element per line, indented by
// depth; an element holding only text stays on its line; whitespace between elements goes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillmere::host {

// The module's documents may have several top-level elements. Nothing when the text is
// not well-formed.
std::optional<std::string> PrettyXml(std::string_view fragment);

}  // namespace quillmere::host
