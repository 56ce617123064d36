// The host's users: names, Argon2id password hashes and permission bits, kept in an
// SQLite database in the machine prefix.
#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <winport/windows.h>

#include "host/users/hashing_pool.h"

namespace quillmere::host {

struct UserEntry {
  std::string name;
  ULONG groups;
};

// Why a change to the users was refused.
enum class UserProblem { kInvalidName, kInvalidPassword, kInvalidGroups, kExists, kUnknown };

class UserError : public std::runtime_error {
 public:
  UserError(UserProblem problem, const std::string& text)
      : std::runtime_error(text), problem_(problem) {}
  UserProblem problem() const { return problem_; }

 private:
  UserProblem problem_;
};

// The database itself failed (unreadable, written by a newer host, disk full...).
class UserStoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class SqliteDatabase;

// Safe to use from many threads: database access is serialised; password hashing runs in
// the store's own pool, and a call that would hash while the pool is full throws
// HashingBusy.
class UserStore {
 public:
  explicit UserStore(std::filesystem::path database, HashingLimits hashing = {});
  ~UserStore();
  UserStore(const UserStore&) = delete;
  UserStore& operator=(const UserStore&) = delete;

  bool Empty() const;
  void Add(std::string_view name, std::string_view password, ULONG groups);
  void SetPassword(std::string_view name, std::string_view password);
  void SetGroups(std::string_view name, ULONG groups);
  void Remove(std::string_view name);
  std::optional<ULONG> Groups(std::string_view name) const;
  // Sorted by name.
  std::vector<UserEntry> List() const;
  // The user's groups when the password is right. Unknown names cost as much as known
  // ones, so the answer's timing does not tell which names exist.
  std::optional<ULONG> Verify(std::string_view name, std::string_view password) const;

 private:
  std::optional<std::string> StoredHash(std::string_view name) const;

  std::string Hash(std::string_view password) const;

  mutable std::mutex mutex_;
  std::unique_ptr<SqliteDatabase> database_;
  mutable HashingPool hashing_;
};

// <prefix>/host/users.db
std::filesystem::path DefaultUserDatabase();

// A password for a user the host creates itself (the first administrator).
std::string RandomPassword();

}  // namespace quillmere::host
