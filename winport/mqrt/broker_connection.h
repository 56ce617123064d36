// One AMQP 0-9-1 connection to the broker (rabbitmq-c), with one channel. Not for two
// threads at once: the forwarder keeps its own, and each process one more for receiving
// and counting, behind a lock.
//
// Each failure answers false with a one-line reason (the broker's own words when it
// refused) and leaves the connection closed; the next Open starts again.
#pragma once

#include <amqp.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <set>
#include <span>
#include <string>
#include <string_view>

#include <winport/message_queuing.h>

namespace mqrt {

// A message as the broker carries it.
struct BrokerMessage {
  std::string message_id;
  std::string label;  // UTF-8
  std::uint32_t body_type = 0;
  std::uint8_t priority = 3;
  bool recoverable = false;
  std::span<const std::uint8_t> body;
};

class BrokerConnection {
 public:
  BrokerConnection() = default;
  ~BrokerConnection();
  BrokerConnection(const BrokerConnection&) = delete;
  BrokerConnection& operator=(const BrokerConnection&) = delete;

  // Connects, logs in and opens the channel, each step bounded by timeout. *refused tells
  // a refusal that waiting will not cure (credentials, virtual host) from the broker
  // being out of reach.
  bool Open(const winport::msmq::BrokerAddress& address, std::chrono::milliseconds timeout,
            std::string* reason, bool* refused);
  bool IsOpen() const { return state_ != nullptr; }
  void Close();

  // Declares a durable queue (nothing changes when it exists); *count is what it holds.
  bool Declare(const std::string& queue, std::uint32_t* count, std::string* reason);

  // Publisher confirms on the channel; each publish then has the next delivery tag,
  // from 1.
  bool SelectConfirms(std::string* reason);
  // Persistent, to the default exchange, routed by the queue's name; *tag is its
  // delivery tag.
  bool Publish(const std::string& queue, const BrokerMessage& message, std::uint64_t* tag,
               std::string* reason);
  // Waits until every publish is confirmed or refused, calling confirmed(tag,
  // acknowledged) for each; false when the wait ran out or the connection failed.
  bool WaitForConfirms(std::chrono::milliseconds timeout,
                       const std::function<void(std::uint64_t, bool)>& confirmed,
                       std::string* reason);

  // The first message of the queue, unacknowledged; *empty when it holds none. The
  // message lasts until the next call.
  bool Get(const std::string& queue, BrokerMessage* message, std::uint64_t* tag, bool* empty,
           std::string* reason);
  bool Ack(std::uint64_t tag, std::string* reason);
  // Puts the message back where it was.
  bool Requeue(std::uint64_t tag, std::string* reason);

 private:
  bool Failed(std::string* reason, std::string text);
  bool CheckReply(const char* doing, std::string* reason, bool* refused = nullptr);

  amqp_connection_state_t state_ = nullptr;
  amqp_message_t message_{};
  bool holds_message_ = false;
  std::uint64_t last_tag_ = 0;
  std::set<std::uint64_t> unconfirmed_;
};

}  // namespace mqrt
