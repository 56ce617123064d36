#include "module/module_instance.h"

#include <optional>

#include "errors/failure_helpers.h"

namespace quillmere {

namespace {

// Written only by attach and detach, which the loader runs one at a time.
std::optional<CWSModule> g_module;

}  // namespace

BOOL AttachModule(HINSTANCE module) {
  // A COM error or an allocation failure leaves it unmade, and the library unloaded.
  RunAnsweringComOrMemoryError([] { g_module.emplace(); });
  if (!g_module) return FALSE;
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
