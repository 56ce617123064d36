#include "kernel/dll_entries.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <vector>

namespace {

struct Entry {
  WinportDllEntryPoint function = nullptr;
  bool attached = false;
};

// The entries by module, and the attached modules in the order they were attached.
struct Entries {
  std::mutex mutex;
  std::map<HMODULE, Entry> byModule;
  std::vector<HMODULE> attachOrder;
};

// Never destroyed: libraries are detached from the exit handlers and unmapped after them.
Entries& Table() {
  static auto* table = new Entries;
  return *table;
}

HMODULE ModuleAt(const void* inside) {
  Dl_info info;
  return dladdr(inside, &info) != 0 ? info.dli_fbase : nullptr;
}

// Whatever is still attached when the process ends, the latest first.
void DetachAllAtExit() {
  std::lock_guard loader(winport::detail::LoaderLock());
  for (;;) {
    HMODULE module = nullptr;
    {
      std::lock_guard lock(Table().mutex);
      if (Table().attachOrder.empty()) return;
      module = Table().attachOrder.back();
    }
    // Non-null: the process is ending.
    winport::detail::DetachLibrary(module, reinterpret_cast<LPVOID>(1));
  }
}

}  // namespace

extern "C" void WinportRegisterDllEntry(const void* inside, WinportDllEntryPoint entry) {
  std::lock_guard lock(Table().mutex);
  Table().byModule[ModuleAt(inside)] = Entry{entry, false};
}

extern "C" void WinportUnregisterDllEntry(const void* inside) {
  const HMODULE module = ModuleAt(inside);
  std::lock_guard lock(Table().mutex);
  Table().byModule.erase(module);
  std::erase(Table().attachOrder, module);
}

namespace winport::detail {

std::recursive_mutex& LoaderLock() {
  static auto* lock = new std::recursive_mutex;
  return *lock;
}

bool AttachLibrary(HMODULE module) {
  WinportDllEntryPoint entry = nullptr;
  {
    std::lock_guard lock(Table().mutex);
    auto found = Table().byModule.find(module);
    if (found == Table().byModule.end() || found->second.attached) return true;
    // Marked first: a DllMain that loads its own library is not attached twice.
    found->second.attached = true;
    entry = found->second.function;
    Table().attachOrder.push_back(module);
  }
  // Registered after the library's own static objects, so it runs before they go.
  std::atexit(DetachAllAtExit);
  return entry(module, DLL_PROCESS_ATTACH, nullptr) != FALSE;
}

void DetachLibrary(HMODULE module, LPVOID reserved) {
  WinportDllEntryPoint entry = nullptr;
  {
    std::lock_guard lock(Table().mutex);
    auto found = Table().byModule.find(module);
    if (found == Table().byModule.end() || !found->second.attached) return;
    found->second.attached = false;
    entry = found->second.function;
    std::erase(Table().attachOrder, module);
  }
  entry(module, DLL_PROCESS_DETACH, reserved);
}

}  // namespace winport::detail
