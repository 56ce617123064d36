// Text placed into XML the host writes.
#pragma once

#include <string>
#include <string_view>

namespace quillmere::host {

// Character data: &, < and > escaped; carriage returns kept as references; characters
// XML 1.0 cannot carry become U+FFFD.
std::string EscapeXmlText(std::string_view text);
// As EscapeXmlText, and quotes, tabs and line feeds too, for attribute values.
std::string EscapeXmlAttribute(std::string_view text);

// Names the host stores and the module writes into its documents as they are, in text and
// in double-quoted attributes (user names, job names), hold none of < > & " and no
// control character.
bool SafeInMarkup(std::string_view name);
inline constexpr std::string_view kMarkupCharacters = "<, >, &, \" or control characters";

}  // namespace quillmere::host
