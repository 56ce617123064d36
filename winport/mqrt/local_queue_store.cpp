#include "local_queue_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <optional>
#include <random>
#include <system_error>

#include <winport/message_queuing.h>
#include <winport/owner_only.h>

namespace mqrt {
namespace {

namespace fs = std::filesystem;
using winport::WideString;
using winport::WideView;

// Long enough for any other process's transaction, which holds the lock only briefly.
constexpr int kBusyTimeoutMs = 30000;

constexpr const char* kSchema[] = {
    "CREATE TABLE IF NOT EXISTS machine("
    " id INTEGER PRIMARY KEY CHECK (id = 1), machine_id TEXT NOT NULL)",
    "CREATE TABLE IF NOT EXISTS queues("
    " id INTEGER PRIMARY KEY AUTOINCREMENT, folded_name TEXT NOT NULL UNIQUE,"
    " name TEXT NOT NULL, label TEXT NOT NULL, message_count INTEGER NOT NULL DEFAULT 0)",
    "CREATE TABLE IF NOT EXISTS messages("
    " id INTEGER PRIMARY KEY, queue INTEGER NOT NULL, priority INTEGER NOT NULL,"
    " delivery INTEGER NOT NULL, body_type INTEGER NOT NULL, label TEXT NOT NULL,"
    " body BLOB NOT NULL)",
    "CREATE INDEX IF NOT EXISTS messages_in_order ON messages(queue, priority DESC, id)",
};

// A queue manager's id: a random GUID in the lower-case form of format names.
WideString NewMachineId() {
  std::random_device random;
  BYTE bytes[16];
  for (BYTE& byte : bytes)
    byte = static_cast<BYTE>(random());
  bytes[6] = static_cast<BYTE>((bytes[6] & 0x0F) | 0x40);
  bytes[8] = static_cast<BYTE>((bytes[8] & 0x3F) | 0x80);
  WideString text;
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += u'-';
    text += winport::FormatWide("%02x", bytes[i]);
  }
  return text;
}

struct ReceiveLock {
  explicit ReceiveLock(int descriptor) : fd(descriptor) {}
  ~ReceiveLock() { ::close(fd); }
  int fd;
};

}  // namespace

fs::path QueueDatabaseFile() {
  return winport::msmq::StorageDirectory() / "queues.db";
}

LocalQueueStore& LocalQueueStore::Instance() {
  // Not destroyed at process exit: other libraries' static destructors may still close
  // handles. Released when the runtime is unloaded.
  static auto* store = new LocalQueueStore;
  return *store;
}

void LocalQueueStore::Release() {
  delete &Instance();
}

HRESULT LocalQueueStore::Connect() {
  const fs::path file = QueueDatabaseFile();
  if (database_.IsOpenOn(file)) return MQ_OK;
  HRESULT connected = database_.Open(file, kBusyTimeoutMs);
  if (connected == MQ_OK) connected = CreateSchema();
  if (connected != MQ_OK) database_.Close();
  return connected;
}

HRESULT LocalQueueStore::CreateSchema() {
  HRESULT created = database_.Execute("PRAGMA journal_mode=WAL");
  if (created == MQ_OK) created = database_.SyncEveryCommit(false);
  Transaction transaction(database_);
  if (created == MQ_OK) created = transaction.begun();
  for (const char* statement : kSchema) {
    if (created == MQ_OK) created = database_.Execute(statement);
  }
  const WideString new_id = NewMachineId();
  if (created == MQ_OK) {
    created = Query(database_, "INSERT OR IGNORE INTO machine(id, machine_id) VALUES(1, ?)")
                  .Bind(WideView(new_id))
                  .Run();
  }
  if (created == MQ_OK) created = transaction.Commit();
  if (created != MQ_OK) return created;
  Query machine(database_, "SELECT machine_id FROM machine");
  if (machine.Step() != SQLITE_ROW) return MQ_ERROR_MESSAGE_STORAGE_FAILED;
  machine_id_ = WideString(machine.Text(0));
  return MQ_OK;
}

