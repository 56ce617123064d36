// GUIDs and their text form ("{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}").
#pragma once

#include <winport/winerror.h>

struct GUID {
  ULONG Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];
};
static_assert(sizeof(GUID) == 16);

using IID = GUID;
using CLSID = GUID;
using LPGUID = GUID*;
using LPIID = IID*;
using LPCLSID = CLSID*;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

inline bool IsEqualGUID(REFGUID a, REFGUID b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i) {
    if (a.Data4[i] != b.Data4[i]) return false;
  }
  return true;
}
#define IsEqualIID(a, b) IsEqualGUID(a, b)
#define IsEqualCLSID(a, b) IsEqualGUID(a, b)
inline bool operator==(REFGUID a, REFGUID b) {
  return IsEqualGUID(a, b);
}

inline constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
#define IID_NULL GUID_NULL
#define CLSID_NULL GUID_NULL

// Writes the braced text form and its terminator; returns the characters written
// including the terminator (39), or 0 when cchMax is too small.
extern "C" int StringFromGUID2(REFGUID rguid, OLECHAR* lpsz, int cchMax);
// Parses the braced text form. CO_E_CLASSSTRING (CLSID) or E_INVALIDARG (IID) on bad text.
extern "C" HRESULT CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid);
extern "C" HRESULT IIDFromString(LPCOLESTR lpsz, LPIID lpiid);
