// The local time of a report as its records carry it.
#pragma once

#include <winport/windows.h>

namespace quillmere {

// Room for the time stamp and its terminator.
inline constexpr UINT kTimestampBuffer = 32;

// Writes the local time now as "yyyy-MM-dd HH:mm:ss.mmm" (2006-03-01 14:05:09.042) with its
// terminator; answers `text`.
const OLECHAR* FormatTimestamp(OLECHAR (&text)[kTimestampBuffer]);

}  // namespace quillmere
