// Linked into a library that defines DllMain, so that winport's loader can call it: tells
// the loader where the library's entry point is while the library is mapped.
#include <winport/windows.h>

#include "kernel/dll_entries.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved);

namespace {

__attribute__((constructor)) void RegisterDllMain() {
  WinportRegisterDllEntry(reinterpret_cast<const void*>(&RegisterDllMain), &DllMain);
}

__attribute__((destructor)) void UnregisterDllMain() {
  WinportUnregisterDllEntry(reinterpret_cast<const void*>(&RegisterDllMain));
}

}  // namespace
