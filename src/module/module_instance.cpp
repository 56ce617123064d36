#include "module/module_instance.h"

#include <new>
#include <optional>

#include "errors/com_error.h"

namespace quillmere {

namespace {

// Written only by attach and detach, which the loader runs one at a time.
std::optional<CWSModule> g_module;

}  // namespace

BOOL AttachModule(HINSTANCE module) {
  try {
    g_module.emplace();
  } catch (const _com_error&) {
    return FALSE;
  } catch (const std::bad_alloc&) {
    return FALSE;
  }
  g_module->ProcessAttach(module);
  return TRUE;
}

void DetachModule() {
  if (!g_module) return;
  g_module->ProcessDetach();
  g_module.reset();
}

CWSModule* LoadedModule() {
  return g_module ? &*g_module : nullptr;
}

}  // namespace quillmere
