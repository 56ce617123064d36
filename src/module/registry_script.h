// Where the registration scripts of the served classes are kept: REGISTRY resources of
// the module file, or, where a module file carries no resources, its own data.
#pragma once

#include <string_view>

#include <winport/windows.h>

namespace quillmere {

// The script of resource id in module, as the bytes it is stored in (ANSI text); the
// system's error as an HRESULT when there is none.
HRESULT RegistryScriptBytes(HINSTANCE module, WORD resource, std::string_view* bytes);

}  // namespace quillmere
