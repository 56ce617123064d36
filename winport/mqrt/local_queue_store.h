// This computer's queues: one SQLite database in the message-queuing storage, shared by
// every process of the machine (WAL, so readers never wait for the writer).
//
// Each send and each receive is one transaction, and a message is acknowledged only once
// its transaction has committed: a process killed in the middle loses nothing that was
// acknowledged and leaves nothing half-done. Express messages are committed with
// synchronous=NORMAL (they survive the death of any process, not of the machine);
// recoverable ones with synchronous=FULL, so they are on disk before the send returns.
// Each queue keeps its message count, which the send and receive transactions update.
//
// The process keeps one connection, opened on first use and again when the storage is
// a different file or the process a forked child (Database::IsOpenOn).
#pragma once

#include <mutex>
#include <string>

#include "queue_store.h"
#include "sqlite_database.h"

namespace mqrt {

class LocalQueueStore final : public QueueStore {
 public:
  static LocalQueueStore& Instance();
  // Closes the database when the runtime is unloaded; nothing may use the store after.
  static void Release();

  HRESULT Create(winport::WideView name, winport::WideView label,
                 winport::WideString* format_name) override;
  HRESULT Find(const QueueReference& queue, QueueId* id) override;
  HRESULT Describe(QueueId id, winport::WideString* path_name,
                   winport::WideString* format_name) override;
  HRESULT Delete(QueueId id) override;
  HRESULT Send(QueueId id, const MessageView& message) override;
  HRESULT Receive(QueueId id, bool remove, const MessageTaker& take) override;
  HRESULT List(std::vector<QueueId>* ids) override;
  HRESULT Count(QueueId id, ULONG* count) override;
  HRESULT HoldForReceiving(QueueId id, bool alone, std::shared_ptr<void>* hold) override;

  // The queue manager's id, which names its messages too.
  HRESULT MachineId(winport::WideString* machine_id);

 private:
  // Opens the storage's database when this process has none open on it; under mutex_.
  HRESULT Connect();
  HRESULT CreateSchema();
  HRESULT TakeFirst(QueueId id, bool remove, const MessageTaker& take);

  std::mutex mutex_;
  Database database_;
  winport::WideString machine_id_;
};

// The machine's queue database, in the message-queuing storage.
std::filesystem::path QueueDatabaseFile();

// Holds the lock file `name` of the storage's locks folder, shared or alone, until the
// hold is released; MQ_ERROR_SHARING_VIOLATION when another holds it in conflict.
HRESULT HoldLockFile(const std::string& name, bool alone, std::shared_ptr<void>* hold);

}  // namespace mqrt
