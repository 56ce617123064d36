#include "sqlite_database.h"

#include <string>

#include "host/users/user_store.h"

namespace quillmere::host {

namespace {
[[noreturn]] void Throw(sqlite3* database, const char* what) {
  throw UserStoreError(std::string(what) + ": " +
                       (database ? sqlite3_errmsg(database) : "out of memory"));
}
}  // namespace

SqliteStatement::SqliteStatement(sqlite3* database, const char* sql) {
  if (sqlite3_prepare_v3(database, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement_, nullptr) !=
      SQLITE_OK)
    Throw(database, "preparing a user store statement");
}

SqliteStatement::~SqliteStatement() {
  sqlite3_finalize(statement_);
}

StatementRun::StatementRun(SqliteStatement& statement) : statement_(statement.Get()) {}

StatementRun::~StatementRun() {
  sqlite3_reset(statement_);
  sqlite3_clear_bindings(statement_);
}

StatementRun& StatementRun::Bind(int index, std::string_view text) {
  if (sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                        SQLITE_TRANSIENT) != SQLITE_OK)
    Throw(sqlite3_db_handle(statement_), "binding a user store value");
  return *this;
}

StatementRun& StatementRun::Bind(int index, sqlite3_int64 value) {
  if (sqlite3_bind_int64(statement_, index, value) != SQLITE_OK)
    Throw(sqlite3_db_handle(statement_), "binding a user store value");
  return *this;
}

bool StatementRun::Step() {
  const int result = sqlite3_step(statement_);
  if (result == SQLITE_ROW) return true;
  if (result == SQLITE_DONE) return false;
  Throw(sqlite3_db_handle(statement_), "reading or writing the user store");
}

std::string StatementRun::Text(int column) const {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
  return text ? std::string(text, static_cast<size_t>(sqlite3_column_bytes(statement_, column)))
              : std::string();
}

sqlite3_int64 StatementRun::Int(int column) const {
  return sqlite3_column_int64(statement_, column);
}

SqliteDatabase::SqliteDatabase(const std::filesystem::path& file) {
  const int result =
      sqlite3_open_v2(file.c_str(), &database_,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (result != SQLITE_OK) {
    const std::string text = "opening the user store " + file.string() + ": " +
                             (database_ ? sqlite3_errmsg(database_) : "out of memory");
    sqlite3_close(database_);
    throw UserStoreError(text);
  }
  // Another process (an administrator's command) may write while the host runs.
  sqlite3_busy_timeout(database_, 5000);
}

SqliteDatabase::~SqliteDatabase() {
  statements_.clear();
  sqlite3_close(database_);
}

void SqliteDatabase::Execute(const char* sql) {
  if (sqlite3_exec(database_, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
    Fail("changing the user store");
}

SqliteStatement& SqliteDatabase::Prepared(const char* sql) {
  auto& statement = statements_[sql];
  if (!statement) statement = std::make_unique<SqliteStatement>(database_, sql);
  return *statement;
}

int SqliteDatabase::Changes() const {
  return sqlite3_changes(database_);
}

void SqliteDatabase::Fail(const char* what) const {
  Throw(database_, what);
}

WriteTransaction::WriteTransaction(SqliteDatabase& database) : database_(database) {
  database_.Execute("BEGIN IMMEDIATE");
}

WriteTransaction::~WriteTransaction() {
  if (!done_) {
    try {
      database_.Execute("ROLLBACK");
    } catch (const UserStoreError&) {
      // Nothing was committed; the connection ends the transaction when it closes.
    }
  }
}

void WriteTransaction::Commit() {
  database_.Execute("COMMIT");
  done_ = true;
}

}  // namespace quillmere::host
