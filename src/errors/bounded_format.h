// Texts formatted into a fixed capacity: a longer text is cut, never refused.
#pragma once

#include <cstddef>
#include <string>

namespace quillmere {

// printf-style; the result keeps at most limit characters of the formatted text.
std::string BoundedFormat(std::size_t limit, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

}  // namespace quillmere
