// Run-time library binding: LoadLibraryW, GetProcAddress, FreeLibrary, module names.
#pragma once

#include <winport/base_types.h>
#include <winport/winerror.h>
