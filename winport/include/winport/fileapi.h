// Files and directories, by their Windows paths mapped onto the machine's prefix
// (winport::machine::MapPath). File handles close with CloseHandle. Share modes are
// honoured between the handles of this process only; other processes' opens are not
// seen. Overlapped I/O is not served: pass null.
#pragma once

#include <winport/base_types.h>
#include <winport/handles.h>
#include <winport/security.h>
#include <winport/winerror.h>

#ifndef DELETE
#define DELETE 0x00010000L
#endif
#define GENERIC_READ 0x80000000L
#define GENERIC_WRITE 0x40000000L
#define GENERIC_EXECUTE 0x20000000L
#define GENERIC_ALL 0x10000000L

#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004

#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5

#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_SYSTEM 0x00000004
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define INVALID_FILE_ATTRIBUTES (static_cast<DWORD>(-1))

#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2

#ifndef ERROR_DISK_FULL
#define ERROR_DISK_FULL 112L
#endif

union LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  } u;
  LONGLONG QuadPart;
};
using PLARGE_INTEGER = LARGE_INTEGER*;

struct _OVERLAPPED;
typedef _OVERLAPPED OVERLAPPED;
typedef _OVERLAPPED* LPOVERLAPPED;

// Security attributes and the template are ignored; of the flags, only the attributes
// of a new file count (none that Linux can keep). Opening a directory is
// ERROR_ACCESS_DENIED. OPEN_ALWAYS and CREATE_ALWAYS succeed on an existing file with
// ERROR_ALREADY_EXISTS as the last error, 0 otherwise.
extern "C" HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                              LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                              DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes,
                              HANDLE hTemplateFile);
extern "C" BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                         LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped);
extern "C" BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                          LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped);
extern "C" BOOL SetFilePointerEx(HANDLE hFile, LARGE_INTEGER liDistanceToMove,
                                 PLARGE_INTEGER lpNewFilePointer, DWORD dwMoveMethod);
extern "C" BOOL GetFileSizeEx(HANDLE hFile, PLARGE_INTEGER lpFileSize);
extern "C" BOOL FlushFileBuffers(HANDLE hFile);

extern "C" BOOL CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes);
extern "C" BOOL RemoveDirectoryW(LPCWSTR lpPathName);
// A file open without FILE_SHARE_DELETE cannot be deleted: ERROR_SHARING_VIOLATION.
extern "C" BOOL DeleteFileW(LPCWSTR lpFileName);
// Directories are FILE_ATTRIBUTE_DIRECTORY, files FILE_ATTRIBUTE_ARCHIVE (as NTFS marks
// every file written), either with FILE_ATTRIBUTE_READONLY when the owner may not write.
extern "C" DWORD GetFileAttributesW(LPCWSTR lpFileName);
