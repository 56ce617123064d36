// System names: the computer's name and the system directory.
#pragma once

#include <winport/base_types.h>
#include <winport/winerror.h>

#ifndef MAX_COMPUTERNAME_LENGTH
#define MAX_COMPUTERNAME_LENGTH 15
#endif

#ifndef ERROR_BUFFER_OVERFLOW
#define ERROR_BUFFER_OVERFLOW 111L
#endif

// The NetBIOS form of the host name: its first label, upper-case, at most
// MAX_COMPUTERNAME_LENGTH characters. *nSize is the buffer's size in; the name's length
// out, or on ERROR_BUFFER_OVERFLOW the size needed with the terminator.
extern "C" BOOL GetComputerNameW(LPWSTR lpBuffer, LPDWORD nSize);

// "C:\Windows\system32", which MapPath turns into machine::SystemDirectory(). Answers
// the length without the terminator, or when uSize is too small the size needed with it.
extern "C" UINT GetSystemDirectoryW(LPWSTR lpBuffer, UINT uSize);
