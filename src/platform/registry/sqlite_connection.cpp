// The registry store's SQLite connection: opening the file, cached prepared
// statements, and the mapping of SQLite result codes to registry errors.
#include "platform/registry/sqlite_connection.h"

#include <sqlite3.h>

#include <cstring>

namespace tarnel::registry_detail {

Statement::~Statement() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

Statement& Statement::Bind(int index, std::int64_t value) {
  int rc = sqlite3_bind_int64(stmt_, index, value);
  if (rc != SQLITE_OK) connection_.Fail(rc, "preparing a query of");
  return *this;
}

Statement& Statement::Bind(int index, std::span<const std::uint8_t> blob) {
  // A zero-length blob still binds as a blob, not as NULL.
  static const std::uint8_t kEmpty = 0;
  const void* data = blob.empty() ? &kEmpty : blob.data();
  int rc = sqlite3_bind_blob64(stmt_, index, data, blob.size(), SQLITE_TRANSIENT);
  if (rc != SQLITE_OK) connection_.Fail(rc, "preparing a query of");
  return *this;
}

Statement& Statement::Bind(int index, const std::string& text) {
  int rc = sqlite3_bind_text64(stmt_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  if (rc != SQLITE_OK) connection_.Fail(rc, "preparing a query of");
  return *this;
}

bool Statement::Step() {
  int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  connection_.Fail(rc, sqlite3_stmt_readonly(stmt_) ? "reading" : "writing");
}

void Statement::Run() {
  while (Step()) {
  }
}

std::int64_t Statement::Int(int column) const { return sqlite3_column_int64(stmt_, column); }

std::vector<std::uint8_t> Statement::Blob(int column) const {
  const auto* p = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt_, column));
  int n = sqlite3_column_bytes(stmt_, column);
  if (p == nullptr || n <= 0) return {};
  return std::vector<std::uint8_t>(p, p + n);
}

std::string Statement::Text(int column) const {
  const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
  int n = sqlite3_column_bytes(stmt_, column);
  if (p == nullptr || n <= 0) return {};
  return std::string(p, static_cast<std::size_t>(n));
}

bool Statement::IsNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }

std::unique_ptr<SqliteConnection> SqliteConnection::Open(const std::string& path, int busyTimeoutMs) {
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  std::unique_ptr<SqliteConnection> connection(new SqliteConnection(db, path));
  if (rc != SQLITE_OK) {
    if (db == nullptr) throw RegistryError(RegErrorCode::kCantOpen, "registry store '" + path + "' cannot be opened: out of memory");
    connection->Fail(rc, "opening");
  }
  sqlite3_extended_result_codes(db, 1);
  sqlite3_busy_timeout(db, busyTimeoutMs);
  return connection;
}

SqliteConnection::~SqliteConnection() {
  for (auto& [sql, stmt] : statements_) sqlite3_finalize(stmt);
  sqlite3_close(db_);
}

bool SqliteConnection::ReadOnly() const { return sqlite3_db_readonly(db_, "main") == 1; }

void SqliteConnection::Exec(const char* sql) {
  int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) Fail(rc, "writing");
}

bool SqliteConnection::TryExec(const char* sql) noexcept {
  return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool SqliteConnection::InTransaction() const { return sqlite3_get_autocommit(db_) == 0; }

std::int64_t SqliteConnection::LastInsertRowId() const { return sqlite3_last_insert_rowid(db_); }

int SqliteConnection::Changes() const { return sqlite3_changes(db_); }

Statement SqliteConnection::Prepare(const char* sql) {
  auto it = statements_.find(sql);
  if (it == statements_.end()) {
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
    if (rc != SQLITE_OK) Fail(rc, "reading");
    it = statements_.emplace(sql, stmt).first;
  }
  return Statement(*this, it->second);
}

void SqliteConnection::Fail(int rc, const char* what) const {
  std::string detail = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
  std::string file = "registry store '" + path_ + "'";
  switch (rc & 0xFF) {
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
    case SQLITE_FORMAT:
      throw RegistryError(RegErrorCode::kBadDb, file + " is not a valid store: " + detail);
    case SQLITE_CANTOPEN: {
      int err = db_ != nullptr ? sqlite3_system_errno(db_) : 0;
      if (err != 0) detail += std::string(" (") + std::strerror(err) + ")";
      throw RegistryError(RegErrorCode::kCantOpen, file + " cannot be opened: " + detail);
    }
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      throw RegistryError(RegErrorCode::kAccessDenied, file + " cannot be written: " + detail);
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      throw RegistryError(RegErrorCode::kBusy,
                          file + " is busy: another process kept it locked too long (" + detail + ")");
    case SQLITE_TOOBIG:
      throw RegistryError(RegErrorCode::kInvalidParameter, file + ": value too large (" + detail + ")");
    case SQLITE_NOMEM:
      throw RegistryError(RegErrorCode::kIoFailed, file + ": out of memory while " + what + " it");
    default:
      throw RegistryError(RegErrorCode::kIoFailed,
                          file + ": " + detail + " while " + what + " it (SQLite code " + std::to_string(rc) + ")");
  }
}

}  // namespace tarnel::registry_detail
