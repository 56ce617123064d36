#include "host/users/user_store.h"

#include <system_error>
#include <utility>

#include <winport/machine.h>
#include <winport/owner_only.h>

#include "password_hash.h"
#include "sqlite_database.h"
#include "user_names.h"

namespace quillmere::host {

namespace {

constexpr int kSchemaVersion = 1;

constexpr const char* kCreateSchema =
    "CREATE TABLE users (name TEXT PRIMARY KEY NOT NULL, hash TEXT NOT NULL,"
    " groups INTEGER NOT NULL);"
    "PRAGMA user_version = 1;";
constexpr const char* kSelectVersion = "PRAGMA user_version";
constexpr const char* kSelectAny = "SELECT 1 FROM users LIMIT 1";
constexpr const char* kSelectHash = "SELECT hash FROM users WHERE name = ?1";
constexpr const char* kSelectGroups = "SELECT groups FROM users WHERE name = ?1";
constexpr const char* kSelectAll = "SELECT name, groups FROM users ORDER BY name";
constexpr const char* kInsert = "INSERT INTO users (name, hash, groups) VALUES (?1, ?2, ?3)";
constexpr const char* kUpdateHash = "UPDATE users SET hash = ?2 WHERE name = ?1";
constexpr const char* kUpdateGroups = "UPDATE users SET groups = ?2 WHERE name = ?1";
constexpr const char* kDelete = "DELETE FROM users WHERE name = ?1";

int SchemaVersion(SqliteDatabase& database) {
  StatementRun run(database.Prepared(kSelectVersion));
  run.Step();
  return static_cast<int>(run.Int(0));
}

void PrepareSchema(SqliteDatabase& database) {
  database.Execute("PRAGMA journal_mode = WAL");
  WriteTransaction transaction(database);
  const int version = SchemaVersion(database);
  if (version > kSchemaVersion)
    throw UserStoreError("the user store was written by a newer host (schema version " +
                         std::to_string(version) + ")");
  if (version == 0) database.Execute(kCreateSchema);
  transaction.Commit();
}

[[noreturn]] void ThrowUnknown(std::string_view name) {
  throw UserError(UserProblem::kUnknown, "no user " + std::string(name));
}

// One statement changing the named user's row, in its own transaction.
void UpdateUser(SqliteDatabase& database, const char* sql, std::string_view name, auto value) {
  WriteTransaction transaction(database);
  StatementRun(database.Prepared(sql)).Bind(1, name).Bind(2, value).Step();
  if (database.Changes() == 0) ThrowUnknown(name);
  transaction.Commit();
}

}  // namespace

UserStore::UserStore(std::filesystem::path database, HashingLimits hashing) : hashing_(hashing) {
  std::error_code ignored;
  winport::machine::CreatePrivateDirectories(database.parent_path(), ignored);
  // Password hashes: the owner's alone, and the database's journal files with them.
  winport::machine::PrepareDatabaseFile(database);
  database_ = std::make_unique<SqliteDatabase>(database);
  PrepareSchema(*database_);
  PrepareVerifyWithoutUser();
}

UserStore::~UserStore() = default;

bool UserStore::Empty() const {
  std::lock_guard lock(mutex_);
  return !StatementRun(database_->Prepared(kSelectAny)).Step();
}

void UserStore::Add(std::string_view name, std::string_view password, ULONG groups) {
  CheckUserName(name);
  CheckPassword(password);
  CheckGroups(groups);
  const std::string hash = Hash(password);
  std::lock_guard lock(mutex_);
  WriteTransaction transaction(*database_);
  if (StatementRun(database_->Prepared(kSelectGroups)).Bind(1, name).Step())
    throw UserError(UserProblem::kExists, "the user " + std::string(name) + " exists");
  StatementRun(database_->Prepared(kInsert))
      .Bind(1, name)
      .Bind(2, hash)
      .Bind(3, static_cast<sqlite3_int64>(groups))
      .Step();
  transaction.Commit();
}

void UserStore::SetPassword(std::string_view name, std::string_view password) {
  CheckPassword(password);
  const std::string hash = Hash(password);
  std::lock_guard lock(mutex_);
  UpdateUser(*database_, kUpdateHash, name, std::string_view(hash));
}

void UserStore::SetGroups(std::string_view name, ULONG groups) {
  CheckGroups(groups);
  std::lock_guard lock(mutex_);
  UpdateUser(*database_, kUpdateGroups, name, static_cast<sqlite3_int64>(groups));
}

void UserStore::Remove(std::string_view name) {
  std::lock_guard lock(mutex_);
  WriteTransaction transaction(*database_);
  StatementRun(database_->Prepared(kDelete)).Bind(1, name).Step();
  if (database_->Changes() == 0) ThrowUnknown(name);
  transaction.Commit();
}

std::optional<ULONG> UserStore::Groups(std::string_view name) const {
  std::lock_guard lock(mutex_);
  StatementRun run(database_->Prepared(kSelectGroups));
  if (!run.Bind(1, name).Step()) return std::nullopt;
  return static_cast<ULONG>(run.Int(0));
}

std::vector<UserEntry> UserStore::List() const {
  std::lock_guard lock(mutex_);
  std::vector<UserEntry> users;
  StatementRun run(database_->Prepared(kSelectAll));
  while (run.Step())
    users.push_back({run.Text(0), static_cast<ULONG>(run.Int(1))});
  return users;
}

std::optional<ULONG> UserStore::Verify(std::string_view name, std::string_view password) const {
  const std::optional<std::string> hash = StoredHash(name);
  bool right = false;
  hashing_.Run(
      [&] { right = hash ? VerifyPassword(*hash, password) : VerifyWithoutUser(password); });
  if (!right) return std::nullopt;
  // The groups as they are now: an administrator may have changed them meanwhile.
  return Groups(name);
}

std::string UserStore::Hash(std::string_view password) const {
  std::string hash;
  hashing_.Run([&] { hash = HashPassword(password); });
  return hash;
}

std::optional<std::string> UserStore::StoredHash(std::string_view name) const {
  std::lock_guard lock(mutex_);
  StatementRun run(database_->Prepared(kSelectHash));
  if (!run.Bind(1, name).Step()) return std::nullopt;
  return run.Text(0);
}

std::filesystem::path DefaultUserDatabase() {
  return winport::machine::Prefix() / "host" / "users.db";
}

}  // namespace quillmere::host
