// The thread's last Win32 error, system message texts and the local heap they live in.
#pragma once

#include <winport/base_types.h>

extern "C" DWORD GetLastError();
extern "C" void SetLastError(DWORD dwErrCode);

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_STRING 0x00000400
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000
#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FF

#define LANG_NEUTRAL 0x00
#define LANG_ENGLISH 0x09
#define SUBLANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define SUBLANG_ENGLISH_US 0x01
#define MAKELANGID(p, s) ((static_cast<WORD>(s) << 10) | static_cast<WORD>(p))

// Only FORMAT_MESSAGE_FROM_SYSTEM is served. Answers the message's length in characters
// (the text keeps its trailing CR LF) or 0 with ERROR_MR_MID_NOT_FOUND when the system
// has no text for the code. With FORMAT_MESSAGE_ALLOCATE_BUFFER, lpBuffer receives a
// LocalAlloc'ed pointer (pass the address of an LPWSTR, cast to LPWSTR).
extern "C" DWORD FormatMessageW(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId,
                                DWORD dwLanguageId, LPWSTR lpBuffer, DWORD nSize, void* Arguments);

#define LMEM_FIXED 0x0000
#define LMEM_ZEROINIT 0x0040
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)
extern "C" HLOCAL LocalAlloc(UINT uFlags, SIZE_T uBytes);
extern "C" HLOCAL LocalFree(HLOCAL hMem);
