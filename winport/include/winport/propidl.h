// PROPVARIANT: the tagged value of property sets, with the members its users here read
// (message-queuing properties). Same 24-byte layout as on Windows x64.
#pragma once

#include <winport/fileapi.h>
#include <winport/guid.h>
#include <winport/oleauto.h>

using PROPID = ULONG;

struct CAUB {
  ULONG cElems;
  UCHAR* pElems;
};

struct CAUL {
  ULONG cElems;
  ULONG* pElems;
};

struct CALPWSTR {
  ULONG cElems;
  LPWSTR* pElems;
};

struct tagPROPVARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    CHAR cVal;
    UCHAR bVal;
    SHORT iVal;
    USHORT uiVal;
    LONG lVal;
    ULONG ulVal;
    INT intVal;
    UINT uintVal;
    LARGE_INTEGER hVal;
    ULONGLONG uhVal;
    VARIANT_BOOL boolVal;
    SCODE scode;
    BSTR bstrVal;
    LPSTR pszVal;
    LPWSTR pwszVal;
    CLSID* puuid;
    CAUB caub;
    CAUL caul;
    CALPWSTR calpwstr;
  };
};
using PROPVARIANT = tagPROPVARIANT;
static_assert(sizeof(PROPVARIANT) == 24, "PROPVARIANT must keep the Windows x64 layout");
