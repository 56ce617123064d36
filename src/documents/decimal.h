// Decimal digits of a signed 32-bit value, as documents write numbers.
#pragma once

#include <cstddef>

#include <winport/wide.h>
#include <winport/windows.h>

namespace quillmere {

// Room for a minus sign and ten digits.
inline constexpr std::size_t kDecimalRoom = 11;

// An optional minus sign and the digits, without leading zeros or grouping, written at the
// end of room; answers them.
winport::WideView DecimalDigits(LONG value, OLECHAR (&room)[kDecimalRoom]);

// Appends DecimalDigits of value.
void AppendDecimal(LONG value, winport::WideString& output);

}  // namespace quillmere
