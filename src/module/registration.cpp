#include "module/registration.h"

#include <array>

#include "module/module_ids.h"
#include "module/registrar.h"
#include "module/served_classes.h"

namespace quillmere {

using winport::ComPtr;
using winport::WideString;
using winport::WideView;

namespace {

// The keys of one served class, %COCLASS% naming it.
constexpr const OLECHAR* kClassScript = OLESTR(
    "HKCR\n"
    "{\n"
    "  quillmere.%COCLASS%.1 = s '%COCLASS% Class'\n"
    "  {\n"
    "    CLSID = s '%CLSID%'\n"
    "  }\n"
    "  quillmere.%COCLASS% = s '%COCLASS% Class'\n"
    "  {\n"
    "    CLSID = s '%CLSID%'\n"
    "    CurVer = s 'quillmere.%COCLASS%.1'\n"
    "  }\n"
    "  NoRemove CLSID\n"
    "  {\n"
    "    ForceRemove %CLSID% = s '%COCLASS% Class'\n"
    "    {\n"
    "      ProgID = s 'quillmere.%COCLASS%.1'\n"
    "      VersionIndependentProgID = s 'quillmere.%COCLASS%'\n"
    "      ForceRemove Programmable\n"
    "      InprocServer32 = s '%MODULE%'\n"
    "      {\n"
    "        val ThreadingModel = s 'Free'\n"
    "      }\n"
    "      TypeLib = s '%LIBID%'\n"
    "    }\n"
    "  }\n"
    "}\n");

WideString GuidText(REFGUID guid) {
  OLECHAR text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

HRESULT ApplyClassScripts(WideView modulePath, RegistrarMode mode) {
  for (const ServedClass& served : kServedClasses) {
    const RegistryReplacements replacements = {
        {OLESTR("COCLASS"), served.coclass},
        {OLESTR("CLSID"), GuidText(served.clsid)},
        {OLESTR("LIBID"), GuidText(kModuleTypeLibraryId)},
        {OLESTR("MODULE"), DoubleApostrophes(modulePath)},
        {OLESTR("MODULE_RAW"), WideString(modulePath)},
    };
    if (HRESULT hr = ApplyRegistryScript(kClassScript, replacements, mode); FAILED(hr)) return hr;
  }
  return S_OK;
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

HRESULT RegisterModule(WideView modulePath) {
  if (HRESULT hr = ApplyClassScripts(modulePath, RegistrarMode::kRegister); FAILED(hr)) return hr;
  if (HRESULT hr = RegisterTypeLibrary(modulePath); FAILED(hr)) return hr;
  return RegisterCategory();
}

HRESULT UnregisterModule(WideView modulePath) {
  UnregisterCategory();
  const HRESULT keys = ApplyClassScripts(modulePath, RegistrarMode::kUnregister);
  const HRESULT library = UnRegisterTypeLib(kModuleTypeLibraryId, kModuleTypeLibraryMajor,
                                            kModuleTypeLibraryMinor, 0, SYS_WIN64);
  return FAILED(keys) ? keys : library;
}

}  // namespace quillmere
