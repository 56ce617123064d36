#include "broker_connection.h"

#include <amqp_ssl_socket.h>
#include <amqp_tcp_socket.h>
#include <sys/time.h>

#include <cstring>

namespace mqrt {
namespace {

constexpr amqp_channel_t kChannel = 1;
// Frames large enough for a 4 MB body in few pieces; the broker may lower it.
constexpr int kFrameMax = 131072;
// Debian's bundle of the certificate authorities the system trusts.
constexpr const char* kSystemAuthorities = "/etc/ssl/certs/ca-certificates.crt";

timeval TimeVal(std::chrono::milliseconds timeout) {
  timeval value{};
  value.tv_sec = static_cast<time_t>(timeout.count() / 1000);
  value.tv_usec = static_cast<suseconds_t>((timeout.count() % 1000) * 1000);
  return value;
}

std::string Text(amqp_bytes_t bytes) {
  return std::string(static_cast<const char*>(bytes.bytes), bytes.len);
}

amqp_bytes_t Bytes(const std::string& text) {
  return amqp_bytes_t{text.size(), const_cast<char*>(text.data())};
}

// The broker's refusal, in its own words ("ACCESS_REFUSED - Login was refused ...").
std::string ServerReason(const amqp_rpc_reply_t& reply, bool* refused) {
  if (reply.reply.id == AMQP_CONNECTION_CLOSE_METHOD) {
    const auto* close = static_cast<const amqp_connection_close_t*>(reply.reply.decoded);
    if (refused != nullptr) *refused = true;
    return Text(close->reply_text);
  }
  if (reply.reply.id == AMQP_CHANNEL_CLOSE_METHOD) {
    const auto* close = static_cast<const amqp_channel_close_t*>(reply.reply.decoded);
    if (refused != nullptr) *refused = true;
    return Text(close->reply_text);
  }
  return "the broker answered an unexpected method";
}

}  // namespace

BrokerConnection::~BrokerConnection() {
  Close();
}

void BrokerConnection::Close() {
  if (holds_message_) {
    amqp_destroy_message(&message_);
    holds_message_ = false;
  }
  last_tag_ = 0;
  unconfirmed_.clear();
  if (state_ == nullptr) return;
  amqp_destroy_connection(state_);
  state_ = nullptr;
}

bool BrokerConnection::Failed(std::string* reason, std::string text) {
  *reason = std::move(text);
  Close();
  return false;
}

bool BrokerConnection::CheckReply(const char* doing, std::string* reason, bool* refused) {
  const amqp_rpc_reply_t reply = amqp_get_rpc_reply(state_);
  switch (reply.reply_type) {
    case AMQP_RESPONSE_NORMAL:
      return true;
    case AMQP_RESPONSE_SERVER_EXCEPTION:
      return Failed(reason, std::string(doing) + ": " + ServerReason(reply, refused));
    case AMQP_RESPONSE_LIBRARY_EXCEPTION:
      return Failed(reason, std::string(doing) + ": " + amqp_error_string2(reply.library_error));
    default:
      return Failed(reason, std::string(doing) + ": no reply");
  }
}

bool BrokerConnection::Open(const winport::msmq::BrokerAddress& address,
                            std::chrono::milliseconds timeout, std::string* reason, bool* refused) {
  Close();
  *refused = false;
  state_ = amqp_new_connection();
  if (state_ == nullptr) return Failed(reason, "out of memory");
  amqp_socket_t* socket = address.tls ? amqp_ssl_socket_new(state_) : amqp_tcp_socket_new(state_);
  if (socket == nullptr) return Failed(reason, "out of memory");
  if (address.tls) {
    const std::string authorities = address.ca_file.empty() ? kSystemAuthorities : address.ca_file;
    if (amqp_ssl_socket_set_cacert(socket, authorities.c_str()) != AMQP_STATUS_OK) {
      *refused = true;
      return Failed(reason, "cannot read the certificate authorities in " + authorities);
    }
    if (!address.cert_file.empty() &&
        amqp_ssl_socket_set_key(socket, address.cert_file.c_str(), address.key_file.c_str()) !=
            AMQP_STATUS_OK) {
      *refused = true;
      return Failed(reason, "cannot read the client certificate " + address.cert_file +
                                " with its key " + address.key_file);
    }
    amqp_ssl_socket_set_verify_peer(socket, 1);
    amqp_ssl_socket_set_verify_hostname(socket, 1);
    amqp_ssl_socket_set_ssl_versions(socket, AMQP_TLSv1_2, AMQP_TLSvLATEST);
  }
  timeval limit = TimeVal(timeout);
  amqp_set_handshake_timeout(state_, &limit);
  amqp_set_rpc_timeout(state_, &limit);
  const std::string where = address.host + ":" + std::to_string(address.port);
  const int opened = amqp_socket_open_noblock(socket, address.host.c_str(), address.port, &limit);
  if (opened != AMQP_STATUS_OK) {
    // A certificate that does not check out will not check out later either.
    *refused = opened == AMQP_STATUS_SSL_PEER_VERIFY_FAILED ||
               opened == AMQP_STATUS_SSL_HOSTNAME_VERIFY_FAILED;
    return Failed(reason,
                  "cannot reach the broker at " + where + ": " + amqp_error_string2(opened));
  }
  const amqp_rpc_reply_t login =
      amqp_login(state_, address.vhost.c_str(), 1, kFrameMax, 0, AMQP_SASL_METHOD_PLAIN,
                 address.user.c_str(), address.password.c_str());
  if (login.reply_type == AMQP_RESPONSE_SERVER_EXCEPTION) {
    return Failed(reason, "the broker at " + where + " refused: " + ServerReason(login, refused));
  }
  if (login.reply_type != AMQP_RESPONSE_NORMAL) {
    // A broker that drops the connection during the log-in refused the credentials.
    const bool dropped = login.library_error == AMQP_STATUS_CONNECTION_CLOSED ||
                         login.library_error == AMQP_STATUS_SOCKET_ERROR;
    *refused = dropped;
    return Failed(reason, "the broker at " + where + " ended the log-in" +
                              (dropped ? " (wrong user or password?)" : "") + ": " +
                              amqp_error_string2(login.library_error));
  }
  amqp_channel_open(state_, kChannel);
  return CheckReply("opening a channel", reason, refused);
}

bool BrokerConnection::Declare(const std::string& queue, std::uint32_t* count,
                               std::string* reason) {
  const amqp_queue_declare_ok_t* declared =
      amqp_queue_declare(state_, kChannel, Bytes(queue), 0, 1, 0, 0, amqp_empty_table);
  if (declared == nullptr) return CheckReply(("declaring " + queue).c_str(), reason) && false;
  *count = declared->message_count;
  return true;
}

bool BrokerConnection::SelectConfirms(std::string* reason) {
  if (amqp_confirm_select(state_, kChannel) == nullptr)
    return CheckReply("selecting confirms", reason) && false;
  return true;
}

bool BrokerConnection::Publish(const std::string& queue, const BrokerMessage& message,
                               std::uint64_t* tag, std::string* reason) {
  amqp_table_entry_t headers[2];
  headers[0].key = amqp_cstring_bytes("label");
  headers[0].value.kind = AMQP_FIELD_KIND_UTF8;
  headers[0].value.value.bytes = Bytes(message.label);
  headers[1].key = amqp_cstring_bytes("body-type");
  headers[1].value.kind = AMQP_FIELD_KIND_U32;
  headers[1].value.value.u32 = message.body_type;
  amqp_basic_properties_t properties{};
  properties._flags = AMQP_BASIC_DELIVERY_MODE_FLAG | AMQP_BASIC_MESSAGE_ID_FLAG |
                      AMQP_BASIC_PRIORITY_FLAG | AMQP_BASIC_HEADERS_FLAG;
  // Persistent whatever the message's own delivery: the broker keeps what it confirmed.
  properties.delivery_mode = AMQP_DELIVERY_PERSISTENT;
  properties.message_id = Bytes(message.message_id);
  properties.priority = message.priority;
  properties.headers = amqp_table_t{2, headers};
  const amqp_bytes_t body{message.body.size(), const_cast<std::uint8_t*>(message.body.data())};
  const int published =
      amqp_basic_publish(state_, kChannel, amqp_empty_bytes, Bytes(queue), 0, 0, &properties, body);
  if (published != AMQP_STATUS_OK)
    return Failed(reason, std::string("publishing: ") + amqp_error_string2(published));
  *tag = ++last_tag_;
  unconfirmed_.insert(*tag);
  return true;
}

bool BrokerConnection::WaitForConfirms(std::chrono::milliseconds timeout,
                                       const std::function<void(std::uint64_t, bool)>& confirmed,
                                       std::string* reason) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!unconfirmed_.empty()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return Failed(reason, "the broker did not confirm in time");
    timeval limit = TimeVal(left);
    amqp_frame_t frame{};
    const int waited = amqp_simple_wait_frame_noblock(state_, &frame, &limit);
    if (waited == AMQP_STATUS_TIMEOUT) continue;
    if (waited != AMQP_STATUS_OK)
      return Failed(reason, std::string("waiting for confirms: ") + amqp_error_string2(waited));
    if (frame.frame_type != AMQP_FRAME_METHOD) continue;
    const amqp_method_number_t id = frame.payload.method.id;
    std::uint64_t tag = 0;
    bool multiple = false;
    bool acknowledged = true;
    if (id == AMQP_BASIC_ACK_METHOD) {
      const auto* ack = static_cast<const amqp_basic_ack_t*>(frame.payload.method.decoded);
      tag = ack->delivery_tag;
      multiple = ack->multiple != 0;
    } else if (id == AMQP_BASIC_NACK_METHOD) {
      const auto* nack = static_cast<const amqp_basic_nack_t*>(frame.payload.method.decoded);
      tag = nack->delivery_tag;
      multiple = nack->multiple != 0;
      acknowledged = false;
    } else if (id == AMQP_CHANNEL_CLOSE_METHOD || id == AMQP_CONNECTION_CLOSE_METHOD) {
      amqp_rpc_reply_t reply{};
      reply.reply_type = AMQP_RESPONSE_SERVER_EXCEPTION;
      reply.reply = frame.payload.method;
      return Failed(reason, "the broker closed the channel: " + ServerReason(reply, nullptr));
    } else {
      continue;
    }
    // A multiple confirm answers every tag up to its own.
    auto first = multiple ? unconfirmed_.begin() : unconfirmed_.find(tag);
    auto end = multiple ? unconfirmed_.upper_bound(tag) : unconfirmed_.upper_bound(tag);
    if (!multiple && first == unconfirmed_.end()) continue;
    if (!multiple) end = std::next(first);
    for (auto each = first; each != end; ++each)
      confirmed(*each, acknowledged);
    unconfirmed_.erase(first, end);
  }
  amqp_maybe_release_buffers(state_);
  return true;
}

