// An owning registry key handle.
#pragma once

#include <winport/scoped_generic.h>
#include <winport/windows_api.h>

namespace winport {

using ScopedHkey = ScopedGeneric<NullInvalidTraits<HKEY, &RegCloseKey>>;

}  // namespace winport
