#include "class_registration.h"

#include <cstdio>
#include <stdexcept>
#include <utility>

#include <winport/com_object.h>

namespace quillmere::host {
namespace {

class ObjectFactory : public winport::ComObject<IClassFactory> {
 public:
  explicit ObjectFactory(ObjectMaker make) : make_(std::move(make)) {}

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    try {
      const winport::ComPtr<IUnknown> made = make_();
      if (!made) return E_OUTOFMEMORY;
      return made->QueryInterface(riid, object);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 private:
  ObjectMaker make_;
};

}  // namespace

DWORD ServeClass(REFCLSID classId, ObjectMaker make, DWORD context) {
  const auto factory = winport::MakeComObject<ObjectFactory>(std::move(make));
  if (!factory) throw std::bad_alloc();
  DWORD cookie = 0;
  const HRESULT hr =
      CoRegisterClassObject(classId, factory.Get(), context, REGCLS_MULTIPLEUSE, &cookie);
  if (FAILED(hr)) {
    char text[64];
    std::snprintf(text, sizeof text, "class registration failed: 0x%08X",
                  static_cast<unsigned>(hr));
    throw std::runtime_error(text);
  }
  return cookie;
}

void RevokeClass(DWORD cookie) {
  CoRevokeClassObject(cookie);
}

}  // namespace quillmere::host
