// The COM side of the module object: the lock count that decides when the library may be
// unloaded, and the class factories, made once each on first request.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>

#include <winport/critical_section.h>
#include <winport/windows.h>

namespace quillmere {

// Enough for the classes the module serves.
inline constexpr std::size_t kMaxServedClasses = 2;

class CComModule {
 public:
  // Raises the Win32 error as HRESULT when the critical section cannot be made.
  CComModule();
  // Releases the cached class factories.
  ~CComModule();
  CComModule(const CComModule&) = delete;
  CComModule& operator=(const CComModule&) = delete;

  LONG Lock() { return lockCount_.fetch_add(1, std::memory_order_acq_rel) + 1; }
  LONG Unlock() { return lockCount_.fetch_sub(1, std::memory_order_acq_rel) - 1; }
  LONG GetLockCount() const { return lockCount_.load(std::memory_order_acquire); }

  // The factory of served class `index`, made by `make` on the first request (under the
  // module's critical section, checked again inside it) and kept; borrowed. `make` answers
  // a new factory with one reference, or a failure.
  template <class Make>
  HRESULT CachedFactory(std::size_t index, Make make, IClassFactory** factory);

  // Releases every cached factory; the next request makes a new one.
  void ReleaseFactories();

 private:
  std::atomic<LONG> lockCount_{0};
  winport::CriticalSection factoryLock_;
  std::array<std::atomic<IClassFactory*>, kMaxServedClasses> factories_{};
};

template <class Make>
HRESULT CComModule::CachedFactory(std::size_t index, Make make, IClassFactory** factory) {
  std::atomic<IClassFactory*>& cached = factories_.at(index);
  *factory = cached.load(std::memory_order_acquire);
  if (*factory != nullptr) return S_OK;
  winport::CriticalSectionLock hold(factoryLock_);
  *factory = cached.load(std::memory_order_relaxed);
  if (*factory != nullptr) return S_OK;
  const HRESULT hr = make(factory);
  if (SUCCEEDED(hr)) cached.store(*factory, std::memory_order_release);
  return hr;
}

}  // namespace quillmere
