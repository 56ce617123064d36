#include "module/class_factory.h"

namespace quillmere {

HRESULT CClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  return create_(module_, reporting_, riid, object);
}

HRESULT CClassFactory::LockServer(BOOL lock) {
  if (lock) {
    module_.Lock();
  } else {
    module_.Unlock();
  }
  return S_OK;
}

}  // namespace quillmere
