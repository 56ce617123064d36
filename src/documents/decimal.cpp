#include "decimal.h"

#include <cstddef>
#include <cstdint>

namespace quillmere {

void AppendDecimal(LONG value, winport::WideString& output) {
  OLECHAR digits[12];
  constexpr std::size_t kEnd = sizeof(digits) / sizeof(digits[0]);
  std::size_t start = kEnd;
  // The magnitude is taken unsigned so that the most negative value has one too.
  std::uint32_t magnitude =
      value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
  do {
    digits[--start] = static_cast<OLECHAR>(OLESTR('0') + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) digits[--start] = OLESTR('-');
  output.append(digits + start, kEnd - start);
}

}  // namespace quillmere