bool BrokerConnection::Get(const std::string& queue, BrokerMessage* message, std::uint64_t* tag,
                           bool* empty, std::string* reason) {
  if (holds_message_) {
    amqp_destroy_message(&message_);
    holds_message_ = false;
  }
  amqp_maybe_release_buffers(state_);
  const amqp_rpc_reply_t got = amqp_basic_get(state_, kChannel, Bytes(queue), 0);
  if (got.reply_type != AMQP_RESPONSE_NORMAL) return CheckReply("receiving", reason);
  *empty = got.reply.id == AMQP_BASIC_GET_EMPTY_METHOD;
  if (*empty) return true;
  *tag = static_cast<const amqp_basic_get_ok_t*>(got.reply.decoded)->delivery_tag;
  const amqp_rpc_reply_t read = amqp_read_message(state_, kChannel, &message_, 0);
  if (read.reply_type != AMQP_RESPONSE_NORMAL) return Failed(reason, "reading a message failed");
  holds_message_ = true;
  const amqp_basic_properties_t& properties = message_.properties;
  *message = BrokerMessage{};
  if (properties._flags & AMQP_BASIC_MESSAGE_ID_FLAG)
    message->message_id = Text(properties.message_id);
  if (properties._flags & AMQP_BASIC_PRIORITY_FLAG) message->priority = properties.priority;
  if (properties._flags & AMQP_BASIC_HEADERS_FLAG) {
    for (int i = 0; i < properties.headers.num_entries; ++i) {
      const amqp_table_entry_t& entry = properties.headers.entries[i];
      const std::string key = Text(entry.key);
      if (key == "label" &&
          (entry.value.kind == AMQP_FIELD_KIND_UTF8 || entry.value.kind == AMQP_FIELD_KIND_BYTES)) {
        message->label = Text(entry.value.value.bytes);
      } else if (key == "body-type" && entry.value.kind == AMQP_FIELD_KIND_U32) {
        message->body_type = entry.value.value.u32;
      }
    }
  }
  message->body = {static_cast<const std::uint8_t*>(message_.body.bytes), message_.body.len};
  return true;
}

bool BrokerConnection::Ack(std::uint64_t tag, std::string* reason) {
  const int acked = amqp_basic_ack(state_, kChannel, tag, 0);
  if (acked != AMQP_STATUS_OK)
    return Failed(reason, std::string("acknowledging: ") + amqp_error_string2(acked));
  return true;
}

bool BrokerConnection::Requeue(std::uint64_t tag, std::string* reason) {
  const int rejected = amqp_basic_reject(state_, kChannel, tag, 1);
  if (rejected != AMQP_STATUS_OK)
    return Failed(reason, std::string("returning a message: ") + amqp_error_string2(rejected));
  return true;
}

}  // namespace mqrt
