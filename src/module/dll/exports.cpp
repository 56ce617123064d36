// The library's entry point, its four COM exports, and the state of its report queue for
// the host's monitoring.
#include <winport/windows.h>

#include "module/module_instance.h"

using quillmere::LoadedModule;

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) return quillmere::AttachModule(module);
  if (reason == DLL_PROCESS_DETACH) quillmere::DetachModule();
  return TRUE;
}

STDAPI DllCanUnloadNow() {
  return LoadedModule() != nullptr ? LoadedModule()->CanUnloadNow() : S_OK;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  if (LoadedModule() == nullptr) return E_UNEXPECTED;
  return LoadedModule()->GetClassObject(rclsid, riid, ppv);
}

STDAPI DllRegisterServer() {
  if (LoadedModule() == nullptr) return E_UNEXPECTED;
  return LoadedModule()->RegisterServer();
}

STDAPI DllUnregisterServer() {
  if (LoadedModule() == nullptr) return E_UNEXPECTED;
  return LoadedModule()->UnregisterServer();
}

// The report queue's records waiting, records dropped so far and whether its worker is
// there; E_UNEXPECTED outside attach and detach. Cheap enough to be asked every second.
extern "C" HRESULT WINAPI QuillmereReportQueueState(ULONGLONG* depth, ULONGLONG* dropped,
                                                    BOOL* workerAlive) {
  if (depth == nullptr || dropped == nullptr || workerAlive == nullptr) return E_POINTER;
  if (LoadedModule() == nullptr) return E_UNEXPECTED;
  const quillmere::ReportQueue::State state = LoadedModule()->Queue().Observe();
  *depth = state.depth;
  *dropped = state.dropped;
  *workerAlive = state.workerAlive ? TRUE : FALSE;
  return S_OK;
}
