// The process's identity: its token, the user's security identifier (SID).
#pragma once

#include <winport/base_types.h>
#include <winport/winerror.h>

struct SID_IDENTIFIER_AUTHORITY {
  BYTE Value[6];
};
using PSID_IDENTIFIER_AUTHORITY = SID_IDENTIFIER_AUTHORITY*;

#define ANYSIZE_ARRAY 1
#define SID_REVISION 1
#define SECURITY_MAX_SID_SIZE 68

struct SID {
  BYTE Revision;
  BYTE SubAuthorityCount;
  SID_IDENTIFIER_AUTHORITY IdentifierAuthority;
  DWORD SubAuthority[ANYSIZE_ARRAY];
};
using PSID = void*;