HRESULT LocalQueueStore::Create(WideView name, WideView label, WideString* format_name) {
  std::lock_guard lock(mutex_);
  if (const HRESULT connected = Connect(); connected != MQ_OK) return connected;
  Query insert(database_, "INSERT INTO queues(folded_name, name, label) VALUES(?, ?, ?)");
  const WideString folded = Folded(name);
  const int inserted = insert.Bind(WideView(folded)).Bind(name).Bind(label).Step();
  if (inserted == SQLITE_CONSTRAINT || (inserted & 0xFF) == SQLITE_CONSTRAINT) {
    return MQ_ERROR_QUEUE_EXISTS;
  }
  if (inserted != SQLITE_DONE) return StorageError(inserted);
  *format_name = PrivateFormatName(machine_id_,
                                   static_cast<DWORD>(sqlite3_last_insert_rowid(database_.Get())));
  return MQ_OK;
}

HRESULT LocalQueueStore::Find(const QueueReference& queue, QueueId* id) {
  std::lock_guard lock(mutex_);
  if (const HRESULT connected = Connect(); connected != MQ_OK) return connected;
  const bool by_name = !queue.name.empty();
  if (!by_name && queue.machine_id != Folded(machine_id_)) return MQ_ERROR_QUEUE_NOT_FOUND;
  Query find(database_, by_name ? "SELECT id FROM queues WHERE folded_name = ?"
                                : "SELECT id FROM queues WHERE id = ?");
  const WideString folded = Folded(queue.name);
  if (by_name) {
    find.Bind(WideView(folded));
  } else {
    find.Bind(static_cast<std::int64_t>(queue.number));
  }
  if (const HRESULT found = find.FindRow(); found != MQ_OK) return found;
  *id = find.Integer(0);
  return MQ_OK;
}

HRESULT LocalQueueStore::Describe(QueueId id, WideString* path_name, WideString* format_name) {
  std::lock_guard lock(mutex_);
  if (const HRESULT connected = Connect(); connected != MQ_OK) return connected;
  Query describe(database_, "SELECT name FROM queues WHERE id = ?");
  if (const HRESULT found = describe.Bind(id).FindRow(); found != MQ_OK) return found;
  if (path_name != nullptr) {
    WCHAR computer[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(computer, &size)) size = 0;
    *path_name = WideString(computer, size) + u"\\private$\\" + WideString(describe.Text(0));
  }
  if (format_name != nullptr) *format_name = PrivateFormatName(machine_id_, static_cast<DWORD>(id));
  return MQ_OK;
}

HRESULT LocalQueueStore::Delete(QueueId id) {
  std::lock_guard lock(mutex_);
  if (const HRESULT connected = Connect(); connected != MQ_OK) return connected;
  Transaction transaction(database_);
  HRESULT deleted = transaction.begun();
  if (deleted == MQ_OK) {
    deleted = Query(database_, "DELETE FROM messages WHERE queue = ?").Bind(id).Run();
  }
  if (deleted == MQ_OK)
    deleted = Query(database_, "DELETE FROM queues WHERE id = ?").Bind(id).Run();
  if (deleted == MQ_OK && sqlite3_changes(database_.Get()) == 0) deleted = MQ_ERROR_QUEUE_NOT_FOUND;
  if (deleted == MQ_OK) deleted = transaction.Commit();
  return deleted;
}

HRESULT LocalQueueStore::Send(QueueId id, const MessageView& message) {
  std::lock_guard lock(mutex_);
  if (const HRESULT connected = Connect(); connected != MQ_OK) return connected;
  HRESULT sent = database_.SyncEveryCommit(message.delivery == MQMSG_DELIVERY_RECOVERABLE);
  if (sent != MQ_OK) return sent;
  Transaction transaction(database_);
  if ((sent = transaction.begun()) != MQ_OK) return sent;
  sent = Query(database_, "UPDATE queues SET message_count = message_count + 1 WHERE id = ?")
             .Bind(id)
             .Run();
  if (sent == MQ_OK && sqlite3_changes(database_.Get()) == 0) return MQ_ERROR_QUEUE_DELETED;
  if (sent == MQ_OK) {
    sent = Query(database_,
                 "INSERT INTO messages(queue, priority, delivery, body_type, label, body)"
                 " VALUES(?, ?, ?, ?, ?, ?)")
               .Bind(id)
               .Bind(std::int64_t{message.priority})
               .Bind(std::int64_t{message.delivery})
               .Bind(std::int64_t{message.body_type})
               .Bind(message.label)
               .Bind(message.body)
               .Run();
  }
  if (sent == MQ_OK) sent = InjectedFailure("QueueStoreCommit");
  if (sent == MQ_OK) sent = transaction.Commit();
  return sent;
}

