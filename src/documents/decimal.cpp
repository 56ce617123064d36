#include "decimal.h"

#include <cstdint>

namespace quillmere {

winport::WideView DecimalDigits(LONG value, OLECHAR (&room)[kDecimalRoom]) {
  std::size_t start = kDecimalRoom;
  // The magnitude is taken unsigned so that the most negative value has one too.
  std::uint32_t magnitude =
      value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
  do {
    room[--start] = static_cast<OLECHAR>(OLESTR('0') + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) room[--start] = OLESTR('-');
  return winport::WideView(room + start, kDecimalRoom - start);
}

void AppendDecimal(LONG value, winport::WideString& output) {
  OLECHAR room[kDecimalRoom];
  output.append(DecimalDigits(value, room));
}

}  // namespace quillmere
