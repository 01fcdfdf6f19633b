// SQLite errors: the table from SQLite's primary result codes to SQLState
// (and for SQLITE_ERROR, the common message shapes to the SQL classes they
// belong to), and the records for statements stopped by a cancel or a
// time-out. Every SQLite failure is turned into an Error record here.
#include <cstring>

#include "platform/adodb/provider/sqlite/sqlite_backend.h"

namespace tarnel::adodb::provider {

namespace {

const char* SqlStateFor(int extendedCode, std::string_view message) {
  switch (extendedCode & 0xFF) {
    case SQLITE_ERROR:
      if (message.find("syntax error") != std::string_view::npos ||
          message.find("incomplete input") != std::string_view::npos ||
          message.find("unrecognized token") != std::string_view::npos) {
        return "42000";
      }
      if (message.starts_with("no such table")) return "42S02";
      if (message.starts_with("no such column")) return "42S22";
      if (message.find("already exists") != std::string_view::npos) return "42S01";
      return "HY000";
    case SQLITE_CONSTRAINT:
      return "23000";
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return "HYT00";
    case SQLITE_READONLY:
      return "25006";
    case SQLITE_CANTOPEN:
    case SQLITE_NOTADB:
      return "08001";
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return "42501";
    case SQLITE_NOMEM:
      return "HY001";
    case SQLITE_TOOBIG:
      return "22001";
    case SQLITE_MISMATCH:
      return "HY105";
    case SQLITE_RANGE:
      return "07009";
    case SQLITE_INTERRUPT:
      return "HY008";
    case SQLITE_FULL:
    case SQLITE_IOERR:
    case SQLITE_CORRUPT:
      return "HY000";
    case SQLITE_MISUSE:
      return "HY010";
    default:
      return "HY000";
  }
}

}  // namespace

ErrorRecord SqliteErrorRecord(int extendedCode, std::string_view message) {
  ErrorRecord r;
  r.number = E_FAIL;
  r.description = message.empty() ? std::string(sqlite3_errstr(extendedCode)) : std::string(message);
  r.source = SqliteBackend::kSource;
  r.sqlState = SqlStateFor(extendedCode, r.description);
  r.nativeError = extendedCode;
  return r;
}

ErrorRecord SqliteStoppedRecord(bool timedOut) {
  ErrorRecord r = StoppedRecord(timedOut, SqliteBackend::kSource);
  r.nativeError = SQLITE_INTERRUPT;
  return r;
}

}  // namespace tarnel::adodb::provider
