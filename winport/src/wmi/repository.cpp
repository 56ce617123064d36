#include "repository.h"

#include "guarded_call.h"

#include <sqlite3.h>
#include <unistd.h>

#include <atomic>
#include <mutex>

#include <winport/machine.h>
#include <winport/owner_only.h>
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
CREATE TABLE IF NOT EXISTS class_generation(id INTEGER PRIMARY KEY CHECK(id = 1), value INTEGER);
CREATE INDEX IF NOT EXISTS classes_by_superclass ON classes(ns, superclass);
CREATE INDEX IF NOT EXISTS instances_by_class ON instances(ns, class);
INSERT OR IGNORE INTO namespaces(id, parent, name) VALUES (1, 0, 'root'), (2, 1, 'cimv2');
INSERT OR IGNORE INTO class_generation VALUES (1, 0);
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

// BEGIN IMMEDIATE on construction; rolled back unless Commit succeeds.
class Repository::WriteTransaction {
 public:
  explicit WriteTransaction(Repository* repository)
      : repository_(repository), result_(repository->Execute("BEGIN IMMEDIATE")) {}
  ~WriteTransaction() {
    if (open_) sqlite3_exec(repository_->db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  HRESULT Began() {
    open_ = SUCCEEDED(result_);
    return result_;
  }
  // Makes the write durable.
  HRESULT Commit() {
    if (void (*interruption)() = write_interruption.load()) interruption();
    std::uint32_t injected;
    if (winport::fault::ShouldFail("WmiRepositoryWrite", &injected))
      return static_cast<HRESULT>(injected);
    const HRESULT hr = repository_->Execute("COMMIT");
    if (SUCCEEDED(hr)) open_ = false;
    return hr;
  }
  // For a write that changed classes: moves the class generation on, then commits.
  HRESULT CommitClassChange() {
    const HRESULT hr = repository_->Execute("UPDATE class_generation SET value = value + 1");
    return SUCCEEDED(hr) ? Commit() : hr;
  }

 private:
  Repository* repository_;
  HRESULT result_;
  bool open_ = false;
};

Repository::ReadScope::ReadScope(Repository& repository)
    : repository_(repository),
      lock_(DatabaseLock()),
      began_(S_OK),
      outermost_(sqlite3_get_autocommit(repository.db_) != 0) {
  if (outermost_) began_ = repository_.Execute("BEGIN");
}

Repository::ReadScope::~ReadScope() {
  if (!outermost_ || FAILED(began_)) return;
  if (FAILED(repository_.Execute("COMMIT")))
    sqlite3_exec(repository_.db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

HRESULT Repository::ReadScope::ClassGeneration(std::int64_t* generation) {
  if (FAILED(began_)) return began_;
  std::optional<Statement> read;
  const HRESULT hr = repository_.Prepare("SELECT value FROM class_generation", &read);
  if (FAILED(hr)) return hr;
  const int rc = read->Step();
  if (rc != SQLITE_ROW) return rc == SQLITE_DONE ? HRESULT(WBEM_E_CRITICAL_ERROR) : FromSqlite(rc);
  *generation = read->Int(0);
  return S_OK;
}

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
  winport::machine::PrepareDatabaseFile(path);
  // Every use of the connection holds DatabaseLock, so SQLite need not lock it again.
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(
      path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
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

Repository::~Repository() = default;

HRESULT Repository::CreateSchema() {
  sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  int rc = sqlite3_exec(db_, "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL", nullptr,
                        nullptr, nullptr);
  if (rc != SQLITE_OK) return FromSqlite(rc);
  WriteTransaction transaction(this);
  HRESULT hr = transaction.Began();
  if (FAILED(hr)) return hr;
  rc = sqlite3_exec(db_, kSchema, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return FromSqlite(rc);
  return FromSqlite(sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr));
}

HRESULT Repository::Prepare(const char* sql, std::optional<Statement>* statement) {
  return FromSqlite(statements_.Lend(sql, statement));
}

HRESULT Repository::Execute(const char* sql) {
  std::optional<Statement> statement;
  const HRESULT hr = Prepare(sql, &statement);
  return SUCCEEDED(hr) ? statement->Run() : hr;
}

HRESULT Repository::FindNamespace(WideView path, NamespaceId* id, WideString* stored_path,
                                  NamespaceId from, WideView from_path) {
  const std::vector<WideString> parts = SplitNamespacePath(path);
  if (parts.empty()) return WBEM_E_INVALID_NAMESPACE;
  // One step is one statement, which reads one state by itself: a child opened from its
  // parent costs no transaction of its own.
  std::lock_guard lock(DatabaseLock());
  std::optional<ReadScope> read;
  if (parts.size() > 1) read.emplace(*this);
  std::optional<Statement> find;
  HRESULT hr = Prepare("SELECT id, name FROM namespaces WHERE parent = ?1 AND name = ?2", &find);
  if (FAILED(hr)) return hr;
  NamespaceId current = from;
  stored_path->assign(from_path);
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
  std::optional<Statement> list;
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
  WriteTransaction transaction(this);
  HRESULT hr = transaction.Began();
  std::optional<Statement> insert;
  if (SUCCEEDED(hr))
    hr = Prepare("INSERT OR IGNORE INTO namespaces(parent, name) VALUES (?1, ?2)", &insert);
  if (FAILED(hr)) return hr;
  hr = insert->Bind(1, parent).Bind(2, name).Run();
  if (FAILED(hr)) return hr;
  if (sqlite3_changes(db_) == 0) return create_only ? HRESULT(WBEM_E_ALREADY_EXISTS) : S_OK;
  return transaction.Commit();
}

HRESULT Repository::DeleteNamespace(NamespaceId parent, WideView name) {
  static constexpr const char* kDeletes[] = {
      WMI_NAMESPACE_TREE "DELETE FROM instances WHERE ns IN (SELECT id FROM subtree)",
      WMI_NAMESPACE_TREE "DELETE FROM classes WHERE ns IN (SELECT id FROM subtree)",
      WMI_NAMESPACE_TREE "DELETE FROM namespaces WHERE id IN (SELECT id FROM subtree)",
  };
  return DeleteTree(kDeletes, parent, name);
}

HRESULT Repository::ReadClass(NamespaceId ns, WideView name, std::string* body) {
  std::lock_guard lock(DatabaseLock());
  std::optional<Statement> read;
  HRESULT hr = Prepare("SELECT body FROM classes WHERE ns = ?1 AND name = ?2", &read);
  if (FAILED(hr)) return hr;
  const int rc = read->Bind(1, ns).Bind(2, name).Step();
  if (rc != SQLITE_ROW) return rc == SQLITE_DONE ? HRESULT(WBEM_E_NOT_FOUND) : FromSqlite(rc);
  *body = read->Blob(0);
  return S_OK;
}

HRESULT Repository::WriteClass(NamespaceId ns, WideView name, WideView superclass,
                               const std::string& body, LONG flags) {
  return WriteRow(Table::kClasses, ns, name, superclass, body, flags);
}

HRESULT Repository::DeleteClass(NamespaceId ns, WideView name) {
  static constexpr const char* kDeletes[] = {
      WMI_CLASS_TREE "DELETE FROM instances WHERE ns = ?1 AND class IN (SELECT name FROM tree)",
      WMI_CLASS_TREE "DELETE FROM classes WHERE ns = ?1 AND name IN (SELECT name FROM tree)",
  };
  return DeleteTree(kDeletes, ns, name);
}

HRESULT Repository::DeleteTree(std::span<const char* const> deletes, NamespaceId ns,
                               WideView name) {
  std::lock_guard lock(DatabaseLock());
  WriteTransaction transaction(this);
  HRESULT hr = transaction.Began();
  if (FAILED(hr)) return hr;
  for (const char* sql : deletes) {
    std::optional<Statement> remove;
    hr = Prepare(sql, &remove);
    if (SUCCEEDED(hr)) hr = remove->Bind(1, ns).Bind(2, name).Run();
    if (FAILED(hr)) return hr;
  }
  if (sqlite3_changes(db_) == 0) return WBEM_E_NOT_FOUND;
  return transaction.CommitClassChange();
}

HRESULT Repository::AllClasses(NamespaceId ns, std::vector<std::string>* bodies) {
  std::lock_guard lock(DatabaseLock());
  std::optional<Statement> list;
  HRESULT hr = Prepare("SELECT body FROM classes WHERE ns = ?1 ORDER BY rowid", &list);
  if (FAILED(hr)) return hr;
  list->Bind(1, ns);
  int rc;
  while ((rc = list->Step()) == SQLITE_ROW)
    bodies->emplace_back(list->Blob(0));
  return FromSqlite(rc);
}

HRESULT Repository::ReadInstance(NamespaceId ns, WideView class_name, WideView key,
                                 std::string* body) {
  std::lock_guard lock(DatabaseLock());
  std::optional<Statement> read;
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
  return WriteRow(Table::kInstances, ns, class_name, key, body, flags);
}

HRESULT Repository::WriteRow(Table table, NamespaceId ns, WideView name, WideView detail,
                             const std::string& body, LONG flags) {
  // For each table: create only, update only, and create or update.
  static constexpr const char* kWrites[][3] = {
      {"INSERT OR IGNORE INTO classes(ns, name, superclass, body) VALUES (?1, ?2, ?3, ?4)",
       "UPDATE classes SET superclass = ?3, body = ?4 WHERE ns = ?1 AND name = ?2",
       "INSERT INTO classes(ns, name, superclass, body) VALUES (?1, ?2, ?3, ?4) "
       "ON CONFLICT(ns, name) DO UPDATE SET superclass = ?3, body = ?4"},
      {"INSERT OR IGNORE INTO instances(ns, class, key, body) VALUES (?1, ?2, ?3, ?4)",
       "UPDATE instances SET body = ?4 WHERE ns = ?1 AND class = ?2 AND key = ?3",
       "INSERT INTO instances(ns, class, key, body) VALUES (?1, ?2, ?3, ?4) "
       "ON CONFLICT(ns, class, key) DO UPDATE SET body = ?4"},
  };
  const bool create_only = (flags & WBEM_FLAG_CREATE_ONLY) != 0;
  const int mode = create_only ? 0 : (flags & WBEM_FLAG_UPDATE_ONLY) ? 1 : 2;
  std::lock_guard lock(DatabaseLock());
  WriteTransaction transaction(this);
  HRESULT hr = transaction.Began();
  std::optional<Statement> write;
  if (SUCCEEDED(hr)) hr = Prepare(kWrites[static_cast<int>(table)][mode], &write);
  if (SUCCEEDED(hr)) hr = write->Bind(1, ns).Bind(2, name).Bind(3, detail).BindBlob(4, body).Run();
  if (FAILED(hr)) return hr;
  if (sqlite3_changes(db_) == 0) return create_only ? WBEM_E_ALREADY_EXISTS : WBEM_E_NOT_FOUND;
  return table == Table::kClasses ? transaction.CommitClassChange() : transaction.Commit();
}

HRESULT Repository::DeleteInstance(NamespaceId ns, WideView class_name, WideView key) {
  std::lock_guard lock(DatabaseLock());
  WriteTransaction transaction(this);
  HRESULT hr = transaction.Began();
  std::optional<Statement> remove;
  if (SUCCEEDED(hr))
    hr = Prepare("DELETE FROM instances WHERE ns = ?1 AND class = ?2 AND key = ?3", &remove);
  if (FAILED(hr)) return hr;
  hr = remove->Bind(1, ns).Bind(2, class_name).Bind(3, key).Run();
  if (FAILED(hr)) return hr;
  if (sqlite3_changes(db_) == 0) return WBEM_E_NOT_FOUND;
  return transaction.Commit();
}

HRESULT Repository::Subclasses(NamespaceId ns, WideView name, std::vector<WideString>* names) {
  std::lock_guard lock(DatabaseLock());
  std::optional<Statement> list;
  HRESULT hr = Prepare("SELECT name FROM classes WHERE ns = ?1 AND superclass = ?2", &list);
  if (FAILED(hr)) return hr;
  list->Bind(1, ns).Bind(2, name);
  int rc;
  while ((rc = list->Step()) == SQLITE_ROW)
    names->push_back(list->Text(0));
  return FromSqlite(rc);
}

HRESULT Repository::Instances(NamespaceId ns, WideView class_name,
                              const std::function<HRESULT(std::string_view body)>& each) {
  std::lock_guard lock(DatabaseLock());
  std::optional<Statement> list;
  HRESULT hr =
      Prepare("SELECT body FROM instances WHERE ns = ?1 AND class = ?2 ORDER BY rowid", &list);
  if (FAILED(hr)) return hr;
  list->Bind(1, ns).Bind(2, class_name);
  int rc;
  while ((rc = list->Step()) == SQLITE_ROW) {
    hr = each(list->Blob(0));
    if (FAILED(hr)) return hr;
  }
  return FromSqlite(rc);
}

}  // namespace winport::wmi
