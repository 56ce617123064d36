// The class object of a built-in class: each CreateInstance makes a new Object, which
// cannot be aggregated. The process's lifetime is the server's, so LockServer has nothing
// to keep alive.
#pragma once

#include <winport/com_object.h>
#include <winport/com_ptr.h>
#include <winport/windows_api.h>

namespace winport::detail {

template <class Object>
class BuiltInClassFactory final : public ComObject<IClassFactory> {
 public:
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    ComPtr<Object> object = MakeComObject<Object>();
    if (!object) return E_OUTOFMEMORY;
    return object->QueryInterface(riid, ppv);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

// A new class object for Object, asked for riid.
template <class Object>
HRESULT GetBuiltInClassFactory(REFIID riid, void** ppv) {
  ComPtr<BuiltInClassFactory<Object>> factory = MakeComObject<BuiltInClassFactory<Object>>();
  if (!factory) return E_OUTOFMEMORY;
  return factory->QueryInterface(riid, ppv);
}

}  // namespace winport::detail
