// The queue handles this process has open. A handle's value is never used again once it
// is closed, so a stale handle is told apart from a live one.
#pragma once

#include <atomic>
#include <memory>

#include "queue_store.h"

namespace mqrt {

struct OpenQueue {
  QueueStore* store = nullptr;
  QueueId id = 0;
  DWORD access = 0;
  // Held by handles that may receive or peek, for the queue's share mode.
  std::shared_ptr<void> receive_hold;
  // Set when the handle closes, for receives still waiting on it.
  std::atomic<bool> closed{false};
};

QUEUEHANDLE AddQueueHandle(std::shared_ptr<OpenQueue> queue);
// Null for a handle that is not open.
std::shared_ptr<OpenQueue> FindQueueHandle(QUEUEHANDLE handle);
std::shared_ptr<OpenQueue> RemoveQueueHandle(QUEUEHANDLE handle);
// Closes every handle still open; the runtime is being unloaded.
void ReleaseQueueHandles();

}  // namespace mqrt
