// The COM object around one of the module's SOAP objects (T, an ISOAPObjectImpl): its
// reference count and interface table. While it lives it holds one lock on the module.
#pragma once

#include <atomic>

#include <winport/windows.h>

#include "diagnostics/reporter.h"
#include "errors/failure_helpers.h"
#include "module/com_module.h"
#include "quillmere/soap_object_interfaces.h"

namespace quillmere {

// The reference count while the object is being destroyed: a FinalRelease that takes and
// gives back references cannot bring it to zero again.
inline constexpr ULONG kDestructionMarker = 0xC0000001;

template <class T, class DefaultInterface>
class CServedObject final : public T, public DefaultInterface, public ISupportErrorInfo {
 public:
  // The new object, asked for riid: E_OUTOFMEMORY when it cannot be allocated, the
  // failure of its construction, of FinalConstruct or of the query (the object is then
  // destroyed again).
  static HRESULT Create(CComModule& module, Reporter& reporting, REFIID riid, void** object) {
    CServedObject* created = nullptr;
    const HRESULT made =
        RunAnsweringComOrMemoryError([&] { created = new CServedObject(module, reporting); });
    if (created == nullptr) return made;
    // Held around FinalConstruct, so that nothing it does can destroy the object.
    created->refs_.fetch_add(1, std::memory_order_relaxed);
    HRESULT hr = created->FinalConstruct();
    created->refs_.fetch_sub(1, std::memory_order_relaxed);
    if (SUCCEEDED(hr)) hr = created->QueryInterface(riid, object);
    if (FAILED(hr)) delete created;
    return hr;
  }

  // Default interface (also IUnknown), _ISoapObject, ISupportErrorInfo, ISetting.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualGUID(riid, __uuidof(IUnknown)) || IsEqualGUID(riid, __uuidof(DefaultInterface))) {
      *object = static_cast<DefaultInterface*>(this);
    } else if (IsEqualGUID(riid, __uuidof(_ISoapObject))) {
      *object = static_cast<_ISoapObject*>(this);
    } else if (IsEqualGUID(riid, __uuidof(ISupportErrorInfo))) {
      *object = static_cast<ISupportErrorInfo*>(this);
    } else if (IsEqualGUID(riid, __uuidof(ISetting))) {
      *object = static_cast<ISetting*>(this);
    } else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    return refs_.fetch_add(1, std::memory_order_relaxed) + 1;
  }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
  }

  // Only the default interface sets error info.
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override {
    return IsEqualGUID(riid, __uuidof(DefaultInterface)) ? S_OK : S_FALSE;
  }

 private:
  CServedObject(CComModule& module, Reporter& reporting) : T(reporting), module_(module) {
    module_.Lock();
  }
  ~CServedObject() override {
    refs_.store(kDestructionMarker, std::memory_order_relaxed);
    this->FinalRelease();
    module_.Unlock();
  }

  std::atomic<ULONG> refs_{0};
  CComModule& module_;
};

}  // namespace quillmere
