#include "sqlite_database.h"

#include <sys/stat.h>
#include <unistd.h>

#include <winport/fault_injection.h>
#include <winport/owner_only.h>

namespace mqrt {

HRESULT StorageError(int sqlite_result) {
  switch (sqlite_result & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
      return MQ_OK;
    case SQLITE_NOMEM:
    case SQLITE_FULL:
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return MQ_ERROR_INSUFFICIENT_RESOURCES;
    default:
      return MQ_ERROR_MESSAGE_STORAGE_FAILED;
  }
}

HRESULT InjectedFailure(std::string_view point) {
  std::uint32_t injected = 0;
  return winport::fault::ShouldFail(point, &injected) ? static_cast<HRESULT>(injected) : MQ_OK;
}

Query::Query(Database& database, const char* sql) : statement_(database.Statement(sql)) {}

Query::~Query() {
  if (statement_ == nullptr) return;
  sqlite3_reset(statement_);
  sqlite3_clear_bindings(statement_);
}

Query& Query::Bind(std::int64_t value) {
  if (statement_ != nullptr) sqlite3_bind_int64(statement_, ++bound_, value);
  return *this;
}

Query& Query::Bind(winport::WideView text) {
  if (statement_ != nullptr) {
    // Text, not NULL, for an empty view.
    sqlite3_bind_text16(statement_, ++bound_, text.data() != nullptr ? text.data() : u"",
                        static_cast<int>(text.size() * sizeof(OLECHAR)), SQLITE_STATIC);
  }
  return *this;
}

Query& Query::Bind(std::span<const BYTE> bytes) {
  // A zero-length blob, not NULL, for an empty body.
  static constexpr BYTE kEmpty = 0;
  if (statement_ != nullptr) {
    sqlite3_bind_blob(statement_, ++bound_, bytes.empty() ? &kEmpty : bytes.data(),
                      static_cast<int>(bytes.size()), SQLITE_STATIC);
  }
  return *this;
}

int Query::Step() {
  return statement_ != nullptr ? sqlite3_step(statement_) : SQLITE_ERROR;
}

HRESULT Query::Run() {
  const int result = Step();
  return result == SQLITE_DONE ? MQ_OK : StorageError(result == SQLITE_ROW ? SQLITE_ERROR : result);
}

HRESULT Query::FindRow() {
  const int found = Step();
  if (found == SQLITE_DONE) return MQ_ERROR_QUEUE_NOT_FOUND;
  return found == SQLITE_ROW ? MQ_OK : StorageError(found);
}

std::int64_t Query::Integer(int column) const {
  return sqlite3_column_int64(statement_, column);
}

winport::WideView Query::Text(int column) const {
  const auto* text = static_cast<const OLECHAR*>(sqlite3_column_text16(statement_, column));
  const int bytes = sqlite3_column_bytes16(statement_, column);
  return text != nullptr ? winport::WideView(text, static_cast<std::size_t>(bytes) / 2)
                         : winport::WideView();
}

std::span<const BYTE> Query::Bytes(int column) const {
  const auto* bytes = static_cast<const BYTE*>(sqlite3_column_blob(statement_, column));
  const int size = sqlite3_column_bytes(statement_, column);
  return bytes != nullptr ? std::span<const BYTE>(bytes, static_cast<std::size_t>(size))
                          : std::span<const BYTE>();
}

Transaction::Transaction(Database& database)
    : database_(database), begun_(database.Execute("BEGIN IMMEDIATE")) {
  open_ = begun_ == MQ_OK;
}

Transaction::~Transaction() {
  if (open_) database_.Execute("ROLLBACK");
}

HRESULT Transaction::Commit() {
  const HRESULT committed = database_.Execute("COMMIT");
  // A failed COMMIT may leave the transaction open; the destructor rolls it back.
  if (committed == MQ_OK) open_ = false;
  return committed;
}

HRESULT Database::Open(const std::filesystem::path& file, int busy_timeout_ms) {
  Close();
  winport::machine::PrepareDatabaseFile(file);
  sqlite3* connection = nullptr;
  const int opened = sqlite3_open_v2(file.c_str(), &connection,
                                     SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  connection_.Reset(connection);
  if (opened != SQLITE_OK) {
    Close();
    return StorageError(opened);
  }
  sqlite3_busy_timeout(connection, busy_timeout_ms);
  struct stat status {};
  if (::stat(file.c_str(), &status) != 0) {
    Close();
    return MQ_ERROR_MESSAGE_STORAGE_FAILED;
  }
  device_ = status.st_dev;
  inode_ = status.st_ino;
  owner_ = ::getpid();
  return MQ_OK;
}

bool Database::IsOpenOn(const std::filesystem::path& file) {
  if (owner_ != ::getpid()) {
    Abandon();
    owner_ = ::getpid();
  }
  struct stat status {};
  return IsOpen() && ::stat(file.c_str(), &status) == 0 && status.st_dev == device_ &&
         status.st_ino == inode_;
}

void Database::Close() {
  statements_.clear();
  connection_.Reset();
  synchronous_ = -1;
}

void Database::Abandon() {
  for (auto& [sql, statement] : statements_)
    (void)statement.Release();
  statements_.clear();
  (void)connection_.Release();
  synchronous_ = -1;
}

HRESULT Database::Execute(const char* sql) {
  return StorageError(sqlite3_exec(connection_.Get(), sql, nullptr, nullptr, nullptr));
}

sqlite3_stmt* Database::Statement(const char* sql) {
  auto found = statements_.find(sql);
  if (found != statements_.end()) return found->second.Get();
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v3(connection_.Get(), sql, -1, SQLITE_PREPARE_PERSISTENT, &statement,
                         nullptr) != SQLITE_OK) {
    sqlite3_finalize(statement);
    return nullptr;
  }
  return statements_.emplace(sql, ScopedStatement(statement)).first->second.Get();
}

HRESULT Database::SyncEveryCommit(bool every_commit) {
  const int wanted = every_commit ? 2 : 1;
  if (synchronous_ == wanted) return MQ_OK;
  const HRESULT set =
      Execute(every_commit ? "PRAGMA synchronous=FULL" : "PRAGMA synchronous=NORMAL");
  synchronous_ = set == MQ_OK ? wanted : -1;
  return set;
}

}  // namespace mqrt
