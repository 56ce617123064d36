// The standard component-category manager: categories under HKCR\Component Categories,
// and the categories a class implements or requires under its CLSID key.
#include <winport/comcat.h>
#include <winport/windows.h>

#include <cstdio>

#include "com/built_in_class_factory.h"
#include "com/built_in_classes.h"
#include "registry_text.h"

namespace {

using winport::WideString;
using winport::detail::GuidText;

LSTATUS CreateKey(const WideString& path) {
  winport::ScopedHkey key;
  return RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                         key.Receive(), nullptr);
}

LSTATUS DeleteKeyTree(const WideString& path) {
  const LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
  if (status != ERROR_SUCCESS) return status;
  return RegDeleteKeyW(HKEY_CLASSES_ROOT, path.c_str());
}

HRESULT ToHresult(LSTATUS status) {
  return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<unsigned long>(status));
}

class CategoryManager final : public winport::ComObject<ICatRegister> {
 public:
  HRESULT STDMETHODCALLTYPE RegisterCategories(ULONG count, CATEGORYINFO infos[]) override {
    if (count > 0 && infos == nullptr) return E_POINTER;
    for (ULONG i = 0; i < count; ++i) {
      char lcid[16];
      std::snprintf(lcid, sizeof lcid, "%x", static_cast<unsigned>(infos[i].lcid));
      const WideString path = OLESTR("Component Categories\\") + GuidText(infos[i].catid);
      const LSTATUS status = winport::detail::WriteRegistryText(
          HKEY_CLASSES_ROOT, path, winport::Utf8ToWide(lcid), infos[i].szDescription);
      if (status != ERROR_SUCCESS) return ToHresult(status);
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE UnRegisterCategories(ULONG count, CATID catids[]) override {
    if (count > 0 && catids == nullptr) return E_POINTER;
    for (ULONG i = 0; i < count; ++i) {
      DeleteKeyTree(OLESTR("Component Categories\\") + GuidText(catids[i]));
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE RegisterClassImplCategories(REFCLSID clsid, ULONG count,
                                                        CATID catids[]) override {
    return AddClassCategories(clsid, OLESTR("Implemented Categories"), count, catids);
  }
  HRESULT STDMETHODCALLTYPE UnRegisterClassImplCategories(REFCLSID clsid, ULONG count,
                                                          CATID catids[]) override {
    return RemoveClassCategories(clsid, OLESTR("Implemented Categories"), count, catids);
  }
  HRESULT STDMETHODCALLTYPE RegisterClassReqCategories(REFCLSID clsid, ULONG count,
                                                       CATID catids[]) override {
    return AddClassCategories(clsid, OLESTR("Required Categories"), count, catids);
  }
  HRESULT STDMETHODCALLTYPE UnRegisterClassReqCategories(REFCLSID clsid, ULONG count,
                                                         CATID catids[]) override {
    return RemoveClassCategories(clsid, OLESTR("Required Categories"), count, catids);
  }

 private:
  static WideString CategoryKey(REFCLSID clsid, const OLECHAR* kind, REFCATID catid) {
    return OLESTR("CLSID\\") + GuidText(clsid) + OLESTR("\\") + kind + OLESTR("\\") +
           GuidText(catid);
  }
  static HRESULT AddClassCategories(REFCLSID clsid, const OLECHAR* kind, ULONG count,
                                    CATID catids[]) {
    if (count > 0 && catids == nullptr) return E_POINTER;
    for (ULONG i = 0; i < count; ++i) {
      const LSTATUS status = CreateKey(CategoryKey(clsid, kind, catids[i]));
      if (status != ERROR_SUCCESS) return ToHresult(status);
    }
    return S_OK;
  }
  static HRESULT RemoveClassCategories(REFCLSID clsid, const OLECHAR* kind, ULONG count,
                                       CATID catids[]) {
    if (count > 0 && catids == nullptr) return E_POINTER;
    for (ULONG i = 0; i < count; ++i)
      DeleteKeyTree(CategoryKey(clsid, kind, catids[i]));
    return S_OK;
  }
};

// COM activation serves the manager built in.
const winport::detail::BuiltInClass kCategoryManagerClass(
    CLSID_StdComponentCategoriesMgr, winport::detail::GetBuiltInClassFactory<CategoryManager>);

}  // namespace
