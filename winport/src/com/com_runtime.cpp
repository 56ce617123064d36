// The COM runtime of one process: per-thread apartments, the table of class objects
// that the process registered itself, and activation through it.
#include <winport/com.h>
#include <winport/windows.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "com/built_in_classes.h"
#include "common/injected_fault.h"
#include "inproc_servers.h"

namespace {

struct Apartment {
  ULONG inits = 0;
  bool multithreaded = false;
};
thread_local Apartment t_apartment;

// Threads that never called CoInitializeEx still use COM in the process's
// multithreaded apartment once any thread has joined it.
std::atomic<ULONG> g_mta_threads{0};

bool CanUseCom() {
  return t_apartment.inits > 0 || g_mta_threads.load(std::memory_order_acquire) > 0;
}

struct Registration {
  DWORD cookie;
  CLSID clsid;
  DWORD context;
  winport::ComPtr<IUnknown> object;
};

class ClassTable {
 public:
  DWORD Add(REFCLSID clsid, IUnknown* object, DWORD context) {
    std::lock_guard lock(mutex_);
    const DWORD cookie = next_cookie_++;
    entries_.push_back(Registration{cookie, clsid, context, object});
    return cookie;
  }

  bool Remove(DWORD cookie) {
    winport::ComPtr<IUnknown> released;  // released after the lock is dropped
    std::lock_guard lock(mutex_);
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
      if (it->cookie == cookie) {
        released = std::move(it->object);
        entries_.erase(it);
        return true;
      }
    }
    return false;
  }

  // The newest registration of clsid serving a context in the mask.
  winport::ComPtr<IUnknown> Find(REFCLSID clsid, DWORD context) {
    std::lock_guard lock(mutex_);
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
      if (IsEqualGUID(it->clsid, clsid) && (it->context & context) != 0) return it->object;
    }
    return nullptr;
  }

 private:
  std::mutex mutex_;
  std::vector<Registration> entries_;
  DWORD next_cookie_ = 1;
};

ClassTable& Classes() {
  static ClassTable table;
  return table;
}

}  // namespace

extern "C" HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit) {
  if (pvReserved != nullptr) return E_INVALIDARG;
  WINPORT_FAIL_HRESULT("CoInitializeEx");
  const bool multithreaded = (dwCoInit & COINIT_APARTMENTTHREADED) == 0;
  Apartment& apartment = t_apartment;
  if (apartment.inits > 0) {
    if (apartment.multithreaded != multithreaded) return RPC_E_CHANGED_MODE;
    ++apartment.inits;
    return S_FALSE;
  }
  apartment.inits = 1;
  apartment.multithreaded = multithreaded;
  if (multithreaded) g_mta_threads.fetch_add(1, std::memory_order_acq_rel);
  return S_OK;
}

extern "C" HRESULT CoInitialize(LPVOID pvReserved) {
  return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED);
}

extern "C" void CoUninitialize() {
  Apartment& apartment = t_apartment;
  if (apartment.inits == 0) return;
  if (--apartment.inits == 0 && apartment.multithreaded) {
    g_mta_threads.fetch_sub(1, std::memory_order_acq_rel);
  }
}

// REGCLS_SINGLEUSE hides a class object from other processes only; in process every
// registration serves every activation, whatever its flags.
extern "C" HRESULT CoRegisterClassObject(REFCLSID rclsid, IUnknown* pUnk, DWORD dwClsContext,
                                         DWORD /*flags*/, LPDWORD lpdwRegister) {
  if (pUnk == nullptr || lpdwRegister == nullptr) return E_INVALIDARG;
  *lpdwRegister = 0;
  if (!CanUseCom()) return CO_E_NOTINITIALIZED;
  WINPORT_FAIL_HRESULT("CoRegisterClassObject");
  *lpdwRegister = Classes().Add(rclsid, pUnk, dwClsContext);
  return S_OK;
}

extern "C" HRESULT CoRevokeClassObject(DWORD dwRegister) {
  if (!CanUseCom()) return CO_E_NOTINITIALIZED;
  return Classes().Remove(dwRegister) ? S_OK : E_INVALIDARG;
}

extern "C" HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID /*pvReserved*/,
                                    REFIID riid, LPVOID* ppv) {
  if (ppv == nullptr) return E_INVALIDARG;
  *ppv = nullptr;
  if (!CanUseCom()) return CO_E_NOTINITIALIZED;
  WINPORT_FAIL_HRESULT("CoGetClassObject");
  // Classes the process registered itself come first, then the system's own, then the
  // libraries the registry names.
  winport::ComPtr<IUnknown> object = Classes().Find(rclsid, dwClsContext);
  if (object) return object->QueryInterface(riid, ppv);
  if ((dwClsContext & CLSCTX_INPROC_SERVER) == 0) return REGDB_E_CLASSNOTREG;
  const HRESULT built_in = winport::detail::GetBuiltInClassObject(rclsid, riid, ppv);
  if (built_in != REGDB_E_CLASSNOTREG) return built_in;
  return winport::detail::GetInprocServerClassObject(rclsid, riid, ppv);
}

extern "C" void CoFreeUnusedLibraries() {
  winport::detail::FreeUnusedInprocServers();
}

extern "C" void CoFreeUnusedLibrariesEx(DWORD, DWORD) {
  winport::detail::FreeUnusedInprocServers();
}

extern "C" HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext,
                                    REFIID riid, LPVOID* ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  WINPORT_FAIL_HRESULT("CoCreateInstance");
  winport::ComPtr<IClassFactory> factory;
  const HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, __uuidof(IClassFactory),
                                      reinterpret_cast<void**>(factory.GetAddressOf()));
  if (FAILED(hr)) return hr;
  return factory->CreateInstance(pUnkOuter, riid, ppv);
}

extern "C" HRESULT OleRun(LPUNKNOWN pUnknown) {
  if (pUnknown == nullptr) return E_INVALIDARG;
  winport::ComPtr<IRunnableObject> runnable;
  if (FAILED(pUnknown->QueryInterface(runnable.GetAddressOf()))) return S_OK;
  return runnable->Run(nullptr);
}

extern "C" HRESULT CoSetProxyBlanket(IUnknown* pProxy, DWORD, DWORD, OLECHAR*, DWORD, DWORD,
                                     RPC_AUTH_IDENTITY_HANDLE, DWORD) {
  if (pProxy == nullptr) return E_INVALIDARG;
  WINPORT_FAIL_HRESULT("CoSetProxyBlanket");
  return S_OK;
}

extern "C" LPVOID CoTaskMemAlloc(SIZE_T cb) {
  return std::malloc(cb == 0 ? 1 : cb);
}
extern "C" void CoTaskMemFree(LPVOID pv) {
  std::free(pv);
}
