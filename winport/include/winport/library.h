// Run-time library binding: LoadLibraryW, GetProcAddress, FreeLibrary, module names.
//
// A module handle is the address its image is mapped at, as on Windows, so the handle
// LoadLibraryW gives and the one found from an address inside the library are equal.
// "name.dll" (any case) is the shared object libname.so, searched in the machine's
// library directory (<prefix>/lib), then beside the running program, then along the
// dynamic loader's own path. A name with a path, Windows ("C:\lib\x.dll") or Linux,
// loads that file, or libx.so beside it when no file has the name as given.
// Module file names come back as Windows paths: under the prefix "C:\...", elsewhere
// the Linux path with backslashes ("\opt\app\libx.so"); MapPath takes either back.
//
// Entry points. A library that defines
//   extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved)
// and links winport::dll_entry is notified as on Windows: DLL_PROCESS_ATTACH (reserved
// null) when LoadLibraryW or LoadLibraryExW takes the first reference on it, on the
// loading thread, after its static objects are built; DLL_PROCESS_DETACH (reserved null)
// when FreeLibrary gives back the last one, before its static objects are destroyed. An
// attach that answers FALSE is followed by a detach, the library is freed and the load
// fails with ERROR_DLL_INIT_FAILED. Threads never notify libraries (no DLL_THREAD_ATTACH
// or DLL_THREAD_DETACH), so DisableThreadLibraryCalls only checks the module. As on
// Windows, a thread started with _beginthreadex cannot end while a DllMain runs (its
// handle is signalled only once the loader lock is free): a library that stops its
// threads in DllMain waits for them to say they are done, not for their handles.
//
// Process exit: every library still attached gets DLL_PROCESS_DETACH with reserved
// non-null, the latest attached first, from the exit handlers and so before its own
// static objects are destroyed. Unlike Windows, the process's other threads are still
// running then, so a library may ask its threads to finish their work. A library the
// program links at start, and so never loads with LoadLibraryW, is never notified.
#pragma once

#include <winport/base_types.h>
#include <winport/winerror.h>

#ifndef MAX_PATH
#define MAX_PATH 260
#endif

#ifndef ERROR_BAD_EXE_FORMAT
#define ERROR_BAD_EXE_FORMAT 193L
#endif

#define LOAD_WITH_ALTERED_SEARCH_PATH 0x00000008

#define GET_MODULE_HANDLE_EX_FLAG_PIN 0x00000001
#define GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT 0x00000002
#define GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS 0x00000004

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

using FARPROC = INT_PTR (*)();

extern "C" HMODULE LoadLibraryW(LPCWSTR lpLibFileName);
// hFile is reserved and must be null. LOAD_WITH_ALTERED_SEARCH_PATH is accepted: a
// library's dependencies already resolve through its own run path first.
extern "C" HMODULE LoadLibraryExW(LPCWSTR lpLibFileName, HANDLE hFile, DWORD dwFlags);
// Only exports of the module itself, not of the libraries it depends on; a null module
// is the program. Names only: shared objects have no ordinals.
extern "C" FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
// A null handle is ERROR_INVALID_HANDLE; anything else that is no module,
// ERROR_MOD_NOT_FOUND, as for GetProcAddress and GetModuleFileNameW.
extern "C" BOOL FreeLibrary(HMODULE hLibModule);
extern "C" DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize);
// lpModuleName is a module name, or with GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS any
// address inside the module; null names the running program.
extern "C" BOOL GetModuleHandleExW(DWORD dwFlags, LPCWSTR lpModuleName, HMODULE* phModule);
// TRUE for a module loaded with LoadLibraryW; otherwise FALSE with the error FreeLibrary
// would give.
extern "C" BOOL DisableThreadLibraryCalls(HMODULE hLibModule);
