#include "statement_cache.h"

#include <new>

#include <winport/windows_api.h>

namespace winport::wmi {

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

Statement::~Statement() {
  if (stmt_ == nullptr) return;
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

Statement& Statement::Bind(int index, std::int64_t value) {
  sqlite3_bind_int64(stmt_, index, value);
  return *this;
}

Statement& Statement::Bind(int index, WideView text) {
  sqlite3_bind_text16(stmt_, index, text.data(), static_cast<int>(text.size() * sizeof(OLECHAR)),
                      SQLITE_TRANSIENT);
  return *this;
}

Statement& Statement::BindBlob(int index, std::string_view bytes) {
  sqlite3_bind_blob(stmt_, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_STATIC);
  return *this;
}

WideString Statement::Text(int column) {
  const auto* text = static_cast<const OLECHAR*>(sqlite3_column_text16(stmt_, column));
  if (text == nullptr) return WideString();
  return WideString(
      text, static_cast<std::size_t>(sqlite3_column_bytes16(stmt_, column)) / sizeof(OLECHAR));
}

std::string_view Statement::Blob(int column) {
  const auto* data = static_cast<const char*>(sqlite3_column_blob(stmt_, column));
  if (data == nullptr) return std::string_view();
  return std::string_view(data, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)));
}

int StatementCache::Lend(const char* sql, std::optional<Statement>* statement) {
  auto found = statements_.find(sql);
  if (found == statements_.end()) {
    sqlite3_stmt* stmt = nullptr;
    const int rc = sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
    if (rc != SQLITE_OK) return rc;
    ScopedStatement owned(stmt);
    try {
      found = statements_.emplace(sql, std::move(owned)).first;
    } catch (const std::bad_alloc&) {
      return SQLITE_NOMEM;
    }
  }
  statement->emplace(found->second.Get());
  return SQLITE_OK;
}

}  // namespace winport::wmi
