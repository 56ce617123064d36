// The process's one module object, made when the library is attached and destroyed when
// it is detached.
#pragma once

#include <winport/windows.h>

#include "module/ws_module.h"

namespace quillmere {

// FALSE when the module object cannot be made (the load then fails).
BOOL AttachModule(HINSTANCE module);
void DetachModule();
// Null outside attach and detach.
CWSModule* LoadedModule();

}  // namespace quillmere
