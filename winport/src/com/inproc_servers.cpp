#include "inproc_servers.h"

#include <map>
#include <mutex>
#include <vector>

#include "registry_text.h"

namespace winport::detail {
namespace {

struct LoadedServer {
  HMODULE module;
  LPFNCANUNLOADNOW can_unload_now;
};

class LoadedServers {
 public:
  // The server at path, loading it on first use; null with the load error otherwise.
  HMODULE Get(const WideString& path, HRESULT* error) {
    std::lock_guard lock(mutex_);
    if (auto it = servers_.find(path); it != servers_.end()) return it->second.module;
    const HMODULE module = LoadLibraryW(path.c_str());
    if (module == nullptr) {
      *error = HRESULT_FROM_WIN32(GetLastError());
      return nullptr;
    }
    auto can_unload = reinterpret_cast<LPFNCANUNLOADNOW>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
    servers_.emplace(path, LoadedServer{module, can_unload});
    return module;
  }

  void FreeUnused() {
    std::vector<HMODULE> unused;
    {
      std::lock_guard lock(mutex_);
      for (auto it = servers_.begin(); it != servers_.end();) {
        const LoadedServer& server = it->second;
        if (server.can_unload_now != nullptr && server.can_unload_now() == S_OK) {
          unused.push_back(server.module);
          it = servers_.erase(it);
        } else {
          ++it;
        }
      }
    }
    // Outside the lock: a server's unload may wait for its own threads, which may be
    // activating classes.
    for (HMODULE module : unused)
      FreeLibrary(module);
  }

 private:
  std::mutex mutex_;
  std::map<WideString, LoadedServer> servers_;
};

LoadedServers& Servers() {
  static LoadedServers servers;
  return servers;
}

}  // namespace

HRESULT GetInprocServerClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  const WideString key = OLESTR("CLSID\\") + GuidText(clsid) + OLESTR("\\InprocServer32");
  const std::optional<WideString> path = ReadRegistryText(HKEY_CLASSES_ROOT, key);
  if (!path || path->empty()) return REGDB_E_CLASSNOTREG;
  HRESULT load_error = S_OK;
  const HMODULE module = Servers().Get(*path, &load_error);
  if (module == nullptr) return load_error;
  auto get_class_object = reinterpret_cast<LPFNGETCLASSOBJECT>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
  if (get_class_object == nullptr) return CO_E_ERRORINDLL;
  return get_class_object(clsid, riid, ppv);
}

void FreeUnusedInprocServers() {
  Servers().FreeUnused();
}

}  // namespace winport::detail
