// Structured-exception translation: a per-thread function that turns a hardware fault
// (division by zero, access violation, ...) into a C++ exception it throws.
// Code that may fault must be built with -fnon-call-exceptions (winport passes it on
// to everything that links it), so that the faulting instruction can unwind.
#pragma once

#ifdef _WIN32
// Declared here rather than through <eh.h>: g++ has no MSVC frame handler to call a
// translator, so winport supplies _set_se_translator itself (a vectored exception
// handler that calls the thread's translator). Do not include <eh.h> beside it.
struct _EXCEPTION_POINTERS;
typedef void(__cdecl* _se_translator_function)(unsigned int, struct _EXCEPTION_POINTERS*);
_se_translator_function __cdecl _set_se_translator(_se_translator_function _NewPtFunc);
#else
#include <winport/base_types.h>

#define __cdecl

#define EXCEPTION_ACCESS_VIOLATION 0xC0000005u
#define EXCEPTION_DATATYPE_MISALIGNMENT 0x80000002u
#define EXCEPTION_BREAKPOINT 0x80000003u
#define EXCEPTION_SINGLE_STEP 0x80000004u
#define EXCEPTION_ARRAY_BOUNDS_EXCEEDED 0xC000008Cu
#define EXCEPTION_FLT_DENORMAL_OPERAND 0xC000008Du
#define EXCEPTION_FLT_DIVIDE_BY_ZERO 0xC000008Eu
#define EXCEPTION_FLT_INEXACT_RESULT 0xC000008Fu
#define EXCEPTION_FLT_INVALID_OPERATION 0xC0000090u
#define EXCEPTION_FLT_OVERFLOW 0xC0000091u
#define EXCEPTION_FLT_STACK_CHECK 0xC0000092u
#define EXCEPTION_FLT_UNDERFLOW 0xC0000093u
#define EXCEPTION_INT_DIVIDE_BY_ZERO 0xC0000094u
#define EXCEPTION_INT_OVERFLOW 0xC0000095u
#define EXCEPTION_PRIV_INSTRUCTION 0xC0000096u
#define EXCEPTION_IN_PAGE_ERROR 0xC0000006u
#define EXCEPTION_ILLEGAL_INSTRUCTION 0xC000001Du
#define EXCEPTION_NONCONTINUABLE 0x1u
#define EXCEPTION_MAXIMUM_PARAMETERS 15

struct EXCEPTION_RECORD {
  DWORD ExceptionCode;
  DWORD ExceptionFlags;
  EXCEPTION_RECORD* ExceptionRecord;
  PVOID ExceptionAddress;
  DWORD NumberParameters;
  ULONG_PTR ExceptionInformation[EXCEPTION_MAXIMUM_PARAMETERS];
};
using PEXCEPTION_RECORD = EXCEPTION_RECORD*;

// The x86-64 integer registers at the fault, under their Windows names.
struct CONTEXT {
  DWORD ContextFlags;
  DWORD EFlags;
  DWORD64 Rax, Rcx, Rdx, Rbx, Rsp, Rbp, Rsi, Rdi;
  DWORD64 R8, R9, R10, R11, R12, R13, R14, R15;
  DWORD64 Rip;
};
using PCONTEXT = CONTEXT*;
#define CONTEXT_INTEGER 0x00100002u
#define CONTEXT_CONTROL 0x00100001u

struct _EXCEPTION_POINTERS {
  PEXCEPTION_RECORD ExceptionRecord;
  PCONTEXT ContextRecord;
};
using EXCEPTION_POINTERS = _EXCEPTION_POINTERS;
using PEXCEPTION_POINTERS = _EXCEPTION_POINTERS*;

typedef void(__cdecl* _se_translator_function)(unsigned int, struct _EXCEPTION_POINTERS*);

// Per thread; returns the thread's previous translator. On a thread that has one, a
// hardware fault calls it with Windows' code and the fault's record and context; it is
// expected to throw. A thread without one crashes as it always would.
_se_translator_function _set_se_translator(_se_translator_function _NewPtFunc);

// Clears the floating-point status word; returns the one that was set.
unsigned int _clearfp();
// Reinitialises the floating-point unit.
void _fpreset();
#endif
