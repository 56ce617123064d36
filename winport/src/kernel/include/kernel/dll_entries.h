// The libraries whose DllMain the loader calls: each registers itself as it is mapped
// (winport::dll_entry's constructor) and the loader notifies it on its first load
// reference and its last (see library.h).
#pragma once

#include <mutex>

#include <winport/windows.h>

using WinportDllEntryPoint = BOOL (*)(HINSTANCE, DWORD, LPVOID);

// For winport::dll_entry, which the library links: `inside` is any address in it.
extern "C" void WinportRegisterDllEntry(const void* inside, WinportDllEntryPoint entry);
extern "C" void WinportUnregisterDllEntry(const void* inside);

namespace winport::detail {

// Held by LoadLibraryW and FreeLibrary for their whole run, so a library is attached or
// detached by one thread at a time and never loaded half attached. Recursive: a DllMain
// may load and free libraries.
std::recursive_mutex& LoaderLock();

// With the loader lock held, after the loading reference is taken. False when DllMain
// refused the attach; the caller then frees the library, which notifies its detach.
bool AttachLibrary(HMODULE module);

// With the loader lock held, before the last reference is given back.
void DetachLibrary(HMODULE module, LPVOID reserved);

}  // namespace winport::detail
