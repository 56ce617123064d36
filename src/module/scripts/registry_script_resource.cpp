// The scripts as the module file's REGISTRY resources.
#include "registry_script.h"

namespace quillmere {

HRESULT RegistryScriptBytes(HINSTANCE module, WORD resource, std::string_view* bytes) {
  const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(resource), OLESTR("REGISTRY"));
  const HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
  const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (data == nullptr) {
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? HRESULT_FROM_WIN32(error) : E_FAIL;
  }
  *bytes = std::string_view(static_cast<const char*>(data), SizeofResource(module, found));
  return S_OK;
}

}  // namespace quillmere
