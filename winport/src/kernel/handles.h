// Handles of objects that keep their own state by handle value (files): each registers
// how it closes, and the handle lives in the one kernel handle table (handle_table.h).
#pragma once

#include <winport/base_types.h>

namespace winport::handles {

using Closer = void (*)(HANDLE);

// A new handle that `close` ends (called outside the table's lock).
HANDLE Allocate(Closer close);

// Removes the handle and runs its closer: false when it is not open.
bool Close(HANDLE handle);

}  // namespace winport::handles
