// Where the test library notes what its DllMain saw: a key per process, since test
// processes run side by side and, on Windows, share one registry.
#pragma once

#include <winport/windows.h>

inline winport::WideString TestLibKey() {
  return winport::FormatWide("Software\\QuillmereTests\\TestLib\\%lu",
                             static_cast<unsigned long>(GetCurrentProcessId()));
}
