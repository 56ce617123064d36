// The local time of a report as its records carry it.
#pragma once

#include <winport/scoped_bstr.h>

namespace quillmere {

// The local time now as "yyyy-MM-dd HH:mm:ss.mmm" (2006-03-01 14:05:09.042). Raises
// E_OUTOFMEMORY as _com_error when the string cannot be allocated.
winport::ScopedBstr FormatTimestamp();

}  // namespace quillmere
