// The message-queue runtime on the report path: before each send the sender asks for the
// queue's message count, then sends the report (about 400 bytes). Measured into an empty
// queue and into one holding 10,000 messages (each iteration adds one more), and the
// receive of one message. The machine is a fresh prefix in a temporary directory.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <filesystem>
#include <string>

#include <winport/message_queuing.h>
#include <winport/windows.h>

namespace {

using winport::WideString;

struct Machine {
  Machine() {
    std::string pattern = (std::filesystem::temp_directory_path() / "msmq-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    prefix = pattern;
    ::setenv("QUILLMERE_PREFIX", pattern.c_str(), 1);
    winport::msmq::Install();
  }
  ~Machine() {
    std::error_code ignored;
    std::filesystem::remove_all(prefix, ignored);
  }
  std::filesystem::path prefix;
};

struct Queue {
  explicit Queue(const char16_t* path) {
    QUEUEPROPID ids[1] = {PROPID_Q_PATHNAME};
    MQPROPVARIANT values[1] = {};
    values[0].vt = VT_LPWSTR;
    values[0].pwszVal = const_cast<LPWSTR>(path);
    MQQUEUEPROPS properties{1, ids, values, nullptr};
    WCHAR buffer[260];
    DWORD length = 260;
    if (MQCreateQueue(nullptr, &properties, buffer, &length) != MQ_OK) std::abort();
    format_name = buffer;
    MQOpenQueue(buffer, MQ_SEND_ACCESS, MQ_DENY_NONE, &sender);
    MQOpenQueue(buffer, MQ_RECEIVE_ACCESS, MQ_DENY_NONE, &receiver);
  }
  ~Queue() {
    MQCloseQueue(sender);
    MQCloseQueue(receiver);
  }
  WideString format_name;
  QUEUEHANDLE sender = nullptr;
  QUEUEHANDLE receiver = nullptr;
};

std::string g_report(400, 'r');

HRESULT SendReport(QUEUEHANDLE queue) {
  MSGPROPID ids[2] = {PROPID_M_BODY, PROPID_M_BODY_SIZE};
  MQPROPVARIANT values[2] = {};
  values[0].vt = VT_VECTOR | VT_UI1;
  values[0].caub = {400, reinterpret_cast<UCHAR*>(g_report.data())};
  values[1].vt = VT_UI4;
  values[1].ulVal = 400;
  HRESULT status[2];
  MQMSGPROPS properties{2, ids, values, status};
  return MQSendMessage(queue, &properties, nullptr);
}

ULONG CountMessages(const WideString& object) {
  MGMTPROPID ids[1] = {PROPID_MGMT_QUEUE_MESSAGE_COUNT};
  MQPROPVARIANT values[1] = {};
  values[0].vt = VT_NULL;
  MQMGMTPROPS properties{1, ids, values, nullptr};
  MQMgmtGetInfo(nullptr, object.c_str(), &properties);
  return values[0].ulVal;
}

void BM_CountThenSend(benchmark::State& state) {
  Machine machine;
  Queue queue(u".\\PRIVATE$\\WSQueue");
  for (int64_t i = 0; i < state.range(0); ++i)
    SendReport(queue.sender);
  const WideString object = u"QUEUE=" + queue.format_name;
  for (auto _ : state) {
    benchmark::DoNotOptimize(CountMessages(object));
    if (SendReport(queue.sender) < 0) state.SkipWithError("send failed");
  }
}
BENCHMARK(BM_CountThenSend)->Arg(0)->Arg(10000);

void BM_ReceiveOne(benchmark::State& state) {
  Machine machine;
  Queue queue(u".\\PRIVATE$\\WSQueue");
  UCHAR body[512];
  for (auto _ : state) {
    state.PauseTiming();
    SendReport(queue.sender);
    state.ResumeTiming();
    MSGPROPID ids[1] = {PROPID_M_BODY};
    MQPROPVARIANT values[1] = {};
    values[0].vt = VT_VECTOR | VT_UI1;
    values[0].caub = {sizeof body, body};
    MQMSGPROPS properties{1, ids, values, nullptr};
    if (MQReceiveMessage(queue.receiver, 0, MQ_ACTION_RECEIVE, &properties, nullptr, nullptr,
                         nullptr, nullptr) != MQ_OK) {
      state.SkipWithError("receive failed");
    }
  }
}
BENCHMARK(BM_ReceiveOne);

}  // namespace
