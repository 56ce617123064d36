// Handles are multiples of 4, as Windows' are, counted up and never reused, so a stale
// handle is reliably invalid instead of naming a newer object.
#include "kernel/handle_table.h"

#include <cstdint>
#include <mutex>
#include <unordered_map>

#include <winport/handles.h>
#include <winport/message.h>

#include "sync_internal.h"

namespace winport::detail {
namespace {

struct Table {
  std::mutex mutex;
  std::unordered_map<std::uintptr_t, std::shared_ptr<KernelObject>> objects;
  std::uintptr_t last = 0;
};

Table& TheTable() {
  static Table* table = new Table;  // outlives threads still closing handles at exit
  return *table;
}

}  // namespace

HANDLE InsertHandle(std::shared_ptr<KernelObject> object) {
  Table& table = TheTable();
  std::lock_guard lock(table.mutex);
  table.last += 4;
  table.objects.emplace(table.last, std::move(object));
  return reinterpret_cast<HANDLE>(table.last);
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle) {
  if (handle == kCurrentThreadPseudoHandle) return CurrentThreadObject();
  Table& table = TheTable();
  std::lock_guard lock(table.mutex);
  auto found = table.objects.find(reinterpret_cast<std::uintptr_t>(handle));
  return found == table.objects.end() ? nullptr : found->second;
}

bool RemoveHandle(HANDLE handle) {
  std::shared_ptr<KernelObject> last_reference;
  Table& table = TheTable();
  std::lock_guard lock(table.mutex);
  auto found = table.objects.find(reinterpret_cast<std::uintptr_t>(handle));
  if (found == table.objects.end()) return false;
  // The object may be destroyed here; its destructor runs outside the table's lock.
  last_reference = std::move(found->second);
  table.objects.erase(found);
  return true;
}

void SetInvalidHandleError() {
  SetLastError(ERROR_INVALID_HANDLE);
}

}  // namespace winport::detail

using winport::detail::kCurrentProcessPseudoHandle;
using winport::detail::kCurrentThreadPseudoHandle;

extern "C" HANDLE GetCurrentProcess() {
  return kCurrentProcessPseudoHandle;
}

extern "C" HANDLE GetCurrentThread() {
  return kCurrentThreadPseudoHandle;
}

extern "C" BOOL CloseHandle(HANDLE hObject) {
  if (hObject == kCurrentProcessPseudoHandle || hObject == kCurrentThreadPseudoHandle) return TRUE;
  if (!winport::detail::RemoveHandle(hObject)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

extern "C" BOOL DuplicateHandle(HANDLE hSourceProcessHandle, HANDLE hSourceHandle,
                                HANDLE hTargetProcessHandle, LPHANDLE lpTargetHandle, DWORD, BOOL,
                                DWORD dwOptions) {
  if (hSourceProcessHandle != kCurrentProcessPseudoHandle ||
      hTargetProcessHandle != kCurrentProcessPseudoHandle) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  auto object = winport::detail::LookupHandle(hSourceHandle);
  if (object == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if ((dwOptions & DUPLICATE_CLOSE_SOURCE) != 0) CloseHandle(hSourceHandle);
  if (lpTargetHandle == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *lpTargetHandle = winport::detail::InsertHandle(std::move(object));
  return TRUE;
}
