// An owning library reference, freed on destruction.
#pragma once

#include <winport/scoped_generic.h>
#include <winport/windows_api.h>

namespace winport {

using ScopedLibrary = ScopedGeneric<NullInvalidTraits<HMODULE, &FreeLibrary>>;

}  // namespace winport
