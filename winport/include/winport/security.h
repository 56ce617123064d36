// The process's identity: its token, the user's security identifier (SID).
//
// The Unix user the process acts as (its effective uid) is the SID S-1-22-1-<uid>, the
// authority and form Samba and Wine give Unix users.
#pragma once

#include <winport/base_types.h>
#include <winport/handles.h>
#include <winport/winerror.h>

struct SID_IDENTIFIER_AUTHORITY {
  BYTE Value[6];
};
using PSID_IDENTIFIER_AUTHORITY = SID_IDENTIFIER_AUTHORITY*;

#define ANYSIZE_ARRAY 1
#define SID_REVISION 1
#define SECURITY_MAX_SID_SIZE 68
#define SID_MAX_SUB_AUTHORITIES 15

struct SID {
  BYTE Revision;
  BYTE SubAuthorityCount;
  SID_IDENTIFIER_AUTHORITY IdentifierAuthority;
  DWORD SubAuthority[ANYSIZE_ARRAY];
};
using PSID = void*;
using PSECURITY_DESCRIPTOR = void*;

struct SID_AND_ATTRIBUTES {
  PSID Sid;
  DWORD Attributes;
};
using PSID_AND_ATTRIBUTES = SID_AND_ATTRIBUTES*;

struct TOKEN_USER {
  SID_AND_ATTRIBUTES User;
};
using PTOKEN_USER = TOKEN_USER*;

enum TOKEN_INFORMATION_CLASS {
  TokenUser = 1,
  TokenGroups,
  TokenPrivileges,
  TokenOwner,
  TokenPrimaryGroup,
  TokenDefaultDacl,
  TokenSource,
  TokenType,
  TokenImpersonationLevel,
  TokenStatistics,
};
using PTOKEN_INFORMATION_CLASS = TOKEN_INFORMATION_CLASS*;

using PHANDLE = HANDLE*;
using PDWORD = DWORD*;

// Access rights; other facilities (the registry) share the standard ones.
#ifndef STANDARD_RIGHTS_REQUIRED
#define STANDARD_RIGHTS_REQUIRED 0x000F0000L
#endif
#ifndef STANDARD_RIGHTS_READ
#define STANDARD_RIGHTS_READ 0x00020000L
#endif
#ifndef STANDARD_RIGHTS_WRITE
#define STANDARD_RIGHTS_WRITE 0x00020000L
#endif
#ifndef STANDARD_RIGHTS_EXECUTE
#define STANDARD_RIGHTS_EXECUTE 0x00020000L
#endif

#define TOKEN_ASSIGN_PRIMARY 0x0001
#define TOKEN_DUPLICATE 0x0002
#define TOKEN_IMPERSONATE 0x0004
#define TOKEN_QUERY 0x0008
#define TOKEN_QUERY_SOURCE 0x0010
#define TOKEN_ADJUST_PRIVILEGES 0x0020
#define TOKEN_ADJUST_GROUPS 0x0040
#define TOKEN_ADJUST_DEFAULT 0x0080
#define TOKEN_ADJUST_SESSIONID 0x0100
#define TOKEN_ALL_ACCESS                                                                   \
  (STANDARD_RIGHTS_REQUIRED | TOKEN_ASSIGN_PRIMARY | TOKEN_DUPLICATE | TOKEN_IMPERSONATE | \
   TOKEN_QUERY | TOKEN_QUERY_SOURCE | TOKEN_ADJUST_PRIVILEGES | TOKEN_ADJUST_GROUPS |      \
   TOKEN_ADJUST_DEFAULT | TOKEN_ADJUST_SESSIONID)
#define TOKEN_READ (STANDARD_RIGHTS_READ | TOKEN_QUERY)

// Only GetCurrentProcess() is a process this one may open.
extern "C" BOOL OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess, PHANDLE TokenHandle);
// TokenUser only; needs TOKEN_QUERY. The SID follows the TOKEN_USER in the buffer.
extern "C" BOOL GetTokenInformation(HANDLE TokenHandle,
                                    TOKEN_INFORMATION_CLASS TokenInformationClass,
                                    LPVOID TokenInformation, DWORD TokenInformationLength,
                                    PDWORD ReturnLength);

extern "C" BOOL IsValidSid(PSID pSid);
extern "C" DWORD GetLengthSid(PSID pSid);
extern "C" BOOL CopySid(DWORD nDestinationSidLength, PSID pDestinationSid, PSID pSourceSid);
// *StringSid is LocalAlloc'ed: free it with LocalFree.
extern "C" BOOL ConvertSidToStringSidW(PSID Sid, LPWSTR* StringSid);
