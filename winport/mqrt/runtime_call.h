// What every function of the runtime does first and last: honour an injected failure,
// and answer MQ_ERROR_INSUFFICIENT_RESOURCES rather than let an exception out.
#pragma once

#include <cstdint>
#include <new>

#include <winport/fault_injection.h>
#include <winport/message_queuing.h>
#include <winport/windows_api.h>

#include "queue_store.h"

namespace mqrt {

template <class Body>
HRESULT RuntimeCall(const char* function, Body body) {
  std::uint32_t injected = 0;
  if (winport::fault::ShouldFail(function, &injected)) return static_cast<HRESULT>(injected);
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return MQ_ERROR_INSUFFICIENT_RESOURCES;
  }
}

// MQ_ERROR_SERVICE_NOT_AVAILABLE unless message queuing is installed and running.
inline HRESULT QueueManagerState() {
  return winport::msmq::IsRunning() ? MQ_OK : MQ_ERROR_SERVICE_NOT_AVAILABLE;
}

// The store and id of the queue a format name names.
HRESULT LocateQueue(LPCWSTR format_name, QueueStore** store, QueueId* id);

}  // namespace mqrt
