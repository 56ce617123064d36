#include "wmi/repository.h"

#include "wmi/guarded_call.h"

#include <sqlite3.h>
#include <unistd.h>

#include <atomic>
#include <mutex>

#include <winport/machine.h>
#include <winport/windows.h>

namespace winport::wmi {
namespace {

constexpr int kBusyTimeoutMs = 10000;

constexpr const char* kSchema = R"(
CREATE TABLE IF NOT EXISTS namespaces(
  id INTEGER PRIMARY KEY, parent INTEGER NOT NULL, name TEXT NOT NULL COLLATE NOCASE,
  UNIQUE(parent, name));
CREATE TABLE IF NOT EXISTS classes(
  ns INTEGER NOT NULL, name TEXT NOT NULL COLLATE NOCASE, superclass TEXT COLLATE NOCASE,
  body BLOB NOT NULL, PRIMARY KEY(ns, name));
CREATE TABLE IF NOT EXISTS instances(
  ns INTEGER NOT NULL, class TEXT NOT NULL COLLATE NOCASE, key TEXT NOT NULL COLLATE NOCASE,
  body BLOB NOT NULL, PRIMARY KEY(ns, class, key));
CREATE TABLE IF NOT EXISTS generation(id INTEGER PRIMARY KEY CHECK(id = 1), value INTEGER);
INSERT OR IGNORE INTO namespaces(id, parent, name) VALUES (1, 0, 'root'), (2, 1, 'cimv2');
INSERT OR IGNORE INTO generation VALUES (1, 0);
)";

// The class and every class derived from it, as the table "tree".
#define WMI_CLASS_TREE                                                                  \
  "WITH RECURSIVE tree(name) AS (SELECT name FROM classes WHERE ns = ?1 AND name = ?2 " \
  "UNION SELECT c.name FROM classes c JOIN tree t ON c.superclass = t.name WHERE c.ns = ?1) "

// The namespace and every namespace below it, as the table "subtree".
#define WMI_NAMESPACE_TREE                                                          \
  "WITH RECURSIVE subtree(id) AS (SELECT id FROM namespaces WHERE parent = ?1 AND " \
  "name = ?2 UNION SELECT n.id FROM namespaces n JOIN subtree s ON n.parent = s.id) "

std::atomic<void (*)()> write_interruption{nullptr};

HRESULT FromSqlite(int code) {
  switch (code & 0xff) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
      return S_OK;
    case SQLITE_NOMEM:
      return WBEM_E_OUT_OF_MEMORY;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return WBEM_E_SERVER_TOO_BUSY;
    case SQLITE_FULL:
      return WBEM_E_OUT_OF_DISK_SPACE;
    default:
      return WBEM_E_CRITICAL_ERROR;
  }
}

std::vector<WideString> SplitNamespacePath(WideView path) {
  std::vector<WideString> parts;
  WideString part;
  for (OLECHAR c : path) {
    if (c == u'\\' || c == u'/') {
      if (!part.empty()) parts.push_back(std::move(part));
      part.clear();
    } else {
      part.push_back(c);
    }
  }
  if (!part.empty()) parts.push_back(std::move(part));
  return parts;
}

// One connection per process: a forked child opens its own, as SQLite requires.
struct OpenRepository {
  std::mutex mutex;
  std::shared_ptr<Repository> repository;
  std::string path;
  pid_t pid = 0;
};

OpenRepository& TheOpenRepository() {
  static OpenRepository* open = new OpenRepository();  // outlives every static user
  return *open;
}

std::recursive_mutex& DatabaseLock() {
  static std::recursive_mutex* lock = new std::recursive_mutex();
  return *lock;
}

}  // namespace

class Repository::Statement {
 public:
  explicit Statement(sqlite3_stmt* stmt) : stmt_(stmt) {}
  ~Statement() { sqlite3_finalize(stmt_); }

