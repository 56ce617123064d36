// The WMI repository: namespaces, classes and instances in one SQLite database under the
// machine prefix, shared by every process. Each process opens it once and keeps the
// connection; every write is one transaction, so a process that dies inside a write
// leaves the repository as it was before. Names compare without regard to case.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <winport/wide.h>

struct sqlite3;

namespace winport::wmi {

using NamespaceId = std::int64_t;

struct StoredInstance {
  WideString class_name;
  std::string body;
};

class Repository {
 public:
  // The process's repository for the current machine prefix, opened on first use.
  // WBEM_E_CRITICAL_ERROR when the file cannot be opened or is not a repository.
  static HRESULT Open(std::shared_ptr<Repository>* repository);

  ~Repository();
  Repository(const Repository&) = delete;
  Repository& operator=(const Repository&) = delete;

  // A namespace by its full path ("root\cimv2\x"), with its name as stored;
  // WBEM_E_INVALID_NAMESPACE when there is none.
  HRESULT FindNamespace(WideView path, NamespaceId* id, WideString* stored_path);
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
  // Instances of the class and, when deep, of the classes derived from it.
  HRESULT Instances(NamespaceId ns, WideView class_name, bool deep,
                    std::vector<StoredInstance>* instances);

 private:
  class Statement;
  class WriteTransaction;

  explicit Repository(sqlite3* db) : db_(db) {}
  HRESULT CreateSchema();
  HRESULT Prepare(const char* sql, std::unique_ptr<Statement>* statement);

  sqlite3* db_;
};

// Called inside every write after the object is written and before the write is made
// durable; a test installs a function that kills the process there.
void SetWriteInterruptionForTesting(void (*interruption)());

}  // namespace winport::wmi
