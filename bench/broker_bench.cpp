// Queues on other computers. The caller's cost of a send to one (a commit to the outgoing
// queue here) beside a send to a local queue; and the forwarder's rate to a RabbitMQ node
// beside a bare rabbitmq-c publisher with publisher confirms that publishes the same
// bodies, persistent, to a durable queue, in windows of the same size, in the same run.
// The node is the program's own, started once (about ten seconds); without
// rabbitmq-server the forwarding cases say so and are left out of the table.
#include <amqp.h>
#include <amqp_tcp_socket.h>
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include <winport/message_queuing.h>
#include <winport/windows.h>

#include "broker/broker_node.h"

namespace {

using winport::WideString;
constexpr int kMessages = 5000;
// The forwarder's window: publishes awaiting their confirms at once.
constexpr int kWindow = 256;
constexpr const char16_t* kRemote = u"DIRECT=OS:BENCH\\PRIVATE$\\Reports";
const std::string g_body(800, 'r');

struct Machine {
  Machine() {
    std::string pattern = (std::filesystem::temp_directory_path() / "broker-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    prefix = pattern;
    ::setenv("QUILLMERE_PREFIX", pattern.c_str(), 1);
    winport::msmq::Install();
  }
  ~Machine() {
    winport::msmq::ClearBroker();
    std::error_code ignored;
    std::filesystem::remove_all(prefix, ignored);
  }
  std::filesystem::path prefix;
};

HRESULT Send(QUEUEHANDLE queue) {
  MSGPROPID ids[2] = {PROPID_M_BODY, PROPID_M_BODY_SIZE};
  MQPROPVARIANT values[2] = {};
  values[0].vt = VT_VECTOR | VT_UI1;
  values[0].caub = {static_cast<ULONG>(g_body.size()),
                    reinterpret_cast<UCHAR*>(const_cast<char*>(g_body.data()))};
  values[1].vt = VT_UI4;
  values[1].ulVal = static_cast<ULONG>(g_body.size());
  HRESULT status[2];
  MQMSGPROPS properties{2, ids, values, status};
  return MQSendMessage(queue, &properties, nullptr);
}

QUEUEHANDLE OpenForSending(const WideString& format_name) {
  QUEUEHANDLE queue = nullptr;
  if (MQOpenQueue(format_name.c_str(), MQ_SEND_ACCESS, MQ_DENY_NONE, &queue) != MQ_OK) std::abort();
  return queue;
}

ULONG Outgoing() {
  MGMTPROPID ids[1] = {PROPID_MGMT_QUEUE_OUTGOING_MESSAGE_COUNT};
  MQPROPVARIANT values[1] = {};
  values[0].vt = VT_NULL;
  MQMGMTPROPS properties{1, ids, values, nullptr};
  const WideString object = u"QUEUE=" + WideString(kRemote);
  MQMgmtGetInfo(nullptr, object.c_str(), &properties);
  return values[0].ulVal;
}

broker_tests::BrokerNode* Node() {
  static std::unique_ptr<broker_tests::BrokerNode> node =
      broker_tests::BrokerInstalled() ? std::make_unique<broker_tests::BrokerNode>() : nullptr;
  return node && node->running() ? node.get() : nullptr;
}

// A bare connection with one channel, for the peer and for emptying the queues.
struct Bare {
  explicit Bare(int port) {
    state = amqp_new_connection();
    amqp_socket_t* socket = amqp_tcp_socket_new(state);
    ok =
        amqp_socket_open(socket, "127.0.0.1", port) == AMQP_STATUS_OK &&
        amqp_login(state, "/", 1, 131072, 0, AMQP_SASL_METHOD_PLAIN, "guest", "guest").reply_type ==
            AMQP_RESPONSE_NORMAL &&
        amqp_channel_open(state, 1) != nullptr;
  }
  ~Bare() { amqp_destroy_connection(state); }
  void Purge(const char* queue) {
    amqp_queue_declare(state, 1, amqp_cstring_bytes(queue), 0, 1, 0, 0, amqp_empty_table);
    amqp_queue_purge(state, 1, amqp_cstring_bytes(queue));
  }
  amqp_connection_state_t state;
  bool ok = false;
};

void BM_SendRemote(benchmark::State& state) {
  Machine machine;
  const QUEUEHANDLE queue = OpenForSending(kRemote);
  for (auto _ : state) {
    if (Send(queue) < 0) state.SkipWithError("send failed");
  }
  MQCloseQueue(queue);
}
BENCHMARK(BM_SendRemote)->Name("Broker/Send/ours");

void BM_SendLocal(benchmark::State& state) {
  Machine machine;
  QUEUEPROPID ids[1] = {PROPID_Q_PATHNAME};
  MQPROPVARIANT values[1] = {};
  values[0].vt = VT_LPWSTR;
  values[0].pwszVal = const_cast<LPWSTR>(u".\\PRIVATE$\\Reports");
  MQQUEUEPROPS properties{1, ids, values, nullptr};
  WCHAR format_name[260];
  DWORD length = 260;
  if (MQCreateQueue(nullptr, &properties, format_name, &length) != MQ_OK) std::abort();
  const QUEUEHANDLE queue = OpenForSending(format_name);
  for (auto _ : state) {
    if (Send(queue) < 0) state.SkipWithError("send failed");
  }
  MQCloseQueue(queue);
}
BENCHMARK(BM_SendLocal)->Name("Broker/Send/peer");

// From the moment the broker is named to the last confirm, with kMessages waiting.
void BM_Forward(benchmark::State& state) {
  broker_tests::BrokerNode* node = Node();
  if (node == nullptr) {
    state.SkipWithError("no broker: rabbitmq-server is not installed or did not start");
    return;
  }
  for (auto _ : state) {
    Machine machine;
    Bare(node->port()).Purge("BENCH\\PRIVATE$\\REPORTS");
    const QUEUEHANDLE queue = OpenForSending(kRemote);
    for (int i = 0; i < kMessages; ++i)
      Send(queue);
    const auto start = std::chrono::steady_clock::now();
    winport::msmq::SetBroker(node->Url());
    // The send wakes the forwarder, which was waiting for a broker to be named.
    Send(queue);
    while (Outgoing() != 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    MQCloseQueue(queue);
  }
  state.SetItemsProcessed(state.iterations() * (kMessages + 1));
}
BENCHMARK(BM_Forward)->Name("Broker/Forward/ours")->UseManualTime()->Iterations(1);

void BM_BarePublisher(benchmark::State& state) {
  broker_tests::BrokerNode* node = Node();
  if (node == nullptr) {
    state.SkipWithError("no broker: rabbitmq-server is not installed or did not start");
    return;
  }
  const char* queue = "bare-publisher";
  for (auto _ : state) {
    Bare(node->port()).Purge(queue);
    const auto start = std::chrono::steady_clock::now();
    Bare bare(node->port());
    amqp_confirm_select(bare.state, 1);
    amqp_queue_declare(bare.state, 1, amqp_cstring_bytes(queue), 0, 1, 0, 0, amqp_empty_table);
    amqp_basic_properties_t properties{};
    properties._flags = AMQP_BASIC_DELIVERY_MODE_FLAG;
    properties.delivery_mode = AMQP_DELIVERY_PERSISTENT;
    const amqp_bytes_t body{g_body.size(), const_cast<char*>(g_body.data())};
    int published = 0;
    std::uint64_t confirmed = 0;
    while (published < kMessages + 1) {
      const int window = std::min(kWindow, kMessages + 1 - published);
      for (int i = 0; i < window; ++i)
        amqp_basic_publish(bare.state, 1, amqp_empty_bytes, amqp_cstring_bytes(queue), 0, 0,
                           &properties, body);
      published += window;
      while (confirmed < static_cast<std::uint64_t>(published)) {
        amqp_frame_t frame;
        if (amqp_simple_wait_frame(bare.state, &frame) != AMQP_STATUS_OK) {
          state.SkipWithError("the broker went away");
          return;
        }
        if (frame.frame_type == AMQP_FRAME_METHOD &&
            frame.payload.method.id == AMQP_BASIC_ACK_METHOD) {
          confirmed =
              static_cast<const amqp_basic_ack_t*>(frame.payload.method.decoded)->delivery_tag;
        }
      }
      amqp_maybe_release_buffers(bare.state);
    }
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  state.SetItemsProcessed(state.iterations() * (kMessages + 1));
}
BENCHMARK(BM_BarePublisher)->Name("Broker/Forward/peer")->UseManualTime()->Iterations(1);

}  // namespace
