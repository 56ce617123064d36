// BSTR: a 32-bit byte count right in front of the characters, a NUL after them.
#include <winport/oleauto.h>

#include <cstdlib>
#include <cstring>
#include <limits>

#include "common/injected_fault.h"

namespace {

constexpr std::size_t kPrefix = sizeof(DWORD);
// Keeps the byte count, the terminator and the allocator's header within 32 bits.
constexpr std::size_t kMaxBytes = std::numeric_limits<DWORD>::max() - 2 * kPrefix - 32;

DWORD* Header(BSTR bstr) {
  return reinterpret_cast<DWORD*>(bstr) - 1;
}

// Allocates room for byte_len bytes plus a wide terminator; copies src when given.
BSTR AllocateBytes(const void* src, std::size_t byte_len) {
  if (byte_len > kMaxBytes) return nullptr;
  auto* block = static_cast<unsigned char*>(std::malloc(kPrefix + byte_len + sizeof(OLECHAR)));
  if (block == nullptr) return nullptr;
  const DWORD count = static_cast<DWORD>(byte_len);
  std::memcpy(block, &count, kPrefix);
  unsigned char* text = block + kPrefix;
  if (src != nullptr) {
    std::memcpy(text, src, byte_len);
  } else {
    std::memset(text, 0, byte_len);
  }
  // An odd byte length leaves one byte before the wide terminator: clear all three.
  text[byte_len] = 0;
  text[byte_len + 1] = 0;
  return reinterpret_cast<BSTR>(text);
}

std::size_t WideLength(const OLECHAR* psz) {
  std::size_t n = 0;
  while (psz[n] != 0)
    ++n;
  return n;
}

}  // namespace

extern "C" BSTR SysAllocString(const OLECHAR* psz) {
  if (psz == nullptr) return nullptr;
  return SysAllocStringLen(psz, static_cast<UINT>(WideLength(psz)));
}

extern "C" BSTR SysAllocStringLen(const OLECHAR* strIn, UINT ui) {
  WINPORT_FAIL_NULL("SysAllocStringLen");
  return AllocateBytes(strIn, std::size_t{ui} * sizeof(OLECHAR));
}

extern "C" BSTR SysAllocStringByteLen(LPCSTR psz, UINT len) {
  WINPORT_FAIL_NULL("SysAllocStringByteLen");
  return AllocateBytes(psz, len);
}

extern "C" INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz) {
  if (pbstr == nullptr) return FALSE;
  // A null text leaves a null BSTR, as SysAllocString would give.
  if (psz == nullptr) {
    SysFreeString(*pbstr);
    *pbstr = nullptr;
    return TRUE;
  }
  return SysReAllocStringLen(pbstr, psz, static_cast<UINT>(WideLength(psz)));
}

extern "C" INT SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, UINT len) {
  if (pbstr == nullptr) return FALSE;
  // psz may point into the old string, so the new one is made before the old is freed.
  BSTR fresh = SysAllocStringLen(psz, len);
  if (fresh == nullptr) return FALSE;
  SysFreeString(*pbstr);
  *pbstr = fresh;
  return TRUE;
}

extern "C" void SysFreeString(BSTR bstrString) {
  if (bstrString != nullptr) std::free(Header(bstrString));
}

extern "C" UINT SysStringLen(BSTR pbstr) {
  return pbstr == nullptr ? 0 : *Header(pbstr) / sizeof(OLECHAR);
}

extern "C" UINT SysStringByteLen(BSTR bstr) {
  return bstr == nullptr ? 0 : *Header(bstr);
}
