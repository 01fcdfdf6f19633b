// The SQLite provider's statements: a command text is prepared one statement
// at a time, its `?` parameters bound in order across the statements, each
// statement stepped to the end with its rows copied into a client store,
// and its time-out and cancellation watched by the busy and progress
// handlers. The first failing statement ends the command with its error.
#include <climits>
#include <memory>

#include "platform/adodb/provider/sql_text.h"
#include "platform/adodb/provider/sqlite/sqlite_backend.h"

namespace tarnel::adodb::provider {

namespace {

struct Finalizer {
  void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using StatementPtr = std::unique_ptr<sqlite3_stmt, Finalizer>;

ErrorRecord CountMismatch(std::size_t needed, std::size_t given, bool tooMany) {
  ErrorRecord r = SqliteErrorRecord(SQLITE_RANGE, "");
  r.sqlState = "07002";
  r.description = tooMany ? "The command has " + std::to_string(needed) + " parameter placeholders but " +
                                std::to_string(given) + " parameter values were given."
                          : "The command needs at least " + std::to_string(needed) +
                                " parameter values but only " + std::to_string(given) + " were given.";
  return r;
}

bool IsDataChange(sqlite3_stmt* stmt) {
  if (sqlite3_stmt_readonly(stmt)) return false;
  const char* sql = sqlite3_sql(stmt);
  if (!sql) return false;
  for (const char* word : {"INSERT", "UPDATE", "DELETE", "REPLACE", "WITH"}) {
    if (StartsWithKeyword(sql, word)) return true;
  }
  return false;
}

}  // namespace

void SqliteBackend::Execute(const CommandRequest& command, const JobControl& control, Result& result) {
  const std::vector<const Parameter*> bindable = BindableParameters(command, result);
  if (command.type == adCmdStoredProc) {
    ErrorRecord r = SqliteErrorRecord(SQLITE_ERROR, "");
    r.sqlState = "IM001";
    r.nativeError = 0;
    r.description = "SQLite has no stored procedures: '" + command.text +
                    "' cannot be called as one (use a command of type adCmdText).";
    result.status = Status::FromRecord(std::move(r));
    return;
  }
  const std::string sql = command.type == adCmdTable ? "SELECT * FROM " + command.text : command.text;
  BeginWatch(control, command.timeout);
  const char* tail = sql.c_str();
  const char* const end = tail + sql.size();
  std::size_t next = 0;
  bool ranAny = false;
  while (tail < end && result.status.ok()) {
    sqlite3_stmt* raw = nullptr;
    const int rc = sqlite3_prepare_v3(db_, tail, static_cast<int>(end - tail), 0, &raw, &tail);
    StatementPtr stmt(raw);
    if (rc != SQLITE_OK) {
      result.status = Status::FromRecord(Error(rc));
      break;
    }
    if (!stmt) continue;  // blanks or a comment
    ranAny = true;
    result.status = RunStatement(stmt.get(), command, bindable, next, result);
  }
  EndWatch();
  if (result.status.ok() && !ranAny) {
    ErrorRecord r = SqliteErrorRecord(SQLITE_ERROR, "The command text is empty.");
    r.sqlState = "42000";
    result.status = Status::FromRecord(std::move(r));
  }
  if (result.status.ok() && next < bindable.size()) {
    result.status = Status::FromRecord(CountMismatch(next, bindable.size(), true));
  }
  if (!result.status.ok()) {
    result.sets.clear();
    result.recordsAffected = -1;
  }
}

Status SqliteBackend::RunStatement(sqlite3_stmt* stmt, const CommandRequest& command,
                                   const std::vector<const Parameter*>& bindable, std::size_t& next,
                                   Result& result) {
  const auto count = static_cast<std::size_t>(sqlite3_bind_parameter_count(stmt));
  if (next + count > bindable.size()) return Status::FromRecord(CountMismatch(next + count, bindable.size(), false));
  for (std::size_t i = 0; i < count; ++i) {
    const int rc = BindSqliteParameter(stmt, static_cast<int>(i + 1), *bindable[next + i]);
    if (rc != SQLITE_OK) {
      ErrorRecord r = SqliteErrorRecord(rc, "");
      r.description = "The value of parameter " + std::to_string(next + i + 1) + " cannot be bound: " +
                      sqlite3_errstr(rc) + ".";
      return Status::FromRecord(std::move(r));
    }
  }
  next += count;

  const int columns = sqlite3_column_count(stmt);
  const bool keepRows = columns > 0 && !command.noRecords;
  const bool readOnly = sqlite3_stmt_readonly(stmt) != 0;
  const std::size_t limit = command.maxRecords > 0 ? static_cast<std::size_t>(command.maxRecords) : SIZE_MAX;
  std::shared_ptr<RowStore> store;
  std::vector<SqliteCellRule> rules;
  const auto describe = [&](bool haveRow) {
    std::vector<ColumnInfo> info;
    info.reserve(columns);
    for (int c = 0; c < columns; ++c) {
      info.push_back(DescribeSqliteColumn(stmt, c, haveRow));
      rules.push_back(SqliteRuleFor(info.back().type));
    }
    store = std::make_shared<RowStore>(std::move(info), bufferCache_);
  };
  while (true) {
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_DONE) break;
    if (rc != SQLITE_ROW) return Status::FromRecord(Error(rc));
    if (!keepRows) continue;
    if (!store) describe(true);
    if (store->RowCount() >= limit) {
      if (readOnly) break;  // the remaining rows are not wanted
      continue;             // a changing statement still runs to its end
    }
    StoreSqliteRow(stmt, rules, *store);
  }
  if (keepRows && !store) describe(false);
  ResultSet set;
  if (store) {
    store->Shrink();
    set.rows = std::move(store);
  }
  if (IsDataChange(stmt)) {
    set.recordsAffected = sqlite3_changes64(db_);
    result.recordsAffected = (result.recordsAffected < 0 ? 0 : result.recordsAffected) + set.recordsAffected;
  }
  result.sets.push_back(std::move(set));
  return {};
}

}  // namespace tarnel::adodb::provider