HRESULT LocalQueueStore::Receive(QueueId id, bool remove, const MessageTaker& take) {
  std::lock_guard lock(mutex_);
  if (const HRESULT connected = Connect(); connected != MQ_OK) return connected;
  return TakeFirst(id, remove, take);
}

HRESULT LocalQueueStore::TakeFirst(QueueId id, bool remove, const MessageTaker& take) {
  // A peek only reads; a receive holds the write lock from its first read to its commit.
  std::optional<Transaction> transaction;
  if (remove) {
    transaction.emplace(database_);
    if (transaction->begun() != MQ_OK) return transaction->begun();
  }
  std::int64_t message_id = 0;
  {
    Query first(database_,
                "SELECT id, priority, delivery, body_type, label, body FROM messages"
                " WHERE queue = ? ORDER BY priority DESC, id LIMIT 1");
    const int found = first.Bind(id).Step();
    if (found == SQLITE_DONE) return MQ_ERROR_IO_TIMEOUT;
    if (found != SQLITE_ROW) return StorageError(found);
    MessageView message;
    message.label = first.Text(4);
    message.body = first.Bytes(5);
    message.priority = static_cast<UCHAR>(first.Integer(1));
    message.delivery = static_cast<UCHAR>(first.Integer(2));
    message.body_type = static_cast<ULONG>(first.Integer(3));
    const HRESULT taken = take(message);
    if (taken != MQ_OK || !remove) return taken;
    message_id = first.Integer(0);
  }
  HRESULT received = Query(database_, "DELETE FROM messages WHERE id = ?").Bind(message_id).Run();
  if (received == MQ_OK) {
    received = Query(database_, "UPDATE queues SET message_count = message_count - 1 WHERE id = ?")
                   .Bind(id)
                   .Run();
  }
  if (received == MQ_OK) received = InjectedFailure("QueueStoreCommit");
  if (received == MQ_OK) received = transaction->Commit();
  return received;
}

HRESULT LocalQueueStore::List(std::vector<QueueId>* ids) {
  std::lock_guard lock(mutex_);
  if (const HRESULT connected = Connect(); connected != MQ_OK) return connected;
  Query all(database_, "SELECT id FROM queues ORDER BY folded_name");
  int step = all.Step();
  for (; step == SQLITE_ROW; step = all.Step())
    ids->push_back(all.Integer(0));
  return step == SQLITE_DONE ? MQ_OK : StorageError(step);
}

HRESULT LocalQueueStore::Count(QueueId id, ULONG* count) {
  std::lock_guard lock(mutex_);
  if (const HRESULT connected = Connect(); connected != MQ_OK) return connected;
  Query counted(database_, "SELECT message_count FROM queues WHERE id = ?");
  if (const HRESULT found = counted.Bind(id).FindRow(); found != MQ_OK) return found;
  *count = static_cast<ULONG>(counted.Integer(0));
  return MQ_OK;
}

HRESULT LocalQueueStore::HoldForReceiving(QueueId id, bool alone, std::shared_ptr<void>* hold) {
  return HoldLockFile(std::to_string(id) + ".receive", alone, hold);
}

HRESULT HoldLockFile(const std::string& name, bool alone, std::shared_ptr<void>* hold) {
  // A lock on a file: the system drops it when its holder dies, however.
  const fs::path directory = winport::msmq::StorageDirectory() / "locks";
  std::error_code error;
  winport::machine::CreatePrivateDirectories(directory, error);
  const fs::path file = directory / name;
  const int fd = winport::machine::OpenPrivateFile(file, O_RDWR | O_CREAT);
  if (fd < 0) return MQ_ERROR_INSUFFICIENT_RESOURCES;
  auto lock = std::make_shared<ReceiveLock>(fd);
  if (::flock(fd, (alone ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) return MQ_ERROR_SHARING_VIOLATION;
  *hold = std::move(lock);
  return MQ_OK;
}

HRESULT LocalQueueStore::MachineId(WideString* machine_id) {
  std::lock_guard lock(mutex_);
  if (const HRESULT connected = Connect(); connected != MQ_OK) return connected;
  *machine_id = machine_id_;
  return MQ_OK;
}

}  // namespace mqrt
