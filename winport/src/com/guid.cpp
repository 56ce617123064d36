#include <winport/com.h>
#include <winport/guid.h>

#include <cstdio>

namespace {

int HexValue(OLECHAR c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// Reads `digits` hex digits at text[pos]; false on anything else.
bool ReadHex(LPCOLESTR text, int pos, int digits, unsigned long long* out) {
  unsigned long long value = 0;
  for (int i = 0; i < digits; ++i) {
    const int v = HexValue(text[pos + i]);
    if (v < 0) return false;
    value = value * 16 + static_cast<unsigned>(v);
  }
  *out = value;
  return true;
}

// Parses exactly "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}".
bool ParseBraced(LPCOLESTR text, GUID* guid) {
  constexpr int kLength = 38;
  for (int i = 0; i < kLength; ++i) {
    if (text[i] == 0) return false;
  }
  if (text[kLength] != 0 || text[0] != u'{' || text[kLength - 1] != u'}') return false;
  if (text[9] != u'-' || text[14] != u'-' || text[19] != u'-' || text[24] != u'-') return false;
  unsigned long long v = 0;
  GUID g{};
  if (!ReadHex(text, 1, 8, &v)) return false;
  g.Data1 = static_cast<ULONG>(v);
  if (!ReadHex(text, 10, 4, &v)) return false;
  g.Data2 = static_cast<WORD>(v);
  if (!ReadHex(text, 15, 4, &v)) return false;
  g.Data3 = static_cast<WORD>(v);
  static constexpr int kBytePos[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (int i = 0; i < 8; ++i) {
    if (!ReadHex(text, kBytePos[i], 2, &v)) return false;
    g.Data4[i] = static_cast<BYTE>(v);
  }
  *guid = g;
  return true;
}

bool IsBracedLength(LPCOLESTR text) {
  int n = 0;
  while (n < 39 && text[n] != 0)
    ++n;
  return n == 38 && text[0] == u'{';
}

}  // namespace

extern "C" HRESULT CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid) {
  if (pclsid == nullptr) return E_INVALIDARG;
  // A null text names the null GUID; bad text leaves the null GUID behind.
  *pclsid = GUID_NULL;
  if (lpsz == nullptr) return S_OK;
  if (ParseBraced(lpsz, pclsid)) return S_OK;
  // Text that is no braced GUID may be a ProgID.
  if (lpsz[0] != u'{' && lpsz[0] != 0 && CLSIDFromProgID(lpsz, pclsid) == S_OK) return S_OK;
  *pclsid = GUID_NULL;
  return CO_E_CLASSSTRING;
}

extern "C" HRESULT IIDFromString(LPCOLESTR lpsz, LPIID lpiid) {
  if (lpiid == nullptr) return E_INVALIDARG;
  *lpiid = GUID_NULL;
  if (lpsz == nullptr) return S_OK;
  // Text that is not even shaped like a braced GUID is a bad argument; a braced text
  // of the right length with bad digits is a bad IID string.
  if (!IsBracedLength(lpsz)) return E_INVALIDARG;
  return ParseBraced(lpsz, lpiid) ? S_OK : CO_E_IIDSTRING;
}

extern "C" int StringFromGUID2(REFGUID g, OLECHAR* lpsz, int cchMax) {
  constexpr int kChars = 39;
  if (lpsz == nullptr || cchMax < kChars) return 0;
  char text[kChars + 1];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  for (int i = 0; i < kChars; ++i)
    lpsz[i] = static_cast<OLECHAR>(text[i]);
  return kChars;
}
