// The local heap: only what FormatMessageW's allocated buffers and their callers need.
// LMEM_FIXED blocks are plain pointers, so the C heap serves them.
#include <winport/message.h>
#include <winport/winerror.h>

#include <cstdlib>

#include "common/injected_fault.h"

extern "C" HLOCAL LocalAlloc(UINT uFlags, SIZE_T uBytes) {
  WINPORT_FAIL_NULL("LocalAlloc");
  // Movable blocks hand out handles to lock, which nothing here uses.
  if ((uFlags & ~static_cast<UINT>(LMEM_ZEROINIT)) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // A zero-byte fixed block is still a distinct, freeable pointer on Windows.
  const SIZE_T size = uBytes == 0 ? 1 : uBytes;
  void* block = (uFlags & LMEM_ZEROINIT) != 0 ? std::calloc(1, size) : std::malloc(size);
  if (block == nullptr) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return block;
}

extern "C" HLOCAL LocalFree(HLOCAL hMem) {
  std::free(hMem);
  return nullptr;
}
