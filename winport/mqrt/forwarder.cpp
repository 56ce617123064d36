#include "forwarder.h"

#include <unistd.h>

#include <cstdlib>
#include <map>
#include <set>

#include <winport/eventlog.h>
#include <winport/message_queuing.h>

#include "local_queue_store.h"
#include "remote_queue_store.h"

namespace mqrt {
namespace {

// Published before their confirms are awaited; a batch is one transaction to delete.
constexpr std::size_t kBatch = 256;
constexpr auto kConfirmTimeout = std::chrono::seconds(10);
constexpr auto kConnectTimeout = std::chrono::milliseconds(3000);
// Between attempts to reach the broker: from the first to the longest, doubling.
constexpr auto kFirstRetry = std::chrono::milliseconds(250);
constexpr auto kLongestRetry = std::chrono::milliseconds(2000);
// How often an idle forwarder looks for messages other processes committed.
constexpr auto kIdleLook = std::chrono::milliseconds(50);
// How long a process's exit waits for its forwarder to stop.
constexpr auto kStopWait = std::chrono::milliseconds(500);

// Event ids of the queue manager's link to the broker.
constexpr DWORD kLinkWaiting = 0x80000900;
constexpr DWORD kLinkError = 0xC0000901;
constexpr DWORD kLinkConnected = 0x40000902;

void WriteEvent(LinkState state, const std::string& reason) {
  HANDLE source = RegisterEventSourceW(nullptr, u"MSMQ");
  if (source == nullptr) return;
  WORD type = EVENTLOG_INFORMATION_TYPE;
  DWORD id = kLinkConnected;
  std::string text = "Outgoing messages are forwarded to the broker.";
  if (state == LinkState::kWaiting) {
    type = EVENTLOG_WARNING_TYPE;
    id = kLinkWaiting;
    text = "Outgoing messages wait for the broker: " + reason;
  } else if (state == LinkState::kError) {
    type = EVENTLOG_ERROR_TYPE;
    id = kLinkError;
    text = "Outgoing messages cannot be forwarded: " + reason;
  }
  const winport::WideString wide = winport::Utf8ToWide(text);
  LPCWSTR strings[1] = {wide.c_str()};
  ReportEventW(source, type, 0, id, nullptr, 1, 0, strings, nullptr);
  DeregisterEventSource(source);
}

}  // namespace

Forwarder& Forwarder::Instance() {
  static auto* forwarder = new Forwarder;
  return *forwarder;
}

void Forwarder::Release() {
  delete &Instance();
}

Forwarder::~Forwarder() {
  stopping_ = true;
  woken_.notify_all();
  if (thread_.joinable() && owner_ == ::getpid()) thread_.join();
  if (thread_.joinable()) thread_.detach();
}

void Forwarder::Start() {
  std::lock_guard lock(mutex_);
  // A child forked by a sender has its parent's object but not its thread.
  if (owner_ == ::getpid()) return;
  if (thread_.joinable()) thread_.detach();
  owner_ = ::getpid();
  running_ = true;
  thread_ = std::thread([this] {
    Run();
    std::lock_guard done(mutex_);
    running_ = false;
    woken_.notify_all();
  });
  static bool registered = false;
  if (!registered) {
    registered = true;
    std::atexit([] { Instance().StopAtExit(); });
  }
}

void Forwarder::StopAtExit() {
  // The objects the thread uses may be destroyed after this; it is asked to stop and
  // given a moment to leave between two steps. What it was doing is redone by the next
  // forwarder: nothing is deleted before the broker confirmed it.
  std::unique_lock lock(mutex_);
  if (owner_ != ::getpid()) return;
  stopping_ = true;
  woken_.notify_all();
  woken_.wait_for(lock, kStopWait, [&] { return !running_; });
}

void Forwarder::Wake() {
  {
    std::lock_guard lock(mutex_);
    work_ = true;
  }
  woken_.notify_one();
}

void Forwarder::Pause(std::chrono::milliseconds pause) {
  std::unique_lock lock(mutex_);
  woken_.wait_for(lock, pause, [&] { return work_ || stopping_.load(); });
  work_ = false;
}

void Forwarder::Report(LinkState state, const std::string& reason) {
  if (RemoteQueueStore::Instance().SetLink(state, reason)) WriteEvent(state, reason);
}

void Forwarder::Run() {
  RemoteQueueStore& store = RemoteQueueStore::Instance();
  BrokerConnection broker;
  std::string broker_url;
  std::filesystem::path storage;
  std::shared_ptr<void> elected;
  std::set<std::string> declared;
  auto retry = kFirstRetry;
  const auto wait_and_retry = [&] {
    Pause(retry);
    retry = std::min(retry * 2, kLongestRetry);
  };
  while (!stopping_) {
    if (!winport::msmq::IsRunning()) {
      broker.Close();
      elected.reset();
      Pause(kLongestRetry);
      continue;
    }
    // One forwarder per machine; the machine changes when a process switches prefixes.
    if (storage != winport::msmq::StorageDirectory()) {
      elected.reset();
      broker.Close();
      storage = winport::msmq::StorageDirectory();
    }
    if (elected == nullptr && HoldLockFile("forwarder", true, &elected) != MQ_OK) {
      elected.reset();
      Pause(kLongestRetry);
      continue;
    }
    const std::optional<std::string> url = winport::msmq::BrokerUrl();
    if (!url) {
      broker.Close();
      Report(LinkState::kWaiting, "no broker is set (quillmere queue broker set URL)");
      Pause(kLongestRetry);
      continue;
    }
    if (*url != broker_url) {
      broker.Close();
      broker_url = *url;
    }
    std::string reason;
    if (!broker.IsOpen()) {
      declared.clear();
      const std::optional<winport::msmq::BrokerAddress> address =
          winport::msmq::ParseBrokerUrl(*url, &reason);
      bool refused = true;
      if (!address || !broker.Open(*address, kConnectTimeout, &reason, &refused) ||
          !broker.SelectConfirms(&reason)) {
        Report(refused ? LinkState::kError : LinkState::kWaiting, reason);
        wait_and_retry();
        continue;
      }
      Report(LinkState::kConnected, "");
      retry = kFirstRetry;
    }
    std::vector<OutgoingMessage> batch;
    if (store.ReadOutgoing(kBatch, &batch) != MQ_OK) {
      Pause(kLongestRetry);
      continue;
    }
    if (batch.empty()) {
      Pause(kIdleLook);
      continue;
    }
    bool published = true;
    // Each message's place in the batch by its delivery tag.
    std::map<std::uint64_t, std::size_t> places;
    for (std::size_t i = 0; i < batch.size() && published; ++i) {
      const OutgoingMessage& outgoing = batch[i];
      std::uint32_t held = 0;
      if (declared.count(outgoing.broker_queue) == 0) {
        published = broker.Declare(outgoing.broker_queue, &held, &reason);
        if (published) declared.insert(outgoing.broker_queue);
      }
      std::uint64_t tag = 0;
      if (published)
        published = broker.Publish(outgoing.broker_queue, outgoing.message, &tag, &reason);
      if (published) places[tag] = i;
    }
    std::vector<bool> confirmed(batch.size(), false);
    if (published) {
      published = broker.WaitForConfirms(
          kConfirmTimeout,
          [&](std::uint64_t tag, bool acknowledged) {
            const auto found = places.find(tag);
            if (acknowledged && found != places.end()) confirmed[found->second] = true;
          },
          &reason);
    }
    // Runs of confirmed messages: the batch holds every outgoing number between its
    // first and its last, so a run is a range of numbers.
    std::vector<RemoteQueueStore::NumberRange> ranges;
    for (std::size_t i = 0; i < batch.size(); ++i) {
      if (!confirmed[i]) continue;
      if (i > 0 && confirmed[i - 1]) {
        ranges.back().second = batch[i].number;
      } else {
        ranges.emplace_back(batch[i].number, batch[i].number);
      }
    }
    if (!ranges.empty()) store.Forwarded(ranges);
    if (!published) {
      broker.Close();
      Report(LinkState::kWaiting, reason);
      wait_and_retry();
    }
  }
}

}  // namespace mqrt
