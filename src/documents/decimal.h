// Decimal digits of a signed 32-bit value, as documents write numbers.
#pragma once

#include <winport/wide.h>
#include <winport/windows.h>

namespace quillmere {

// Appends an optional minus sign and the digits, without leading zeros or grouping.
void AppendDecimal(LONG value, winport::WideString& output);

}  // namespace quillmere
