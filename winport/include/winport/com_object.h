// Implementation base for COM objects: the atomic reference count and a
// QueryInterface over the listed interfaces. The interfaces stay pure.
//
//   class Thing : public winport::ComObject<IThing, ISupportErrorInfo> { ... };
//   winport::ComPtr<IThing> thing = winport::MakeComObject<Thing>(args...);
#pragma once

#include <atomic>
#include <new>
#include <utility>

#include <winport/com_ptr.h>

namespace winport {

template <class... Interfaces>
class ComObject : public Interfaces... {
  static_assert(sizeof...(Interfaces) > 0);

 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualGUID(riid, __uuidof(IUnknown))) {
      *ppv = static_cast<IUnknown*>(static_cast<First*>(this));
    } else {
      (FindInterface<Interfaces>(riid, ppv) || ...);
    }
    if (*ppv == nullptr) return E_NOINTERFACE;
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

 protected:
  ComObject() = default;
  virtual ~ComObject() = default;

 private:
  template <class... Rest>
  struct FirstOf;
  template <class F, class... Rest>
  struct FirstOf<F, Rest...> {
    using type = F;
  };
  using First = typename FirstOf<Interfaces...>::type;

  template <class I>
  bool FindInterface(REFIID riid, void** ppv) {
    if (!IsEqualGUID(riid, __uuidof(I))) return false;
    *ppv = static_cast<I*>(this);
    return true;
  }

  std::atomic<ULONG> refs_{0};
};

// Creates a T with one reference, held by the returned pointer (null when out of memory).
template <class T, class... Args>
ComPtr<T> MakeComObject(Args&&... args) {
  return ComPtr<T>(new (std::nothrow) T(std::forward<Args>(args)...));
}

}  // namespace winport
