#include "handles.h"

#include <cstdint>
#include <map>
#include <mutex>

namespace winport::handles {
namespace {

std::mutex g_mutex;
std::map<HANDLE, Closer> g_open;
std::uintptr_t g_last = 0;

}  // namespace

HANDLE Allocate(Closer close) {
  std::lock_guard lock(g_mutex);
  g_last += 4;
  const HANDLE handle = reinterpret_cast<HANDLE>(g_last);
  g_open[handle] = close;
  return handle;
}

bool Close(HANDLE handle) {
  Closer close;
  {
    std::lock_guard lock(g_mutex);
    const auto found = g_open.find(handle);
    if (found == g_open.end()) return false;
    close = found->second;
    g_open.erase(found);
  }
  close(handle);
  return true;
}

}  // namespace winport::handles
