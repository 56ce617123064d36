// Where queues and their messages are kept. The functions of the runtime reach queues only
// through this interface: this computer's queues live in the local store; a store for
// queues on other computers (a message broker) can be added behind it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "queue_reference.h"

namespace mqrt {

using QueueId = std::int64_t;

// A message as sent, or as read from the store (the views then last for the call that
// handed it out).
struct MessageView {
  std::span<const BYTE> body;
  winport::WideView label;
  ULONG body_type = 0;
  UCHAR priority = 3;
  UCHAR delivery = MQMSG_DELIVERY_EXPRESS;
};

// Runs while the first message is held; its result is the receive's, and the message
// leaves the queue only when it answers MQ_OK.
using MessageTaker = std::function<HRESULT(const MessageView&)>;

class QueueStore {
 public:
  virtual ~QueueStore() = default;

  // MQ_OK with the new queue's format name, or MQ_ERROR_QUEUE_EXISTS.
  virtual HRESULT Create(winport::WideView name, winport::WideView label,
                         winport::WideString* format_name) = 0;
  // MQ_OK or MQ_ERROR_QUEUE_NOT_FOUND.
  virtual HRESULT Find(const QueueReference& queue, QueueId* id) = 0;
  // The queue's path name and format name (either may be null).
  virtual HRESULT Describe(QueueId id, winport::WideString* path_name,
                           winport::WideString* format_name) = 0;
  virtual HRESULT Delete(QueueId id) = 0;

  // The message is in the queue when this answers MQ_OK; a recoverable one is on disk.
  virtual HRESULT Send(QueueId id, const MessageView& message) = 0;
  // Hands the first message in order (highest priority, then first sent) to take, and
  // with remove set takes it out of the queue in the same transaction, so that each
  // message goes to one receiver whatever the processes. MQ_ERROR_IO_TIMEOUT when the
  // queue holds none.
  virtual HRESULT Receive(QueueId id, bool remove, const MessageTaker& take) = 0;
  // Every queue, ordered by name.
  virtual HRESULT List(std::vector<QueueId>* ids) = 0;
  // Kept with the queue, not counted from its messages.
  virtual HRESULT Count(QueueId id, ULONG* count) = 0;

  // Holds the queue for receiving, shared with other receivers or alone, until the hold
  // is released; MQ_ERROR_SHARING_VIOLATION when that conflicts with another's hold.
  virtual HRESULT HoldForReceiving(QueueId id, bool alone, std::shared_ptr<void>* hold) = 0;

  // A handle was opened to send to one of the store's queues.
  virtual void OpenedForSending() {}
};

// The store serving the queue: this computer's, or the one that forwards to the broker.
QueueStore* StoreFor(const QueueReference& queue);

}  // namespace mqrt
