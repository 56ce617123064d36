// A thin owning layer over SQLite: the connection, prepared statements kept for the
// connection's lifetime, and write transactions. Failures throw UserStoreError.
#pragma once

#include <sqlite3.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace quillmere::host {

class SqliteStatement {
 public:
  SqliteStatement(sqlite3* database, const char* sql);
  ~SqliteStatement();
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;
  sqlite3_stmt* Get() const { return statement_; }

 private:
  sqlite3_stmt* statement_ = nullptr;
};

// One execution of a prepared statement; leaves it reset and unbound for the next.
class StatementRun {
 public:
  explicit StatementRun(SqliteStatement& statement);
  ~StatementRun();
  StatementRun(const StatementRun&) = delete;
  StatementRun& operator=(const StatementRun&) = delete;

  StatementRun& Bind(int index, std::string_view text);
  StatementRun& Bind(int index, sqlite3_int64 value);
  // True while there is a row to read.
  bool Step();
  std::string Text(int column) const;
  sqlite3_int64 Int(int column) const;

 private:
  sqlite3_stmt* statement_;
};

class SqliteDatabase {
 public:
  explicit SqliteDatabase(const std::filesystem::path& file);
  ~SqliteDatabase();
  SqliteDatabase(const SqliteDatabase&) = delete;
  SqliteDatabase& operator=(const SqliteDatabase&) = delete;

  void Execute(const char* sql);
  // Prepared once per connection; sql must be a literal (it is the cache's key).
  SqliteStatement& Prepared(const char* sql);
  int Changes() const;
  [[noreturn]] void Fail(const char* what) const;

 private:
  sqlite3* database_ = nullptr;
  std::map<const char*, std::unique_ptr<SqliteStatement>> statements_;
};

// BEGIN IMMEDIATE ... COMMIT; rolled back when left without Commit.
class WriteTransaction {
 public:
  explicit WriteTransaction(SqliteDatabase& database);
  ~WriteTransaction();
  WriteTransaction(const WriteTransaction&) = delete;
  WriteTransaction& operator=(const WriteTransaction&) = delete;
  void Commit();

 private:
  SqliteDatabase& database_;
  bool done_ = false;
};

}  // namespace quillmere::host
