// Handles of kernel objects (tokens, events, mutexes, threads): small non-null values
// of one process-wide table, closed with CloseHandle, copied with DuplicateHandle.
#pragma once

#include <winport/base_types.h>
#include <winport/winerror.h>

#define WINPORT_DECLARED_PROCESS_HANDLES

#ifndef INVALID_HANDLE_VALUE
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)))
#endif

// The optional security of a new object. Descriptors are ignored and handles are never
// inherited: this system has no child processes of its own making.
struct _SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
};
using SECURITY_ATTRIBUTES = _SECURITY_ATTRIBUTES;
using PSECURITY_ATTRIBUTES = _SECURITY_ATTRIBUTES*;
typedef _SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;
using LPHANDLE = HANDLE*;

#define DUPLICATE_CLOSE_SOURCE 0x00000001
#define DUPLICATE_SAME_ACCESS 0x00000002

#define SYNCHRONIZE 0x00100000L

// The pseudo handles (HANDLE)-1 (this process) and (HANDLE)-2 (the calling thread):
// they need no closing, and closing them does nothing.
extern "C" HANDLE GetCurrentProcess();
extern "C" HANDLE GetCurrentThread();

// FALSE with ERROR_INVALID_HANDLE for a handle that is not open. An object lives on
// while any handle to it is open or a wait is using it.
extern "C" BOOL CloseHandle(HANDLE hObject);

// Within this process only. Duplicating GetCurrentThread() gives a real handle to the
// calling thread, usable from other threads.
extern "C" BOOL DuplicateHandle(HANDLE hSourceProcessHandle, HANDLE hSourceHandle,
                                HANDLE hTargetProcessHandle, LPHANDLE lpTargetHandle,
                                DWORD dwDesiredAccess, BOOL bInheritHandle, DWORD dwOptions);
