#include "module/registration.h"

#include <array>

#include "errors/failure_helpers.h"
#include "module/module_ids.h"
#include "module/registrar.h"
#include "module/served_classes.h"
#include "registry_script.h"
#include "settings/ansi_text.h"

namespace quillmere {

using winport::ComPtr;
using winport::WideString;
using winport::WideView;

namespace {

// The script stored as resource in module, as text.
HRESULT LoadClassScript(HINSTANCE module, WORD resource, WideString* script) {
  std::string_view bytes;
  HRESULT hr = RegistryScriptBytes(module, resource, &bytes);
  if (FAILED(hr)) return hr;
  hr = E_OUTOFMEMORY;
  return RunAnsweringComError(hr, [&] {
    *script = AnsiToWideAcp(bytes);
    hr = S_OK;
  });
}

// Registration stops at the first class that fails; unregistration goes on to the others
// and answers the first failure.
HRESULT ApplyClassScripts(HINSTANCE module, WideView modulePath, RegistrarMode mode) {
  const RegistryReplacements replacements = {
      {OLESTR("MODULE"), DoubleApostrophes(modulePath)},
      {OLESTR("MODULE_RAW"), WideString(modulePath)},
  };
  HRESULT first = S_OK;
  for (const ServedClass& served : kServedClasses) {
    WideString script;
    HRESULT hr = LoadClassScript(module, served.registryScript, &script);
    if (SUCCEEDED(hr)) hr = ApplyRegistryScript(script, replacements, mode);
    if (FAILED(hr) && mode == RegistrarMode::kRegister) return hr;
    if (FAILED(hr) && SUCCEEDED(first)) first = hr;
  }
  return first;
}

// From the module itself, else from the .tlb file of the same name.
HRESULT RegisterTypeLibrary(WideView modulePath) {
  WideString path(modulePath);
  ComPtr<ITypeLib> library;
  HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.GetAddressOf());
  if (FAILED(hr)) {
    const std::size_t dot = path.rfind(OLESTR('.'));
    const std::size_t slash = path.find_last_of(OLESTR("\\/"));
    if (dot != WideString::npos && (slash == WideString::npos || dot > slash)) path.resize(dot);
    path += OLESTR(".tlb");
    hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.GetAddressOf());
  }
  if (FAILED(hr)) return hr;
  return RegisterTypeLib(library.Get(), path.data(), nullptr);
}

// WbemProvider first, then Administer.
constexpr std::array<std::size_t, 2> kCategoryOrder = {1, 0};

ComPtr<ICatRegister> CategoryManager() {
  ComPtr<ICatRegister> manager;
  CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_ALL, IID_ICatRegister,
                   reinterpret_cast<void**>(manager.GetAddressOf()));
  return manager;
}

HRESULT RegisterCategory() {
  for (std::size_t index : kCategoryOrder) {
    ComPtr<ICatRegister> manager = CategoryManager();
    CATID category{};
    if (!manager || FAILED(IIDFromString(kImplementedCategoryText, &category)) ||
        FAILED(manager->RegisterClassImplCategories(kServedClasses[index].clsid, 1, &category))) {
      return E_FAIL;
    }
  }
  return S_OK;
}

void UnregisterCategory() {
  ComPtr<ICatRegister> manager = CategoryManager();
  CATID category{};
  if (!manager || FAILED(IIDFromString(kImplementedCategoryText, &category))) return;
  for (std::size_t index : kCategoryOrder) {
    manager->UnRegisterClassImplCategories(kServedClasses[index].clsid, 1, &category);
  }
}

}  // namespace

HRESULT RegisterModule(HINSTANCE module, WideView modulePath) {
  if (HRESULT hr = ApplyClassScripts(module, modulePath, RegistrarMode::kRegister); FAILED(hr))
    return hr;
  if (HRESULT hr = RegisterTypeLibrary(modulePath); FAILED(hr)) return hr;
  return RegisterCategory();
}

HRESULT UnregisterModule(HINSTANCE module, WideView modulePath) {
  UnregisterCategory();
  const HRESULT keys = ApplyClassScripts(module, modulePath, RegistrarMode::kUnregister);
  const HRESULT library = UnRegisterTypeLib(kModuleTypeLibraryId, kModuleTypeLibraryMajor,
                                            kModuleTypeLibraryMinor, 0, SYS_WIN64);
  return FAILED(keys) ? keys : library;
}

}  // namespace quillmere
