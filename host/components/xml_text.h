// Text made safe for an XML attribute value.
#pragma once

#include <string>
#include <string_view>

namespace quillmere::host {

std::string EscapeAttribute(std::string_view text);

}  // namespace quillmere::host
