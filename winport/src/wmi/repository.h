// The WMI repository: namespaces, classes and instances in one SQLite database under the
// machine prefix, shared by every process. Each process opens it once and keeps the
// connection; every write is one transaction, so a process that dies inside a write
// leaves the repository as it was before. Names compare without regard to case.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <winport/wide.h>

#include "class_cache.h"
#include "statement_cache.h"

namespace winport::wmi {

class Repository {
 public:
  // Reads that see one state of the repository, as one transaction; outside a scope each
  // read is a transaction of its own. Scopes nest. No write may be made inside one.
  class ReadScope {
   public:
    explicit ReadScope(Repository& repository);
    ~ReadScope();
    ReadScope(const ReadScope&) = delete;
    ReadScope& operator=(const ReadScope&) = delete;

    // A number that every change to classes or namespaces, by any process, moves on.
    HRESULT ClassGeneration(std::int64_t* generation);

   private:
    Repository& repository_;
    std::unique_lock<std::recursive_mutex> lock_;
    HRESULT began_;
    bool outermost_;
  };

  // The process's repository for the current machine prefix, opened on first use.
  // WBEM_E_CRITICAL_ERROR when the file cannot be opened or is not a repository.
  static HRESULT Open(std::shared_ptr<Repository>* repository);

  ~Repository();
  Repository(const Repository&) = delete;
  Repository& operator=(const Repository&) = delete;

  // A namespace by its full path ("root\cimv2\x"), or by its path below the namespace
  // `from` whose stored path is from_path, with its path as stored;
  // WBEM_E_INVALID_NAMESPACE when there is none.
  HRESULT FindNamespace(WideView path, NamespaceId* id, WideString* stored_path,
                        NamespaceId from = 0, WideView from_path = {});
  HRESULT ChildNamespaces(NamespaceId parent, std::vector<WideString>* names);
  // WBEM_E_ALREADY_EXISTS when create_only and the child exists.
  HRESULT CreateNamespace(NamespaceId parent, WideView name, bool create_only);
  // The child with everything below it; WBEM_E_NOT_FOUND when there is none.
  HRESULT DeleteNamespace(NamespaceId parent, WideView name);

  // WBEM_E_NOT_FOUND when the class is not stored.
  HRESULT ReadClass(NamespaceId ns, WideView name, std::string* body);
  // flags: WBEM_FLAG_CREATE_ONLY, WBEM_FLAG_UPDATE_ONLY or neither.
  HRESULT WriteClass(NamespaceId ns, WideView name, WideView superclass, const std::string& body,
                     LONG flags);
  // The class, the classes derived from it and all their instances.
  HRESULT DeleteClass(NamespaceId ns, WideView name);
  HRESULT AllClasses(NamespaceId ns, std::vector<std::string>* bodies);

  HRESULT ReadInstance(NamespaceId ns, WideView class_name, WideView key, std::string* body);
  HRESULT WriteInstance(NamespaceId ns, WideView class_name, WideView key, const std::string& body,
                        LONG flags);
  HRESULT DeleteInstance(NamespaceId ns, WideView class_name, WideView key);
  // The classes derived directly from the class.
  HRESULT Subclasses(NamespaceId ns, WideView name, std::vector<WideString>* names);
  // Hands each stored instance of the class (not of its subclasses) to each, in the order
  // they were created, until each fails. The bytes are valid only during the call.
  HRESULT Instances(NamespaceId ns, WideView class_name,
                    const std::function<HRESULT(std::string_view body)>& each);

  ClassCache& Classes() { return classes_; }

 private:
  class WriteTransaction;
  enum class Table { kClasses, kInstances };

  using ScopedDatabase = ScopedGeneric<NullInvalidTraits<sqlite3*, sqlite3_close>>;

  // Takes ownership of db.
  explicit Repository(sqlite3* db) : database_(db), db_(db), statements_(db) {}
  HRESULT CreateSchema();
  // sql has static storage duration (see StatementCache).
  HRESULT Prepare(const char* sql, std::optional<Statement>* statement);
  HRESULT Execute(const char* sql);
  // One class or instance: ?1 the namespace, ?2 the name, ?3 detail (the superclass of a
  // class, the key of an instance), ?4 the body.
  HRESULT WriteRow(Table table, NamespaceId ns, WideView name, WideView detail,
                   const std::string& body, LONG flags);
  // Runs the deletes, with ?1 ns and ?2 name, as one write of classes; WBEM_E_NOT_FOUND
  // when the last deleted nothing.
  HRESULT DeleteTree(std::span<const char* const> deletes, NamespaceId ns, WideView name);

  ScopedDatabase database_;  // closed after the statements are finalized
  sqlite3* db_;
  StatementCache statements_;
  ClassCache classes_;
};

// Called inside every write after the object is written and before the write is made
// durable; a test installs a function that kills the process there.
void SetWriteInterruptionForTesting(void (*interruption)());

}  // namespace winport::wmi
