// Queues on other computers, carried by an AMQP 0-9-1 broker (RabbitMQ), stored here and
// forwarded as message queuing does on Windows.
//
// A send commits the message to this computer's outgoing queue for that destination, in
// the same SQLite database as the local queues, and returns: the broker being out of
// reach never fails a send, until the outgoing queues hold the machine quota
// (MachineQuota, in KB; MQ_ERROR_INSUFFICIENT_RESOURCES then). The forwarder (forwarder.h)
// publishes outgoing messages and deletes each only once the broker has confirmed it.
//
// Each message carries an id unique to this queue manager ("<machine id>\<number>", the
// number never used twice): a message published again after a confirm was lost reaches
// the broker twice, and a receiver drops the second (the ids it took are remembered).
//
// The broker's queue for "<computer>\PRIVATE$\<name>" is named "<COMPUTER>\PRIVATE$\<NAME>",
// upper-cased as Windows compares queue names; it is durable and declared when first
// used. The computer is taken as written: DIRECT=OS:central and DIRECT=TCP:10.0.0.5 name
// two different broker queues.
#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "broker_connection.h"
#include "queue_store.h"
#include "sqlite_database.h"

namespace mqrt {

// The forwarder's link to the broker, as MQMgmtGetInfo answers it (PROPID_MGMT_QUEUE_STATE).
enum class LinkState { kInactive, kConnected, kWaiting, kError };
const char16_t* LinkStateName(LinkState state);

struct OutgoingMessage {
  std::int64_t number = 0;
  std::string broker_queue;
  BrokerMessage message;
  std::vector<std::uint8_t> body;
};

class RemoteQueueStore final : public QueueStore {
 public:
  static RemoteQueueStore& Instance();
  static void Release();

  // Find makes the outgoing queue for a destination the first time it is named: the
  // destination itself is the broker's, and always there to send to.
  HRESULT Create(winport::WideView name, winport::WideView label,
                 winport::WideString* format_name) override;
  HRESULT Find(const QueueReference& queue, QueueId* id) override;
  HRESULT Describe(QueueId id, winport::WideString* path_name,
                   winport::WideString* format_name) override;
  HRESULT Delete(QueueId id) override;
  HRESULT Send(QueueId id, const MessageView& message) override;
  // From the broker; MQ_ERROR_REMOTE_MACHINE_NOT_AVAILABLE when it cannot be reached.
  HRESULT Receive(QueueId id, bool remove, const MessageTaker& take) override;
  // The outgoing queues, by name.
  HRESULT List(std::vector<QueueId>* ids) override;
  // What the broker holds plus what is still outgoing here; while the broker cannot be
  // reached, the last count it gave.
  HRESULT Count(QueueId id, ULONG* count) override;
  HRESULT HoldForReceiving(QueueId id, bool alone, std::shared_ptr<void>* hold) override;
  void OpenedForSending() override;

  // What is still to be forwarded.
  HRESULT OutgoingCount(QueueId id, ULONG* count);
  // The link's state and, unless connected, why.
  HRESULT Link(LinkState* state, std::string* reason);
  // Messages a receiver here dropped as already taken.
  HRESULT DuplicatesDropped(ULONG* count);

  // For the forwarder: the first outgoing messages in the order they were sent.
  HRESULT ReadOutgoing(std::size_t most, std::vector<OutgoingMessage>* messages);
  // Deletes messages the broker confirmed: runs of numbers, first to last, within which
  // every message still outgoing was confirmed.
  using NumberRange = std::pair<std::int64_t, std::int64_t>;
  HRESULT Forwarded(const std::vector<NumberRange>& ranges);
  // Records the link's state when it changes; true when that is worth an event (a new
  // state, or a different error).
  bool SetLink(LinkState state, const std::string& reason);

 private:
  HRESULT Connect();
  HRESULT BrokerQueue(QueueId id, std::string* name);
  // The receiving connection, opened when needed; under receive_mutex_.
  bool OpenReceiver(std::string* reason);
  HRESULT TakeFromBroker(QueueId id, const std::string& queue, bool remove,
                         const MessageTaker& take);
  // Whether a receiver here took the message already, and remembering that it did.
  HRESULT Taken(const std::string& message_id, bool* seen);
  HRESULT RememberTaken(const std::string& message_id);
  HRESULT CountDuplicate();

  std::mutex mutex_;
  Database database_;
  winport::WideString machine_id_;
  std::uint64_t quota_bytes_ = 0;

  std::mutex receive_mutex_;
  BrokerConnection receiver_;
  std::string receiver_url_;
  std::chrono::steady_clock::time_point next_attempt_{};
  std::chrono::steady_clock::duration retry_after_ = std::chrono::seconds(1);
  struct BrokerCount {
    ULONG count = 0;
    std::chrono::steady_clock::time_point asked{};
  };
  std::map<QueueId, BrokerCount> broker_counts_;
};

}  // namespace mqrt
