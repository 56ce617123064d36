#include "host/common/class_object.h"

#include <new>
#include <stdexcept>
#include <utility>

#include <winport/com_object.h>

#include "host/common/com_boundary.h"
#include "host/common/hresult_text.h"

namespace quillmere::host {
namespace {

class ObjectFactory : public winport::ComObject<IClassFactory> {
 public:
  explicit ObjectFactory(ObjectMaker make) : make_(std::move(make)) {}

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return Guarded([&] {
      const winport::ComPtr<IUnknown> made = make_();
      if (!made) return E_OUTOFMEMORY;
      return made->QueryInterface(riid, object);
    });
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 private:
  ObjectMaker make_;
};

}  // namespace

ServedClass::ServedClass(REFCLSID classId, ObjectMaker make, DWORD context) {
  const auto factory = winport::MakeComObject<ObjectFactory>(std::move(make));
  if (!factory) throw std::bad_alloc();
  const HRESULT hr =
      CoRegisterClassObject(classId, factory.Get(), context, REGCLS_MULTIPLEUSE, &cookie_);
  if (FAILED(hr)) throw std::runtime_error("class registration failed: " + HresultText(hr));
}

ServedClass::~ServedClass() {
  CoRevokeClassObject(cookie_);
}

}  // namespace quillmere::host
