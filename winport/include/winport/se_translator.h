// Structured-exception translation: a per-thread function that turns a hardware fault
// (division by zero, access violation, ...) into a C++ exception it throws.
// Code that may fault must be built with -fnon-call-exceptions.
#pragma once

#ifdef _WIN32
// Declared here rather than through <eh.h>: g++ has no MSVC frame handler to call a
// translator, so winport supplies _set_se_translator itself (a vectored exception
// handler that calls the thread's translator). Do not include <eh.h> beside it.
struct _EXCEPTION_POINTERS;
typedef void(__cdecl* _se_translator_function)(unsigned int, struct _EXCEPTION_POINTERS*);
_se_translator_function __cdecl _set_se_translator(_se_translator_function _NewPtFunc);
#endif
