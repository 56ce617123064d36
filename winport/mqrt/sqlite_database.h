// A SQLite connection with its prepared statements kept for reuse, transactions that roll
// back unless committed, and the queue manager's result codes for SQLite's failures.
#pragma once

#include <sqlite3.h>
#include <sys/types.h>

#include <filesystem>
#include <map>
#include <span>
#include <string_view>

#include <winport/scoped_generic.h>
#include <winport/wide.h>
#include <winport/windows_api.h>

namespace mqrt {

using ScopedSqlite = winport::ScopedGeneric<winport::NullInvalidTraits<sqlite3*, &sqlite3_close>>;
using ScopedStatement =
    winport::ScopedGeneric<winport::NullInvalidTraits<sqlite3_stmt*, &sqlite3_finalize>>;

// MQ_ERROR_INSUFFICIENT_RESOURCES for memory, disk space or a lock held too long;
// MQ_ERROR_MESSAGE_STORAGE_FAILED for anything else.
HRESULT StorageError(int sqlite_result);

// Where a test may make a transaction fail at its very end, after all its changes:
// MQ_OK, or the result a test chose for the point (winport::fault::FailCall).
HRESULT InjectedFailure(std::string_view point);

class Database;

// One use of a prepared statement: bind, step, read columns; reset when it ends.
class Query {
 public:
  Query(Database& database, const char* sql);
  ~Query();
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  bool prepared() const { return statement_ != nullptr; }
  Query& Bind(std::int64_t value);
  Query& Bind(winport::WideView text);
  Query& Bind(std::span<const BYTE> bytes);
  // SQLITE_ROW, SQLITE_DONE or an error.
  int Step();
  // Runs a statement that returns no rows: MQ_OK or the storage error.
  HRESULT Run();
  // Steps to the one row the query looks for: MQ_OK, MQ_ERROR_QUEUE_NOT_FOUND when there
  // is none, or the storage error.
  HRESULT FindRow();

  std::int64_t Integer(int column) const;
  winport::WideView Text(int column) const;
  std::span<const BYTE> Bytes(int column) const;

 private:
  sqlite3_stmt* statement_ = nullptr;
  int bound_ = 0;
};

// BEGIN IMMEDIATE: the write lock is taken at once, so two writers never meet inside.
class Transaction {
 public:
  explicit Transaction(Database& database);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  HRESULT begun() const { return begun_; }
  HRESULT Commit();

 private:
  Database& database_;
  HRESULT begun_;
  bool open_ = false;
};

class Database {
 public:
  // MQ_OK or the storage error. busy_timeout_ms bounds the wait for another's lock.
  HRESULT Open(const std::filesystem::path& file, int busy_timeout_ms);
  // Whether this process has `file` open: false when the file there now is another one
  // (another machine prefix, or removed and made again), and in a child forked with its
  // parent's connection, which it forgets (see Abandon).
  bool IsOpenOn(const std::filesystem::path& file);
  void Close();
  // Forgets a connection without closing it: one inherited across fork belongs to the
  // parent, whose locks and log a close here would disturb.
  void Abandon();
  bool IsOpen() const { return connection_.IsValid(); }
  sqlite3* Get() const { return connection_.Get(); }

  HRESULT Execute(const char* sql);
  // The statement for sql, prepared on first use; null when it cannot be prepared.
  sqlite3_stmt* Statement(const char* sql);
  // Synchronous FULL (every commit reaches the disk) or NORMAL (the log is synced at
  // checkpoints only), switched only when it changes.
  HRESULT SyncEveryCommit(bool every_commit);

 private:
  ScopedSqlite connection_;
  // The open file, and the process that opened it.
  dev_t device_ = 0;
  ino_t inode_ = 0;
  pid_t owner_ = 0;
  // Finalized before the connection closes.
  std::map<const char*, ScopedStatement> statements_;
  int synchronous_ = -1;
};

}  // namespace mqrt
