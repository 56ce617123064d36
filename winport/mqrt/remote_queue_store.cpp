#include "remote_queue_store.h"

#include <winport/message_queuing.h>

#include "forwarder.h"
#include "local_queue_store.h"

namespace mqrt {
namespace {

namespace fs = std::filesystem;
using winport::WideString;
using winport::WideView;

constexpr int kBusyTimeoutMs = 30000;
// A receiver that could not reach the broker tries again after a pause growing from the
// first to the longest, so that a caller counting on every report (the module) does not
// wait a connection time-out on every call while the broker is out of reach.
constexpr auto kFirstReceiverRetry = std::chrono::seconds(1);
constexpr auto kLongestReceiverRetry = std::chrono::seconds(30);
// A broker's count younger than this is answered again without asking.
constexpr auto kCountFresh = std::chrono::milliseconds(250);
constexpr auto kBrokerTimeout = std::chrono::milliseconds(3000);
// How many taken message ids a machine remembers: far more than a forwarder can have
// published and not seen confirmed when its link broke.
constexpr std::int64_t kRememberedIds = 100000;
// What one batch of outgoing messages may hold in memory (bodies reach 4 MB each).
constexpr std::size_t kBatchBytes = 8 * 1024 * 1024;

constexpr const char* kSchema[] = {
    "CREATE TABLE IF NOT EXISTS outgoing_queues("
    " id INTEGER PRIMARY KEY AUTOINCREMENT, folded_name TEXT NOT NULL UNIQUE,"
    " format_name TEXT NOT NULL, path_name TEXT NOT NULL,"
    " message_count INTEGER NOT NULL DEFAULT 0, byte_count INTEGER NOT NULL DEFAULT 0)",
    // AUTOINCREMENT: a number is never given twice, so message ids stay unique.
    "CREATE TABLE IF NOT EXISTS outgoing("
    " id INTEGER PRIMARY KEY AUTOINCREMENT, queue INTEGER NOT NULL, priority INTEGER NOT NULL,"
    " delivery INTEGER NOT NULL, body_type INTEGER NOT NULL, label TEXT NOT NULL,"
    " body BLOB NOT NULL)",
    "CREATE TABLE IF NOT EXISTS link("
    " id INTEGER PRIMARY KEY CHECK (id = 1), state INTEGER NOT NULL, reason TEXT NOT NULL,"
    " duplicates INTEGER NOT NULL DEFAULT 0)",
    "INSERT OR IGNORE INTO link(id, state, reason) VALUES(1, 0, '')",
    ("CREATE TABLE IF NOT EXISTS taken_ids("
     " number INTEGER PRIMARY KEY, message_id TEXT NOT NULL UNIQUE)"),
};

std::string Utf8(WideView text) {
  return winport::WideToUtf8(text);
}

}  // namespace

const char16_t* LinkStateName(LinkState state) {
  switch (state) {
    case LinkState::kConnected:
      return u"CONNECTED";
    case LinkState::kWaiting:
      return u"WAITING";
    case LinkState::kError:
      return u"ERROR";
    default:
      return u"INACTIVE";
  }
}

RemoteQueueStore& RemoteQueueStore::Instance() {
  static auto* store = new RemoteQueueStore;
  return *store;
}

void RemoteQueueStore::Release() {
  delete &Instance();
}

HRESULT RemoteQueueStore::Connect() {
  const fs::path file = QueueDatabaseFile();
  if (database_.IsOpenOn(file)) return MQ_OK;
  // The local store makes the database and the queue manager's id.
  HRESULT connected = LocalQueueStore::Instance().MachineId(&machine_id_);
  if (connected == MQ_OK) connected = database_.Open(file, kBusyTimeoutMs);
  if (connected == MQ_OK) connected = database_.SyncEveryCommit(false);
  for (const char* statement : kSchema) {
    if (connected == MQ_OK) connected = database_.Execute(statement);
  }
  if (connected != MQ_OK) {
    database_.Close();
    return connected;
  }
  quota_bytes_ = std::uint64_t{winport::msmq::MachineQuotaKb()} * 1024;
  return MQ_OK;
}

HRESULT RemoteQueueStore::Create(WideView, WideView, WideString*) {
  return MQ_ERROR_QUEUE_EXISTS;
}

HRESULT RemoteQueueStore::Find(const QueueReference& queue, QueueId* id) {
  std::lock_guard lock(mutex_);
  if (const HRESULT connected = Connect(); connected != MQ_OK) return connected;
  const WideString path_name = queue.computer + u"\\PRIVATE$\\" + queue.name;
  const WideString folded = Folded(path_name);
  Query find(database_, "SELECT id FROM outgoing_queues WHERE folded_name = ?");
  HRESULT found = find.Bind(WideView(folded)).FindRow();
  if (found == MQ_OK) {
    *id = find.Integer(0);
    return MQ_OK;
  }
  if (found != MQ_ERROR_QUEUE_NOT_FOUND) return found;
  const WideString format_name = DirectFormatName(queue);
  found = Query(database_,
                "INSERT OR IGNORE INTO outgoing_queues(folded_name, format_name, path_name)"
                " VALUES(?, ?, ?)")
              .Bind(WideView(folded))
              .Bind(WideView(format_name))
              .Bind(WideView(path_name))
              .Run();
  if (found != MQ_OK) return found;
  Query again(database_, "SELECT id FROM outgoing_queues WHERE folded_name = ?");
  if ((found = again.Bind(WideView(folded)).FindRow()) != MQ_OK) return found;
  *id = again.Integer(0);
  return MQ_OK;
}

HRESULT RemoteQueueStore::Describe(QueueId id, WideString* path_name, WideString* format_name) {
  std::lock_guard lock(mutex_);
  if (const HRESULT connected = Connect(); connected != MQ_OK) return connected;
  Query describe(database_, "SELECT path_name, format_name FROM outgoing_queues WHERE id = ?");
  if (const HRESULT found = describe.Bind(id).FindRow(); found != MQ_OK) return found;
  if (path_name != nullptr) *path_name = WideString(describe.Text(0));
  if (format_name != nullptr) *format_name = WideString(describe.Text(1));
  return MQ_OK;
}

HRESULT RemoteQueueStore::BrokerQueue(QueueId id, std::string* name) {
  std::lock_guard lock(mutex_);
  if (const HRESULT connected = Connect(); connected != MQ_OK) return connected;
  Query describe(database_, "SELECT folded_name FROM outgoing_queues WHERE id = ?");
  if (const HRESULT found = describe.Bind(id).FindRow(); found != MQ_OK) return found;
  *name = Utf8(describe.Text(0));
  return MQ_OK;
}

HRESULT RemoteQueueStore::Delete(QueueId) {
  // The queue is the broker's; its operator deletes it there.
  return MQ_ERROR_UNSUPPORTED_OPERATION;
}

HRESULT RemoteQueueStore::Send(QueueId id, const MessageView& message) {
  {
    std::lock_guard lock(mutex_);
    if (const HRESULT connected = Connect(); connected != MQ_OK) return connected;
    HRESULT sent = database_.SyncEveryCommit(message.delivery == MQMSG_DELIVERY_RECOVERABLE);
    if (sent != MQ_OK) return sent;
    Transaction transaction(database_);
    if ((sent = transaction.begun()) != MQ_OK) return sent;
    Query held(database_, "SELECT total(byte_count) FROM outgoing_queues");
    if (held.Step() != SQLITE_ROW) return MQ_ERROR_MESSAGE_STORAGE_FAILED;
    const auto bytes = static_cast<std::uint64_t>(held.Integer(0));
    if (bytes + message.body.size() > quota_bytes_) return MQ_ERROR_INSUFFICIENT_RESOURCES;
    sent = Query(database_,
                 "UPDATE outgoing_queues SET message_count = message_count + 1,"
                 " byte_count = byte_count + ? WHERE id = ?")
               .Bind(static_cast<std::int64_t>(message.body.size()))
               .Bind(id)
               .Run();
    if (sent == MQ_OK && sqlite3_changes(database_.Get()) == 0) return MQ_ERROR_QUEUE_DELETED;
    if (sent == MQ_OK) {
      sent = Query(database_,
                   "INSERT INTO outgoing(queue, priority, delivery, body_type, label, body)"
                   " VALUES(?, ?, ?, ?, ?, ?)")
                 .Bind(id)
                 .Bind(std::int64_t{message.priority})
                 .Bind(std::int64_t{message.delivery})
                 .Bind(std::int64_t{message.body_type})
                 .Bind(message.label)
                 .Bind(message.body)
                 .Run();
    }
    if (sent == MQ_OK) sent = transaction.Commit();
    if (sent != MQ_OK) return sent;
  }
  Forwarder::Instance().Wake();
  return MQ_OK;
}

HRESULT RemoteQueueStore::ReadOutgoing(std::size_t most, std::vector<OutgoingMessage>* messages) {
  std::lock_guard lock(mutex_);
  if (const HRESULT connected = Connect(); connected != MQ_OK) return connected;
  Query first(database_,
              "SELECT o.id, q.folded_name, o.priority, o.delivery, o.body_type, o.label, o.body"
              " FROM outgoing o JOIN outgoing_queues q ON q.id = o.queue ORDER BY o.id LIMIT ?");
  first.Bind(static_cast<std::int64_t>(most));
  const std::string prefix = Utf8(machine_id_) + "\\";
  std::size_t bytes = 0;
  int step = first.Step();
  // At least one message, and no more than kBatchBytes of bodies after the first.
  for (; step == SQLITE_ROW && (bytes == 0 || bytes + first.Bytes(6).size() <= kBatchBytes);
       step = first.Step()) {
    bytes += first.Bytes(6).size() + 1;
    OutgoingMessage& outgoing = messages->emplace_back();
    outgoing.number = first.Integer(0);
    outgoing.broker_queue = Utf8(first.Text(1));
    outgoing.message.message_id = prefix + std::to_string(outgoing.number);
    outgoing.message.priority = static_cast<std::uint8_t>(first.Integer(2));
    outgoing.message.recoverable = first.Integer(3) == MQMSG_DELIVERY_RECOVERABLE;
    outgoing.message.body_type = static_cast<std::uint32_t>(first.Integer(4));
    outgoing.message.label = Utf8(first.Text(5));
    const std::span<const BYTE> body = first.Bytes(6);
    outgoing.body.assign(body.begin(), body.end());
  }
  for (OutgoingMessage& outgoing : *messages)
    outgoing.message.body = outgoing.body;
  return step == SQLITE_DONE || step == SQLITE_ROW ? MQ_OK : StorageError(step);
}

HRESULT RemoteQueueStore::Forwarded(const std::vector<NumberRange>& ranges) {
  std::lock_guard lock(mutex_);
  if (const HRESULT connected = Connect(); connected != MQ_OK) return connected;
  Transaction transaction(database_);
  HRESULT done = transaction.begun();
  for (const auto& [first, last] : ranges) {
    if (done != MQ_OK) break;
    done = Query(database_,
                 "UPDATE outgoing_queues SET message_count = message_count - gone.messages,"
                 " byte_count = byte_count - gone.bytes FROM"
                 " (SELECT queue, count(*) AS messages, total(length(body)) AS bytes FROM outgoing"
                 "  WHERE id BETWEEN ? AND ? GROUP BY queue) AS gone"
                 " WHERE outgoing_queues.id = gone.queue")
               .Bind(first)
               .Bind(last)
               .Run();
    if (done == MQ_OK) {
      done = Query(database_, "DELETE FROM outgoing WHERE id BETWEEN ? AND ?")
                 .Bind(first)
                 .Bind(last)
                 .Run();
    }
  }
  if (done == MQ_OK) done = InjectedFailure("OutgoingForwarded");
  if (done == MQ_OK) done = transaction.Commit();
  return done;
}

bool RemoteQueueStore::SetLink(LinkState state, const std::string& reason) {
  std::lock_guard lock(mutex_);
  if (Connect() != MQ_OK) return false;
  Query current(database_, "SELECT state, reason FROM link WHERE id = 1");
  const bool same_state =
      current.Step() == SQLITE_ROW && current.Integer(0) == static_cast<std::int64_t>(state);
  if (same_state && Utf8(current.Text(1)) == reason) return false;
  const WideString wide_reason = winport::Utf8ToWide(reason);
  const bool written = Query(database_, "UPDATE link SET state = ?, reason = ? WHERE id = 1")
                           .Bind(static_cast<std::int64_t>(state))
                           .Bind(WideView(wide_reason))
                           .Run() == MQ_OK;
  // While waiting the reason may change from attempt to attempt; an error is news each
  // time it is a different one.
  return written && (!same_state || state == LinkState::kError);
}

HRESULT RemoteQueueStore::Link(LinkState* state, std::string* reason) {
  std::lock_guard lock(mutex_);
  if (const HRESULT connected = Connect(); connected != MQ_OK) return connected;
  Query current(database_, "SELECT state, reason FROM link WHERE id = 1");
  if (const HRESULT found = current.FindRow(); found != MQ_OK) return found;
  *state = static_cast<LinkState>(current.Integer(0));
  *reason = Utf8(current.Text(1));
  return MQ_OK;
}

HRESULT RemoteQueueStore::DuplicatesDropped(ULONG* count) {
  std::lock_guard lock(mutex_);
  if (const HRESULT connected = Connect(); connected != MQ_OK) return connected;
  Query current(database_, "SELECT duplicates FROM link WHERE id = 1");
  if (const HRESULT found = current.FindRow(); found != MQ_OK) return found;
  *count = static_cast<ULONG>(current.Integer(0));
  return MQ_OK;
}

HRESULT RemoteQueueStore::OutgoingCount(QueueId id, ULONG* count) {
  std::lock_guard lock(mutex_);
  if (const HRESULT connected = Connect(); connected != MQ_OK) return connected;
  Query counted(database_, "SELECT message_count FROM outgoing_queues WHERE id = ?");
  if (const HRESULT found = counted.Bind(id).FindRow(); found != MQ_OK) return found;
  *count = static_cast<ULONG>(counted.Integer(0));
  return MQ_OK;
}

HRESULT RemoteQueueStore::List(std::vector<QueueId>* ids) {
  std::lock_guard lock(mutex_);
  if (const HRESULT connected = Connect(); connected != MQ_OK) return connected;
  Query all(database_, "SELECT id FROM outgoing_queues ORDER BY folded_name");
  int step = all.Step();
  for (; step == SQLITE_ROW; step = all.Step())
    ids->push_back(all.Integer(0));
  return step == SQLITE_DONE ? MQ_OK : StorageError(step);
}

bool RemoteQueueStore::OpenReceiver(std::string* reason) {
  const std::optional<std::string> url = winport::msmq::BrokerUrl();
  if (!url) {
    *reason = "no broker is set";
    return false;
  }
  if (receiver_.IsOpen() && *url == receiver_url_) return true;
  if (std::chrono::steady_clock::now() < next_attempt_) {
    *reason = "the broker could not be reached a moment ago";
    return false;
  }
  const std::optional<winport::msmq::BrokerAddress> address =
      winport::msmq::ParseBrokerUrl(*url, reason);
  bool refused = false;
  if (address && receiver_.Open(*address, kBrokerTimeout, reason, &refused)) {
    receiver_url_ = *url;
    retry_after_ = kFirstReceiverRetry;
    return true;
  }
  next_attempt_ = std::chrono::steady_clock::now() + retry_after_;
  retry_after_ =
      std::min<std::chrono::steady_clock::duration>(retry_after_ * 2, kLongestReceiverRetry);
  return false;
}

HRESULT RemoteQueueStore::Count(QueueId id, ULONG* count) {
  ULONG outgoing = 0;
  std::string queue;
  HRESULT counted = OutgoingCount(id, &outgoing);
  if (counted == MQ_OK) counted = BrokerQueue(id, &queue);
  if (counted != MQ_OK) return counted;
  std::lock_guard lock(receive_mutex_);
  BrokerCount& known = broker_counts_[id];
  const auto now = std::chrono::steady_clock::now();
  std::string reason;
  std::uint32_t at_broker = 0;
  if (now - known.asked >= kCountFresh && OpenReceiver(&reason) &&
      receiver_.Declare(queue, &at_broker, &reason)) {
    known = BrokerCount{at_broker, now};
  }
  *count = outgoing + known.count;
  return MQ_OK;
}

HRESULT RemoteQueueStore::Taken(const std::string& message_id, bool* seen) {
  std::lock_guard lock(mutex_);
  if (const HRESULT connected = Connect(); connected != MQ_OK) return connected;
  const WideString wide = winport::Utf8ToWide(message_id);
  Query known(database_, "SELECT 1 FROM taken_ids WHERE message_id = ?");
  const int found = known.Bind(WideView(wide)).Step();
  if (found != SQLITE_ROW && found != SQLITE_DONE) return StorageError(found);
  *seen = found == SQLITE_ROW;
  return MQ_OK;
}

HRESULT RemoteQueueStore::RememberTaken(const std::string& message_id) {
  std::lock_guard lock(mutex_);
  if (const HRESULT connected = Connect(); connected != MQ_OK) return connected;
  const WideString wide = winport::Utf8ToWide(message_id);
  HRESULT recorded = Query(database_, "INSERT OR IGNORE INTO taken_ids(message_id) VALUES(?)")
                         .Bind(WideView(wide))
                         .Run();
  if (recorded == MQ_OK) {
    recorded = Query(database_, "DELETE FROM taken_ids WHERE number <= ?")
                   .Bind(sqlite3_last_insert_rowid(database_.Get()) - kRememberedIds)
                   .Run();
  }
  return recorded;
}

HRESULT RemoteQueueStore::CountDuplicate() {
  std::lock_guard lock(mutex_);
  if (const HRESULT connected = Connect(); connected != MQ_OK) return connected;
  return Query(database_, "UPDATE link SET duplicates = duplicates + 1 WHERE id = 1").Run();
}

HRESULT RemoteQueueStore::Receive(QueueId id, bool remove, const MessageTaker& take) {
  std::string queue;
  if (const HRESULT found = BrokerQueue(id, &queue); found != MQ_OK) return found;
  std::lock_guard lock(receive_mutex_);
  return TakeFromBroker(id, queue, remove, take);
}

HRESULT RemoteQueueStore::TakeFromBroker(QueueId, const std::string& queue, bool remove,
                                         const MessageTaker& take) {
  std::string reason;
  if (!OpenReceiver(&reason)) return MQ_ERROR_REMOTE_MACHINE_NOT_AVAILABLE;
  for (;;) {
    BrokerMessage message;
    std::uint64_t tag = 0;
    bool empty = false;
    if (!receiver_.Get(queue, &message, &tag, &empty, &reason))
      return MQ_ERROR_REMOTE_MACHINE_NOT_AVAILABLE;
    if (empty) return MQ_ERROR_IO_TIMEOUT;
    bool seen = false;
    if (!message.message_id.empty()) {
      if (const HRESULT checked = Taken(message.message_id, &seen); checked != MQ_OK) {
        receiver_.Requeue(tag, &reason);
        return checked;
      }
    }
    if (seen) {
      CountDuplicate();
      if (!receiver_.Ack(tag, &reason)) return MQ_ERROR_REMOTE_MACHINE_NOT_AVAILABLE;
      continue;
    }
    const WideString label = winport::Utf8ToWide(message.label);
    MessageView view;
    view.body = message.body;
    view.label = label;
    view.body_type = message.body_type;
    view.priority = message.priority;
    view.delivery = MQMSG_DELIVERY_RECOVERABLE;
    const HRESULT taken = take(view);
    if (taken != MQ_OK || !remove) {
      receiver_.Requeue(tag, &reason);
      return taken;
    }
    // Remembered once handed over: a receiver killed in between hands it out again
    // rather than lose it.
    if (!message.message_id.empty()) RememberTaken(message.message_id);
    return receiver_.Ack(tag, &reason) ? MQ_OK : MQ_ERROR_REMOTE_MACHINE_NOT_AVAILABLE;
  }
}

HRESULT RemoteQueueStore::HoldForReceiving(QueueId id, bool alone, std::shared_ptr<void>* hold) {
  return HoldLockFile("remote-" + std::to_string(id) + ".receive", alone, hold);
}

void RemoteQueueStore::OpenedForSending() {
  Forwarder::Instance().Start();
}

QueueStore* StoreFor(const QueueReference& queue) {
  if (queue.on_this_computer) return &LocalQueueStore::Instance();
  return &RemoteQueueStore::Instance();
}

}  // namespace mqrt
