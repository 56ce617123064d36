// Prepared statements kept for the life of a database connection. Preparing a statement
// costs more than running most of them, so each SQL text is prepared once, on first use,
// and then lent out: a lease resets its statement and clears the bindings when it ends.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <utility>

#include <winport/scoped_generic.h>
#include <winport/wide.h>

namespace winport::wmi {

// The WMI status for an SQLite result code; S_OK for SQLITE_OK, SQLITE_ROW and SQLITE_DONE.
HRESULT FromSqlite(int code);

// One use of a cached statement.
class Statement {
 public:
  explicit Statement(sqlite3_stmt* stmt) : stmt_(stmt) {}
  Statement(Statement&& other) noexcept : stmt_(std::exchange(other.stmt_, nullptr)) {}
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  ~Statement();

  Statement& Bind(int index, std::int64_t value);
  Statement& Bind(int index, WideView text);
  // bytes must stay where they are until the statement has run.
  Statement& BindBlob(int index, std::string_view bytes);

  // Ready to step again from the first row, with the same bindings.
  void Reset() { sqlite3_reset(stmt_); }
  // SQLITE_ROW, SQLITE_DONE or an error code.
  int Step() { return sqlite3_step(stmt_); }
  // Steps once; S_OK for a row or the end.
  HRESULT Run() { return FromSqlite(Step()); }

  std::int64_t Int(int column) { return sqlite3_column_int64(stmt_, column); }
  WideString Text(int column);
  // Valid until the next step or the end of the lease.
  std::string_view Blob(int column);

 private:
  sqlite3_stmt* stmt_;
};

class StatementCache {
 public:
  explicit StatementCache(sqlite3* db) : db_(db) {}

  // sql must have static storage duration: its address names the statement.
  // Returns SQLite's result code.
  int Lend(const char* sql, std::optional<Statement>* statement);

 private:
  using ScopedStatement = ScopedGeneric<NullInvalidTraits<sqlite3_stmt*, sqlite3_finalize>>;

  sqlite3* db_;
  std::unordered_map<const char*, ScopedStatement> statements_;
};

}  // namespace winport::wmi
