#include "bounded_format.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace quillmere {

std::string BoundedFormat(std::size_t limit, const char* format, ...) {
  std::vector<char> buffer(limit + 1);
  std::va_list args;
  va_start(args, format);
  const int written = std::vsnprintf(buffer.data(), buffer.size(), format, args);
  va_end(args);
  if (written < 0) return std::string();
  return std::string(buffer.data());
}

}  // namespace quillmere
