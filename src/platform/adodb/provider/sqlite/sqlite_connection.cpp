// The SQLite provider's connection: reading its connection-string settings,
// opening the database file on the worker (refusing to create a missing
// file unless asked, checking that the file is a database), closing it, and
// the busy and progress handlers through which a time-out or a cancel stops
// a waiting or running statement.
#include <sys/stat.h>

#include <thread>

#include "platform/adodb/provider/settings.h"
#include "platform/adodb/provider/sqlite/sqlite_backend.h"

namespace tarnel::adodb::provider {

std::unique_ptr<Backend> CreateSqliteBackend(const ConnectionString& cs, const ConnectOptions& options,
                                             Status* status) {
  *status = CheckKeywords(cs, {"Data Source", "DataSource", "Database", "Create", "User ID", "UID", "Password", "PWD"},
                          "SQLite");
  if (!status->ok()) return nullptr;
  SqliteSettings settings;
  if (const std::string* path = cs.FindAny({"Data Source", "DataSource", "Database"})) settings.path = *path;
  *status = ReadReadOnlyMode(cs, options.mode, &settings.readOnly);
  if (!status->ok()) return nullptr;
  if (const std::string* create = cs.Find("Create")) {
    const std::optional<bool> value = ParseBoolean(*create);
    if (!value) {
      *status = Status::Ado(kAdoInvalidArgument, "The value of Create must be True or False, not '" + *create + "'.");
      return nullptr;
    }
    settings.create = *value;
  }
  *status = ReadConnectTimeout(cs, options.connectTimeout, &settings.connectTimeout);
  if (!status->ok()) return nullptr;
  return std::make_unique<SqliteBackend>(std::move(settings));
}

Status SqliteBackend::Connect(const JobControl& control) {
  if (settings_.path.empty()) {
    ErrorRecord r = SqliteErrorRecord(SQLITE_CANTOPEN, "");
    r.description = "No database was given: the connection string needs Data Source=PATH (or :memory:).";
    return Status::FromRecord(std::move(r));
  }
  // An in-memory database or a URI (which carries its own mode) is not a
  // file that has to exist already.
  const bool notAFile = settings_.path == ":memory:" || settings_.path.starts_with("file:");
  const bool mayCreate = settings_.create || notAFile;
  struct stat st {};
  if (!mayCreate && ::stat(settings_.path.c_str(), &st) != 0) {
    ErrorRecord r = SqliteErrorRecord(SQLITE_CANTOPEN, "");
    r.description = "unable to open database file: '" + settings_.path +
                    "' does not exist (Create=True in the connection string creates it)";
    return Status::FromRecord(std::move(r));
  }
  int flags = SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI | SQLITE_OPEN_EXRESCODE;
  flags |= settings_.readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
  if (mayCreate && !settings_.readOnly) flags |= SQLITE_OPEN_CREATE;
  sqlite3* db = nullptr;
  const int rc = sqlite3_open_v2(settings_.path.c_str(), &db, flags, nullptr);
  if (rc != SQLITE_OK) {
    ErrorRecord r = SqliteErrorRecord(db ? sqlite3_extended_errcode(db) : rc, db ? sqlite3_errmsg(db) : "");
    r.description += ": '" + settings_.path + "'";
    sqlite3_close_v2(db);
    return Status::FromRecord(std::move(r));
  }
  db_ = db;
  sqlite3_extended_result_codes(db_, 1);
  sqlite3_busy_handler(db_, &SqliteBackend::OnBusy, this);
  sqlite3_progress_handler(db_, 1000, &SqliteBackend::OnProgress, this);
  // Reading the schema now makes a file that is not a database (or cannot
  // be read) fail in Open rather than at the first command.
  CommandRequest probe;
  probe.text = "SELECT count(*) FROM sqlite_master";
  probe.noRecords = true;
  probe.timeout = settings_.connectTimeout;
  Result r;
  Execute(probe, control, r);
  if (!r.status.ok()) {
    Disconnect();
    return std::move(r.status);
  }
  return {};
}

void SqliteBackend::Disconnect() {
  if (!db_) return;
  // Statements are finalized as they finish, so close_v2 frees everything.
  sqlite3_close_v2(db_);
  db_ = nullptr;
}

void SqliteBackend::BeginWatch(const JobControl& control, std::chrono::milliseconds timeout) {
  watch_ = Watch{};
  watch_.control = &control;
  if (timeout.count() > 0) watch_.deadline = Clock::now() + timeout;
}

bool SqliteBackend::ShouldStop() {
  if (watch_.control && watch_.control->Cancelled()) {
    watch_.cancelled = true;
    return true;
  }
  if (Clock::now() >= watch_.deadline) {
    watch_.timedOut = true;
    return true;
  }
  return false;
}

int SqliteBackend::OnBusy(void* self, int attempt) {
  auto* backend = static_cast<SqliteBackend*>(self);
  // Give up at the deadline: SQLite then reports "database is locked".
  if (backend->watch_.control && backend->watch_.control->Cancelled()) {
    backend->watch_.cancelled = true;
    return 0;
  }
  if (Clock::now() >= backend->watch_.deadline) return 0;
  std::this_thread::sleep_for(std::chrono::milliseconds(attempt < 10 ? 1 : 10));
  return 1;
}

int SqliteBackend::OnProgress(void* self) { return static_cast<SqliteBackend*>(self)->ShouldStop() ? 1 : 0; }

ErrorRecord SqliteBackend::Error(int rc) const {
  if (watch_.cancelled) return SqliteStoppedRecord(false);
  if ((rc & 0xFF) == SQLITE_INTERRUPT && watch_.timedOut) return SqliteStoppedRecord(true);
  if (db_ && sqlite3_extended_errcode(db_) != SQLITE_OK && (sqlite3_extended_errcode(db_) & 0xFF) == (rc & 0xFF)) {
    return SqliteErrorRecord(sqlite3_extended_errcode(db_), sqlite3_errmsg(db_));
  }
  return SqliteErrorRecord(rc, "");
}

}  // namespace tarnel::adodb::provider
