// Serving a class from the host's own process: a class factory over a maker function, and
// its registration with COM.
#pragma once

#include <functional>

#include <winport/com_ptr.h>
#include <winport/windows.h>

namespace quillmere::host {

using ObjectMaker = std::function<winport::ComPtr<IUnknown>()>;

// The registration's cookie; throws std::runtime_error when COM refuses it.
DWORD ServeClass(REFCLSID classId, ObjectMaker make, DWORD context);
void RevokeClass(DWORD cookie);

}  // namespace quillmere::host
