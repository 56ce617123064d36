// Synchronisation: critical sections, events, mutexes (named ones shared with the other
// processes of the machine) and the waits on them.
#pragma once

#include <winport/base_types.h>
#include <winport/handles.h>
#include <winport/winerror.h>

// A recursive lock of the threads of one process. The storage holds the lock itself.
struct RTL_CRITICAL_SECTION {
  alignas(8) unsigned char Lock[48];
  ULONG_PTR SpinCount;  // tries before a thread finding it held sleeps
};
using CRITICAL_SECTION = RTL_CRITICAL_SECTION;
using LPCRITICAL_SECTION = RTL_CRITICAL_SECTION*;
using PCRITICAL_SECTION = RTL_CRITICAL_SECTION*;

extern "C" void InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
// A thread finding the lock held tries again up to dwSpinCount times before it sleeps.
extern "C" BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION lpCriticalSection,
                                                      DWORD dwSpinCount);
extern "C" void EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
extern "C" BOOL TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
extern "C" void LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
extern "C" void DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection);

#define INFINITE 0xFFFFFFFF
#define MAXIMUM_WAIT_OBJECTS 64
#define WAIT_OBJECT_0 0x00000000L
#define WAIT_ABANDONED 0x00000080L
#define WAIT_ABANDONED_0 0x00000080L
#define WAIT_TIMEOUT 258L
#define WAIT_FAILED 0xFFFFFFFF
#define STATUS_WAIT_0 0x00000000L

#define EVENT_MODIFY_STATE 0x0002
#define EVENT_ALL_ACCESS 0x1F0003
#define MUTEX_MODIFY_STATE 0x0001
#define MUTEX_ALL_ACCESS 0x1F0001

// Unnamed events only: a name is refused with ERROR_NOT_SUPPORTED.
extern "C" HANDLE CreateEventW(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset,
                               BOOL bInitialState, LPCWSTR lpName);
extern "C" BOOL SetEvent(HANDLE hEvent);
extern "C" BOOL ResetEvent(HANDLE hEvent);

// A named mutex is one object for every process of the machine (winport::machine's
// prefix): ERROR_ALREADY_EXISTS in the last error, with a valid handle and without
// taking ownership, when the name was already open somewhere. Names are case sensitive;
// "Global\" and "Local\" name the same namespace.
extern "C" HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner,
                               LPCWSTR lpName);
// Null with ERROR_FILE_NOT_FOUND when no process has the name open.
extern "C" HANDLE OpenMutexW(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCWSTR lpName);
// ERROR_NOT_OWNER unless the calling thread owns the mutex.
extern "C" BOOL ReleaseMutex(HANDLE hMutex);

// Waits on events, mutexes and threads. A satisfied wait resets an auto-reset event and
// gives the caller the mutex; a mutex whose owner ended without releasing it is handed
// over with WAIT_ABANDONED_0 + n.
extern "C" DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
// Wait-any answers the lowest index that is signalled; wait-all takes every object at
// once or none.
extern "C" DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                                        DWORD dwMilliseconds);