  Statement& Bind(int index, std::int64_t value) {
    sqlite3_bind_int64(stmt_, index, value);
    return *this;
  }
  Statement& Bind(int index, WideView text) {
    const std::string utf8 = WideToUtf8(text);
    sqlite3_bind_text(stmt_, index, utf8.data(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Statement& BindBlob(int index, const std::string& bytes) {
    sqlite3_bind_blob(stmt_, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_STATIC);
    return *this;
  }
  void Reset() { sqlite3_reset(stmt_); }
  // SQLITE_ROW, SQLITE_DONE or an error code.
  int Step() { return sqlite3_step(stmt_); }
  HRESULT Run() {
    const int rc = Step();
    return rc == SQLITE_DONE || rc == SQLITE_ROW ? S_OK : FromSqlite(rc);
  }
  std::int64_t Int(int column) { return sqlite3_column_int64(stmt_, column); }
  WideString Text(int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return Utf8ToWide(text ? text : "");
  }
  std::string Blob(int column) {
    const auto* data = static_cast<const char*>(sqlite3_column_blob(stmt_, column));
    return std::string(data ? data : "",
                       static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)));
  }

 private:
  sqlite3_stmt* stmt_;
};

// BEGIN IMMEDIATE on construction; rolled back unless Commit succeeds.
class Repository::WriteTransaction {
 public:
  explicit WriteTransaction(sqlite3* db) : db_(db) {
    result_ = FromSqlite(sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr));
  }
  ~WriteTransaction() {
    if (open_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  HRESULT Began() {
    open_ = SUCCEEDED(result_);
    return result_;
  }
  // Marks the repository changed and makes the write durable.
  HRESULT Commit() {
    if (void (*interruption)() = write_interruption.load()) interruption();
    std::uint32_t injected;
    if (winport::fault::ShouldFail("WmiRepositoryWrite", &injected))
      return static_cast<HRESULT>(injected);
    int rc =
        sqlite3_exec(db_, "UPDATE generation SET value = value + 1", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) open_ = false;
    return FromSqlite(rc);
  }

 private:
  sqlite3* db_;
  HRESULT result_;
  bool open_ = false;
};

void SetWriteInterruptionForTesting(void (*interruption)()) {
  write_interruption.store(interruption);
}

HRESULT Repository::Open(std::shared_ptr<Repository>* repository) {
  OpenRepository& open = TheOpenRepository();
  std::lock_guard lock(open.mutex);
  std::string path;
  try {
    path = (winport::machine::WmiDirectory() / "repository.db").string();
  } catch (...) {
    return WBEM_E_CRITICAL_ERROR;
  }
  if (open.repository && open.path == path && open.pid == ::getpid()) {
    *repository = open.repository;
    return S_OK;
  }
  sqlite3* db = nullptr;
  int rc =
      sqlite3_open_v2(path.c_str(), &db,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_close(db);
    return rc == SQLITE_NOMEM ? WBEM_E_OUT_OF_MEMORY : WBEM_E_CRITICAL_ERROR;
  }
  std::shared_ptr<Repository> opened(new (std::nothrow) Repository(db));
  if (!opened) {
    sqlite3_close(db);
    return WBEM_E_OUT_OF_MEMORY;
  }
  const HRESULT hr = opened->CreateSchema();
  if (FAILED(hr)) return IsStatus(hr, WBEM_E_SERVER_TOO_BUSY) ? hr : HRESULT(WBEM_E_CRITICAL_ERROR);
  open.repository = opened;
  open.path = path;
  open.pid = ::getpid();
  *repository = std::move(opened);
  return S_OK;
}

Repository::~Repository() {
  sqlite3_close(db_);
}

HRESULT Repository::CreateSchema() {
  sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  int rc = sqlite3_exec(db_, "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL", nullptr,
                        nullptr, nullptr);
  if (rc != SQLITE_OK) return FromSqlite(rc);
  WriteTransaction transaction(db_);
  HRESULT hr = transaction.Began();
  if (FAILED(hr)) return hr;
  rc = sqlite3_exec(db_, kSchema, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return FromSqlite(rc);
  return FromSqlite(sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr));
}

HRESULT Repository::Prepare(const char* sql, std::unique_ptr<Statement>* statement) {
  sqlite3_stmt* stmt = nullptr;
  const int rc = sqlite3_prepare_v2(db_, sql, -1, &stmt, nullptr);
  if (rc != SQLITE_OK) return FromSqlite(rc);
  statement->reset(new Statement(stmt));
  return S_OK;
}

HRESULT Repository::FindNamespace(WideView path, NamespaceId* id, WideString* stored_path) {
  std::lock_guard lock(DatabaseLock());
  const std::vector<WideString> parts = SplitNamespacePath(path);
  if (parts.empty()) return WBEM_E_INVALID_NAMESPACE;
  std::unique_ptr<Statement> find;
  HRESULT hr = Prepare("SELECT id, name FROM namespaces WHERE parent = ?1 AND name = ?2", &find);
  if (FAILED(hr)) return hr;
  NamespaceId current = 0;
  stored_path->clear();
  for (const WideString& part : parts) {
    find->Reset();
    find->Bind(1, current).Bind(2, part);
    const int rc = find->Step();
    if (rc != SQLITE_ROW)
      return rc == SQLITE_DONE ? HRESULT(WBEM_E_INVALID_NAMESPACE) : FromSqlite(rc);
    current = find->Int(0);
    if (!stored_path->empty()) stored_path->push_back(u'\\');
    *stored_path += find->Text(1);
  }
  *id = current;
  return S_OK;
}

HRESULT Repository::ChildNamespaces(NamespaceId parent, std::vector<WideString>* names) {
  std::lock_guard lock(DatabaseLock());
  std::unique_ptr<Statement> list;
  HRESULT hr = Prepare("SELECT name FROM namespaces WHERE parent = ?1 ORDER BY id", &list);
  if (FAILED(hr)) return hr;
  list->Bind(1, parent);
  int rc;
  while ((rc = list->Step()) == SQLITE_ROW)
    names->push_back(list->Text(0));
  return FromSqlite(rc);
}

HRESULT Repository::CreateNamespace(NamespaceId parent, WideView name, bool create_only) {
  std::lock_guard lock(DatabaseLock());
  WriteTransaction transaction(db_);
  HRESULT hr = transaction.Began();
  std::unique_ptr<Statement> insert;
  if (SUCCEEDED(hr))
    hr = Prepare("INSERT OR IGNORE INTO namespaces(parent, name) VALUES (?1, ?2)", &insert);
  if (FAILED(hr)) return hr;
  hr = insert->Bind(1, parent).Bind(2, name).Run();
  if (FAILED(hr)) return hr;
  if (sqlite3_changes(db_) == 0) return create_only ? HRESULT(WBEM_E_ALREADY_EXISTS) : S_OK;
  return transaction.Commit();
}

HRESULT Repository::DeleteNamespace(NamespaceId parent, WideView name) {
  std::lock_guard lock(DatabaseLock());
  WriteTransaction transaction(db_);
  HRESULT hr = transaction.Began();
  if (FAILED(hr)) return hr;
  static constexpr const char* kDeletes[] = {
      WMI_NAMESPACE_TREE "DELETE FROM instances WHERE ns IN (SELECT id FROM subtree)",
      WMI_NAMESPACE_TREE "DELETE FROM classes WHERE ns IN (SELECT id FROM subtree)",
      WMI_NAMESPACE_TREE "DELETE FROM namespaces WHERE id IN (SELECT id FROM subtree)",
  };
  for (const char* sql : kDeletes) {
    std::unique_ptr<Statement> remove;
    hr = Prepare(sql, &remove);
    if (SUCCEEDED(hr)) hr = remove->Bind(1, parent).Bind(2, name).Run();
    if (FAILED(hr)) return hr;
  }
  if (sqlite3_changes(db_) == 0) return WBEM_E_NOT_FOUND;
  return transaction.Commit();
}

HRESULT Repository::ReadClass(NamespaceId ns, WideView name, std::string* body) {
  std::lock_guard lock(DatabaseLock());
  std::unique_ptr<Statement> read;
  HRESULT hr = Prepare("SELECT body FROM classes WHERE ns = ?1 AND name = ?2", &read);
  if (FAILED(hr)) return hr;
  const int rc = read->Bind(1, ns).Bind(2, name).Step();
  if (rc != SQLITE_ROW) return rc == SQLITE_DONE ? HRESULT(WBEM_E_NOT_FOUND) : FromSqlite(rc);
  *body = read->Blob(0);
  return S_OK;
}

HRESULT Repository::WriteClass(NamespaceId ns, WideView name, WideView superclass,
                               const std::string& body, LONG flags) {
  std::lock_guard lock(DatabaseLock());
  WriteTransaction transaction(db_);
  HRESULT hr = transaction.Began();
  std::unique_ptr<Statement> write;
  if (SUCCEEDED(hr)) {
    if (flags & WBEM_FLAG_CREATE_ONLY) {
      hr = Prepare(
          "INSERT OR IGNORE INTO classes(ns, name, superclass, body) "
          "VALUES (?1, ?2, ?3, ?4)",
          &write);
    } else if (flags & WBEM_FLAG_UPDATE_ONLY) {
      hr = Prepare("UPDATE classes SET superclass = ?3, body = ?4 WHERE ns = ?1 AND name = ?2",
                   &write);
    } else {
      hr = Prepare(
          "INSERT INTO classes(ns, name, superclass, body) VALUES (?1, ?2, ?3, ?4) "
          "ON CONFLICT(ns, name) DO UPDATE SET superclass = ?3, body = ?4",
          &write);
    }
  }
  if (FAILED(hr)) return hr;
  write->Bind(1, ns).Bind(2, name).BindBlob(4, body);
  if (!superclass.empty()) write->Bind(3, superclass);
  hr = write->Run();
  if (FAILED(hr)) return hr;
  if (sqlite3_changes(db_) == 0)
    return (flags & WBEM_FLAG_CREATE_ONLY) ? WBEM_E_ALREADY_EXISTS : WBEM_E_NOT_FOUND;
  return transaction.Commit();
}

HRESULT Repository::DeleteClass(NamespaceId ns, WideView name) {
  std::lock_guard lock(DatabaseLock());
  WriteTransaction transaction(db_);
  HRESULT hr = transaction.Began();
  if (FAILED(hr)) return hr;
  static constexpr const char* kDeletes[] = {
      WMI_CLASS_TREE "DELETE FROM instances WHERE ns = ?1 AND class IN (SELECT name FROM tree)",
      WMI_CLASS_TREE "DELETE FROM classes WHERE ns = ?1 AND name IN (SELECT name FROM tree)",
  };
  for (const char* sql : kDeletes) {
    std::unique_ptr<Statement> remove;
    hr = Prepare(sql, &remove);
    if (SUCCEEDED(hr)) hr = remove->Bind(1, ns).Bind(2, name).Run();
    if (FAILED(hr)) return hr;
  }
  if (sqlite3_changes(db_) == 0) return WBEM_E_NOT_FOUND;
  return transaction.Commit();
}

HRESULT Repository::AllClasses(NamespaceId ns, std::vector<std::string>* bodies) {
  std::lock_guard lock(DatabaseLock());
  std::unique_ptr<Statement> list;
  HRESULT hr = Prepare("SELECT body FROM classes WHERE ns = ?1 ORDER BY rowid", &list);
  if (FAILED(hr)) return hr;
  list->Bind(1, ns);
  int rc;
  while ((rc = list->Step()) == SQLITE_ROW)
    bodies->push_back(list->Blob(0));
  return FromSqlite(rc);
}

HRESULT Repository::ReadInstance(NamespaceId ns, WideView class_name, WideView key,
                                 std::string* body) {
  std::lock_guard lock(DatabaseLock());
  std::unique_ptr<Statement> read;
  HRESULT hr =
      Prepare("SELECT body FROM instances WHERE ns = ?1 AND class = ?2 AND key = ?3", &read);
  if (FAILED(hr)) return hr;
  const int rc = read->Bind(1, ns).Bind(2, class_name).Bind(3, key).Step();
  if (rc != SQLITE_ROW) return rc == SQLITE_DONE ? HRESULT(WBEM_E_NOT_FOUND) : FromSqlite(rc);
  *body = read->Blob(0);
  return S_OK;
}

HRESULT Repository::WriteInstance(NamespaceId ns, WideView class_name, WideView key,
                                  const std::string& body, LONG flags) {
  std::lock_guard lock(DatabaseLock());
  WriteTransaction transaction(db_);
  HRESULT hr = transaction.Began();
  std::unique_ptr<Statement> write;
  if (SUCCEEDED(hr)) {
    if (flags & WBEM_FLAG_CREATE_ONLY) {
      hr = Prepare("INSERT OR IGNORE INTO instances(ns, class, key, body) VALUES (?1, ?2, ?3, ?4)",
                   &write);
    } else if (flags & WBEM_FLAG_UPDATE_ONLY) {
      hr = Prepare("UPDATE instances SET body = ?4 WHERE ns = ?1 AND class = ?2 AND key = ?3",
                   &write);
    } else {
      hr = Prepare(
          "INSERT INTO instances(ns, class, key, body) VALUES (?1, ?2, ?3, ?4) "
          "ON CONFLICT(ns, class, key) DO UPDATE SET body = ?4",
          &write);
    }
  }
  if (FAILED(hr)) return hr;
  hr = write->Bind(1, ns).Bind(2, class_name).Bind(3, key).BindBlob(4, body).Run();
  if (FAILED(hr)) return hr;
  if (sqlite3_changes(db_) == 0)
    return (flags & WBEM_FLAG_CREATE_ONLY) ? WBEM_E_ALREADY_EXISTS : WBEM_E_NOT_FOUND;
  return transaction.Commit();
}

HRESULT Repository::DeleteInstance(NamespaceId ns, WideView class_name, WideView key) {
  std::lock_guard lock(DatabaseLock());
  WriteTransaction transaction(db_);
  HRESULT hr = transaction.Began();
  std::unique_ptr<Statement> remove;
  if (SUCCEEDED(hr))
    hr = Prepare("DELETE FROM instances WHERE ns = ?1 AND class = ?2 AND key = ?3", &remove);
  if (FAILED(hr)) return hr;
  hr = remove->Bind(1, ns).Bind(2, class_name).Bind(3, key).Run();
  if (FAILED(hr)) return hr;
  if (sqlite3_changes(db_) == 0) return WBEM_E_NOT_FOUND;
  return transaction.Commit();
}

HRESULT Repository::Instances(NamespaceId ns, WideView class_name, bool deep,
                              std::vector<StoredInstance>* instances) {
  std::lock_guard lock(DatabaseLock());
  std::unique_ptr<Statement> list;
  HRESULT hr = Prepare(deep ? WMI_CLASS_TREE
                           "SELECT class, body FROM instances WHERE ns = ?1 AND class IN "
                           "(SELECT name FROM tree) ORDER BY rowid"
                            : "SELECT class, body FROM instances WHERE ns = ?1 AND class = ?2 "
                              "ORDER BY rowid",
                       &list);
  if (FAILED(hr)) return hr;
  list->Bind(1, ns).Bind(2, class_name);
  int rc;
  while ((rc = list->Step()) == SQLITE_ROW)
    instances->push_back(StoredInstance{list->Text(0), list->Blob(1)});
  return FromSqlite(rc);
}

}  // namespace winport::wmi
