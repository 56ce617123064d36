// The registry: HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER.
#pragma once

#include <winport/base_types.h>
#include <winport/winerror.h>
