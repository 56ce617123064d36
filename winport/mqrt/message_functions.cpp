// The message functions: send, and receive or peek with a time-out.
#include <algorithm>
#include <chrono>
#include <thread>

#include "message_properties.h"
#include "property_set.h"
#include "queue_handles.h"
#include "runtime_call.h"

namespace mqrt {
namespace {

using Clock = std::chrono::steady_clock;

// The store is shared with other processes, which tell nobody when they send: a waiting
// receiver looks again after a pause that grows from 1 ms to 16 ms.
constexpr auto kFirstPause = std::chrono::milliseconds(1);
constexpr auto kLongestPause = std::chrono::milliseconds(16);

HRESULT CheckReceiveAction(const OpenQueue& queue, DWORD action) {
  const DWORD reading = queue.access & ~static_cast<DWORD>(MQ_ADMIN_ACCESS);
  switch (action) {
    case MQ_ACTION_RECEIVE:
      return reading == MQ_RECEIVE_ACCESS ? MQ_OK : MQ_ERROR_ACCESS_DENIED;
    case MQ_ACTION_PEEK_CURRENT:
      return reading == MQ_RECEIVE_ACCESS || reading == MQ_PEEK_ACCESS ? MQ_OK
                                                                       : MQ_ERROR_ACCESS_DENIED;
    case MQ_ACTION_PEEK_NEXT:
      // Moves a cursor, and this runtime hands out none.
      return MQ_ERROR_ILLEGAL_CURSOR_ACTION;
    default:
      return MQ_ERROR_INVALID_PARAMETER;
  }
}

// Takes the first message, waiting up to timeout_ms (INFINITE: for ever) for one.
HRESULT WaitForMessage(const OpenQueue& queue, DWORD timeout_ms, bool remove,
                       const MessageTaker& take) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  auto pause = kFirstPause;
  for (;;) {
    const HRESULT taken = queue.store->Receive(queue.id, remove, take);
    if (taken != MQ_ERROR_IO_TIMEOUT) return taken;
    if (queue.closed) return MQ_ERROR_OPERATION_CANCELLED;
    const Clock::time_point now = Clock::now();
    if (timeout_ms != INFINITE && now >= deadline) return MQ_ERROR_IO_TIMEOUT;
    std::this_thread::sleep_for(
        timeout_ms == INFINITE ? pause : std::min<Clock::duration>(pause, deadline - now));
    pause = std::min(pause * 2, kLongestPause);
    if (const HRESULT state = QueueManagerState(); state != MQ_OK) return state;
  }
}

}  // namespace
}  // namespace mqrt

using mqrt::RuntimeCall;

extern "C" HRESULT WINAPI MQSendMessage(QUEUEHANDLE hDestinationQueue, MQMSGPROPS* pMessageProps,
                                        ITransaction* pTransaction) {
  return RuntimeCall("MQSendMessage", [&]() -> HRESULT {
    const std::shared_ptr<mqrt::OpenQueue> queue = mqrt::FindQueueHandle(hDestinationQueue);
    if (queue == nullptr) return MQ_ERROR_INVALID_HANDLE;
    if (queue->access != MQ_SEND_ACCESS) return MQ_ERROR_ACCESS_DENIED;
    // Queues here are not transactional.
    if (pTransaction != nullptr) return MQ_ERROR_TRANSACTION_USAGE;
    if (pMessageProps == nullptr || !mqrt::IsWellFormed(*pMessageProps)) {
      return MQ_ERROR_INVALID_PARAMETER;
    }
    mqrt::MessageView message;
    const HRESULT read = mqrt::ReadOutgoingMessage(*pMessageProps, &message);
    if (read < 0) return read;
    if (const HRESULT state = mqrt::QueueManagerState(); state != MQ_OK) return state;
    const HRESULT sent = queue->store->Send(queue->id, message);
    return sent == MQ_OK ? read : sent;
  });
}

// Synchronous only: an overlapped receive or a callback is MQ_ERROR_UNSUPPORTED_OPERATION,
// and a cursor (this runtime creates none) MQ_ERROR_INVALID_HANDLE.
extern "C" HRESULT WINAPI MQReceiveMessage(QUEUEHANDLE hSource, DWORD dwTimeout, DWORD dwAction,
                                           MQMSGPROPS* pMessageProps, LPOVERLAPPED lpOverlapped,
                                           PMQRECEIVECALLBACK fnReceiveCallback, HANDLE hCursor,
                                           ITransaction* pTransaction) {
  return RuntimeCall("MQReceiveMessage", [&]() -> HRESULT {
    const std::shared_ptr<mqrt::OpenQueue> queue = mqrt::FindQueueHandle(hSource);
    if (queue == nullptr || hCursor != nullptr) return MQ_ERROR_INVALID_HANDLE;
    if (lpOverlapped != nullptr || fnReceiveCallback != nullptr) {
      return MQ_ERROR_UNSUPPORTED_OPERATION;
    }
    if (pTransaction != nullptr) return MQ_ERROR_TRANSACTION_USAGE;
    if (const HRESULT allowed = mqrt::CheckReceiveAction(*queue, dwAction); allowed != MQ_OK) {
      return allowed;
    }
    const MQMSGPROPS no_properties{0, nullptr, nullptr, nullptr};
    const MQMSGPROPS& properties = pMessageProps != nullptr ? *pMessageProps : no_properties;
    if (!mqrt::IsWellFormed(properties)) return MQ_ERROR_INVALID_PARAMETER;
    const HRESULT checked = mqrt::CheckIncomingProperties(properties);
    if (checked < 0) return checked;
    if (const HRESULT state = mqrt::QueueManagerState(); state != MQ_OK) return state;
    const HRESULT received = mqrt::WaitForMessage(
        *queue, dwTimeout, dwAction == MQ_ACTION_RECEIVE, [&](const mqrt::MessageView& message) {
          return mqrt::WriteIncomingMessage(properties, message);
        });
    return received == MQ_OK ? checked : received;
  });
}
