// The process's kernel handles: each kind of object registers how its handles close,
// and CloseHandle asks this table. Handle values are multiples of 4, as Windows' are,
// and never reused.
#pragma once

#include <winport/base_types.h>

namespace winport::handles {

using Closer = void (*)(HANDLE);

// A new handle that `close` ends (called outside the table's lock).
HANDLE Allocate(Closer close);

// Removes the handle and runs its closer: false when it is not open.
bool Close(HANDLE handle);

}  // namespace winport::handles
