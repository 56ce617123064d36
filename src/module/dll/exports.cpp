// The library's entry point and its four exports.
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
