// The named object "Extension".
#pragma once

#include <winport/com_ptr.h>
#include <winport/windows.h>

namespace quillmere::host {

// Answers IExtensionObject (and IUnknown).
winport::ComPtr<IUnknown> MakeExtensionObject();

}  // namespace quillmere::host
