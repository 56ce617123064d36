// Threads of the process: _beginthreadex, their handles, priorities and identities.
#pragma once

#include <cstdint>

#include <winport/base_types.h>
#include <winport/handles.h>

#ifndef __stdcall
#define __stdcall
#endif

#define STILL_ACTIVE 259
#define CREATE_SUSPENDED 0x00000004

#define THREAD_PRIORITY_IDLE (-15)
#define THREAD_PRIORITY_LOWEST (-2)
#define THREAD_PRIORITY_BELOW_NORMAL (-1)
#define THREAD_PRIORITY_NORMAL 0
#define THREAD_PRIORITY_ABOVE_NORMAL 1
#define THREAD_PRIORITY_HIGHEST 2
#define THREAD_PRIORITY_TIME_CRITICAL 15
#define THREAD_PRIORITY_ERROR_RETURN 0x7FFFFFFF

// Starts start(arglist) on a new thread. Answers a handle (CloseHandle it) that is
// signalled when the thread ends, or 0 with errno and the last error set. stack_size 0
// is the default; initflag CREATE_SUSPENDED holds the thread until ResumeThread.
extern "C" std::uintptr_t _beginthreadex(void* security, unsigned stack_size,
                                         unsigned(__stdcall* start_address)(void*), void* arglist,
                                         unsigned initflag, unsigned* thrdaddr);
// Counts down a suspension of CREATE_SUSPENDED; answers the previous count.
extern "C" DWORD ResumeThread(HANDLE hThread);

// STILL_ACTIVE while the thread runs, then what its start routine returned.
extern "C" BOOL GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode);

// Remembers the priority and tries to give the thread the matching nice value; a
// scheduler that refuses (no privilege to raise it) is not a failure.
extern "C" BOOL SetThreadPriority(HANDLE hThread, int nPriority);
extern "C" int GetThreadPriority(HANDLE hThread);

// A last resort that cannot stop the thread here: cancelling a thread that runs C++
// code is unsafe. It records dwExitCode as the exit code, signals the handle and lets
// the thread run on, detached, until its start routine returns, whose result is then
// dropped. What the thread still does, and the locks and mutexes it holds until it ends,
// are not undone.
extern "C" BOOL TerminateThread(HANDLE hThread, DWORD dwExitCode);

extern "C" DWORD GetCurrentProcessId();
extern "C" DWORD GetCurrentThreadId();

extern "C" void Sleep(DWORD dwMilliseconds);
