#include "module/com_module.h"

#include "errors/com_error.h"

namespace quillmere {

CComModule::CComModule() {
  if (!factoryLock_.Valid()) RaiseComErrorWithoutInfo(HRESULT_FROM_WIN32(factoryLock_.InitError()));
}

CComModule::~CComModule() {
  ReleaseFactories();
}

void CComModule::ReleaseFactories() {
  for (std::atomic<IClassFactory*>& cached : factories_) {
    if (IClassFactory* factory = cached.exchange(nullptr)) factory->Release();
  }
}

}  // namespace quillmere
