// PostgreSQL errors: every libpq failure becomes an Error record here. A
// server error keeps its SQLSTATE and primary message; a connection failure
// (which has no SQLSTATE in libpq) gets one from the shape of libpq's text;
// notices become warning records.
#include "platform/adodb/provider/postgresql/postgresql_backend.h"

namespace tarnel::adodb::provider {

namespace {

// libpq's messages end in a newline and may continue on indented lines.
std::string OneLine(std::string_view text) {
  std::string out;
  bool blank = false;
  for (char c : text) {
    if (c == '\n' || c == '\r' || c == '\t') {
      blank = true;
      continue;
    }
    if (blank && !out.empty() && out.back() != ' ') out.push_back(' ');
    blank = false;
    out.push_back(c);
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

bool Has(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

const char* ConnectionSqlState(std::string_view message) {
  if (Has(message, "password authentication failed")) return "28P01";
  if (Has(message, "no pg_hba.conf entry") || (Has(message, "role \"") && Has(message, "does not exist")) ||
      Has(message, "authentication failed")) {
    return "28000";
  }
  if (Has(message, "database \"") && Has(message, "does not exist")) return "3D000";
  if (Has(message, "server closed the connection") || Has(message, "terminating connection") ||
      Has(message, "no connection to the server") || Has(message, "connection to server was lost")) {
    return "08006";
  }
  return "08001";
}

}  // namespace

ErrorRecord PgResultError(const PGresult* result) {
  ErrorRecord r;
  r.number = E_FAIL;
  r.source = PostgresqlBackend::kSource;
  const char* state = result ? Pq().PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
  const char* primary = result ? Pq().PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
  const char* detail = result ? Pq().PQresultErrorField(result, PG_DIAG_MESSAGE_DETAIL) : nullptr;
  r.description = primary ? primary : OneLine(result ? Pq().PQresultErrorMessage(result) : "");
  if (detail && *detail) r.description += " (" + OneLine(detail) + ")";
  if (r.description.empty()) r.description = "The server reported an error without a message.";
  r.sqlState = state && *state ? state : ConnectionSqlState(r.description);
  return r;
}

ErrorRecord PgConnectionError(std::string_view message, const char* sqlState) {
  ErrorRecord r;
  r.number = E_FAIL;
  r.source = PostgresqlBackend::kSource;
  r.description = OneLine(message);
  if (r.description.empty()) r.description = "The connection to the server failed.";
  r.sqlState = sqlState ? sqlState : ConnectionSqlState(r.description);
  return r;
}

ErrorRecord PgStoppedRecord(bool timedOut) { return StoppedRecord(timedOut, PostgresqlBackend::kSource); }

ErrorRecord PgNoticeRecord(const PGresult* result) {
  ErrorRecord r = PgResultError(result);
  r.number = S_OK;
  return r;
}

}  // namespace tarnel::adodb::provider
