#include "queue_handles.h"

#include <cstdint>
#include <map>
#include <mutex>

namespace mqrt {
namespace {

struct HandleTable {
  std::mutex mutex;
  std::uintptr_t next = 0x10000;
  std::map<std::uintptr_t, std::shared_ptr<OpenQueue>> open;
};

HandleTable& Table() {
  // Not destroyed at process exit: handles may be closed while the program's statics are
  // torn down. Released when the runtime is unloaded.
  static auto* table = new HandleTable;
  return *table;
}

}  // namespace

QUEUEHANDLE AddQueueHandle(std::shared_ptr<OpenQueue> queue) {
  HandleTable& table = Table();
  std::lock_guard lock(table.mutex);
  const std::uintptr_t value = table.next++;
  table.open.emplace(value, std::move(queue));
  return reinterpret_cast<QUEUEHANDLE>(value);
}

std::shared_ptr<OpenQueue> FindQueueHandle(QUEUEHANDLE handle) {
  HandleTable& table = Table();
  std::lock_guard lock(table.mutex);
  auto found = table.open.find(reinterpret_cast<std::uintptr_t>(handle));
  return found != table.open.end() ? found->second : nullptr;
}

std::shared_ptr<OpenQueue> RemoveQueueHandle(QUEUEHANDLE handle) {
  HandleTable& table = Table();
  std::lock_guard lock(table.mutex);
  auto found = table.open.find(reinterpret_cast<std::uintptr_t>(handle));
  if (found == table.open.end()) return nullptr;
  std::shared_ptr<OpenQueue> queue = std::move(found->second);
  table.open.erase(found);
  queue->closed = true;
  return queue;
}

void ReleaseQueueHandles() {
  HandleTable* table = &Table();
  for (auto& [handle, queue] : table->open)
    queue->closed = true;
  delete table;
}

}  // namespace mqrt
