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
