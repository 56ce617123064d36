// An in-process COM server for the activation tests: DllGetClassObject serves
// kTestCounterClass, and DllCanUnloadNow agrees once no object is left.
#include <atomic>

#include "test_com_server.h"

namespace {

std::atomic<LONG> g_objects{0};

class Counter final : public winport::ComObject<ITestCounter> {
 public:
  Counter() { ++g_objects; }
  ~Counter() override { --g_objects; }
  HRESULT STDMETHODCALLTYPE Next(LONG* value) override {
    if (value == nullptr) return E_POINTER;
    *value = ++next_;
    return S_OK;
  }

 private:
  LONG next_ = 0;
};

class CounterFactory final : public winport::ComObject<IClassFactory> {
 public:
  CounterFactory() { ++g_objects; }
  ~CounterFactory() override { --g_objects; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    winport::ComPtr<Counter> counter = winport::MakeComObject<Counter>();
    if (!counter) return E_OUTOFMEMORY;
    return counter->QueryInterface(riid, ppv);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

// Counts this load in the registry (see kTestServerLoads).
struct LoadCounter {
  LoadCounter() {
    winport::ScopedHkey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kTestServerKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        key.Receive(), nullptr) != ERROR_SUCCESS) {
      return;
    }
    DWORD loads = 0;
    DWORD size = sizeof loads;
    RegQueryValueExW(key.Get(), kTestServerLoads, nullptr, nullptr,
                     reinterpret_cast<LPBYTE>(&loads), &size);
    ++loads;
    RegSetValueExW(key.Get(), kTestServerLoads, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&loads),
                   sizeof loads);
  }
} g_load_counter;

}  // namespace

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (!IsEqualGUID(rclsid, kTestCounterClass)) return CLASS_E_CLASSNOTAVAILABLE;
  winport::ComPtr<CounterFactory> factory = winport::MakeComObject<CounterFactory>();
  if (!factory) return E_OUTOFMEMORY;
  return factory->QueryInterface(riid, ppv);
}

STDAPI DllCanUnloadNow() {
  return g_objects == 0 ? S_OK : S_FALSE;
}
