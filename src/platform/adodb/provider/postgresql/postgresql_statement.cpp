// The PostgreSQL provider's statements: `?` placeholders numbered to $n and
// values bound by libpq (PQsendQueryParams; a command without parameters
// goes through PQsendQuery, which allows several statements), every result
// of the command collected into client stores, the time-out and cancel
// turned into a cancel request, and stored procedures and functions called
// by name with their output and input-output values read back.
#include <algorithm>
#include <cstdlib>

#include "platform/adodb/provider/postgresql/postgresql_backend.h"
#include "platform/adodb/provider/sql_text.h"

namespace tarnel::adodb::provider {

namespace {

// How long the server gets to answer a cancel request before the
// connection is given up.
constexpr auto kCancelGrace = std::chrono::seconds(2);

ErrorRecord CountMismatch(int placeholders, std::size_t given) {
  return PgConnectionError("The command has " + std::to_string(placeholders) + " parameter placeholders but " +
                               std::to_string(given) + " parameter values were given.",
                           "07002");
}

// Splits "schema.name" / "\"Schema\".\"Name\"" into parts, folding unquoted
// parts to lower case as PostgreSQL does.
bool SplitQualifiedName(std::string_view text, std::vector<std::string>& parts) {
  std::size_t i = 0;
  while (true) {
    while (i < text.size() && text[i] == ' ') ++i;
    std::string part;
    if (i < text.size() && text[i] == '"') {
      ++i;
      bool closed = false;
      while (i < text.size()) {
        if (text[i] == '"') {
          if (i + 1 < text.size() && text[i + 1] == '"') {
            part.push_back('"');
            i += 2;
            continue;
          }
          closed = true;
          ++i;
          break;
        }
        part.push_back(text[i++]);
      }
      if (!closed) return false;
    } else {
      while (i < text.size() && text[i] != '.' && text[i] != ' ') {
        const char c = text[i++];
        part.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
      }
    }
    while (i < text.size() && text[i] == ' ') ++i;
    if (part.empty()) return false;
    parts.push_back(std::move(part));
    if (i >= text.size()) return parts.size() <= 2;
    if (text[i] != '.') return false;
    ++i;
  }
}

std::string QuoteIdentifier(const std::string& name) {
  std::string out = "\"";
  for (char c : name) {
    out.push_back(c);
    if (c == '"') out.push_back('"');
  }
  return out + "\"";
}

std::string Placeholders(std::size_t n) {
  std::string out;
  for (std::size_t i = 1; i <= n; ++i) out += (i > 1 ? ", $" : "$") + std::to_string(i);
  return out;
}

bool IsOutput(const Parameter& p) { return p.direction == adParamOutput || p.direction == adParamInputOutput; }

}  // namespace

void PostgresqlBackend::Execute(const CommandRequest& command, const JobControl& control, Result& result) {
  if (command.type == adCmdStoredProc) return ExecuteProcedure(command, control, result);
  const std::vector<const Parameter*> bound = BindableParameters(command, result);
  std::string sql = command.type == adCmdTable ? "SELECT * FROM " + command.text : command.text;
  if (!bound.empty()) {
    NumberedPlaceholders numbered = NumberPlaceholders(sql);
    if (numbered.count > 0 && static_cast<std::size_t>(numbered.count) != bound.size()) {
      result.status = Status::FromRecord(CountMismatch(numbered.count, bound.size()));
      return;
    }
    if (numbered.count > 0) sql = std::move(numbered.text);  // otherwise the text uses $n itself
  }
  std::vector<BaseColumn> baseColumns;
  SendAndCollect(sql, bound, true, command, control, result, &baseColumns);
  if (result.status.ok() && !baseColumns.empty()) DescribeBaseColumns(baseColumns, command, control, result);
  if (result.status.ok() && StartsWithKeyword(sql, "CALL") && !result.sets.empty() &&
      std::any_of(command.parameters.begin(), command.parameters.end(), IsOutput)) {
    AssignOutputs(command, result.sets[0].rows.get(), false, result);
    result.sets[0].rows.reset();
  }
}

void PostgresqlBackend::SendAndCollect(const std::string& sql, const std::vector<const Parameter*>& bound, bool typed,
                                       const CommandRequest& command, const JobControl& control, Result& result,
                                       std::vector<BaseColumn>* baseColumns) {
  if (!conn_) {
    result.status = Status::FromRecord(PgConnectionError("The connection to the server was lost.", "08003"));
    return;
  }
  int sent = 0;
  if (bound.empty()) {
    sent = Pq().PQsendQuery(conn_, sql.c_str());
  } else {
    PgParameters params;
    result.status = MakePgParameters(bound, typed, params);
    if (!result.status.ok()) return;
    sent = Pq().PQsendQueryParams(conn_, sql.c_str(), static_cast<int>(bound.size()), params.types.data(),
                             params.values.data(), params.lengths.data(), params.formats.data(), 0);
  }
  if (!sent) {
    result.status = Status::FromRecord(PgConnectionError(Pq().PQerrorMessage(conn_)));
    DropIfBroken();
    return;
  }
  CollectResults(command, control, result, baseColumns);
}

void PostgresqlBackend::CollectResults(const CommandRequest& command, const JobControl& control, Result& result,
                                       std::vector<BaseColumn>* baseColumns) {
  noticeTarget_ = &result;
  const Clock::time_point deadline =
      command.timeout.count() > 0 ? Clock::now() + command.timeout : Clock::time_point::max();
  bool cancelSent = false, timedOut = false;
  Clock::time_point giveUpAt = Clock::time_point::max();
  bool failed = false, lost = false;
  const auto fail = [&](ErrorRecord record) {
    if (!failed) {
      // Notices received before the error stay with the result.
      std::vector<ErrorRecord> warnings = std::move(result.status.warnings);
      result.status = Status::FromRecord(std::move(record));
      result.status.warnings = std::move(warnings);
    }
    failed = true;
  };
  while (conn_) {
    while (Pq().PQisBusy(conn_)) {
      const Wait w = cancelSent ? WaitSocket(false, giveUpAt, nullptr) : WaitSocket(false, deadline, &control);
      if (w == Wait::TimedOut && cancelSent) {
        // The server does not answer the cancel request: give the
        // connection up rather than wait for ever.
        fail(PgStoppedRecord(timedOut));
        result.status.errors.front().description += " (the server did not answer; the connection was closed)";
        result.status.description = result.status.errors.front().description;
        Disconnect();
        break;
      }
      if (w == Wait::TimedOut || w == Wait::Cancelled) {
        timedOut = w == Wait::TimedOut;
        char message[256];
        if (cancel_) Pq().PQcancel(cancel_, message, sizeof message);
        cancelSent = true;
        giveUpAt = Clock::now() + kCancelGrace;
        continue;
      }
      if (!Pq().PQconsumeInput(conn_)) {
        fail(PgConnectionError(Pq().PQerrorMessage(conn_)));
        lost = true;
        break;
      }
    }
    // After a read failure PQgetResult could block on a dead socket.
    if (!conn_ || lost) break;
    PGresult* res = Pq().PQgetResult(conn_);
    if (!res) break;
    const ExecStatusType status = Pq().PQresultStatus(res);
    if (status == PGRES_FATAL_ERROR || status == PGRES_BAD_RESPONSE || status == PGRES_NONFATAL_ERROR) {
      ErrorRecord record = PgResultError(res);
      if (cancelSent && record.sqlState == "57014") record = PgStoppedRecord(timedOut);
      fail(std::move(record));
    } else if (status == PGRES_EMPTY_QUERY) {
      fail(PgConnectionError("The command text is empty.", "42000"));
    } else if (status == PGRES_COPY_IN) {
      Pq().PQputCopyEnd(conn_, "COPY FROM STDIN is not supported by this provider");
    } else if (status == PGRES_COPY_OUT) {
      char* buffer = nullptr;
      while (Pq().PQgetCopyData(conn_, &buffer, 0) > 0) Pq().PQfreemem(buffer);
      fail(PgConnectionError("COPY TO STDOUT is not supported by this provider.", "0A000"));
    } else if (!failed) {
      StoreResult(res, command, result, baseColumns);
    }
    Pq().PQclear(res);
  }
  noticeTarget_ = nullptr;
  if (lost && conn_ && Pq().PQstatus(conn_) != CONNECTION_BAD) {
    // The socket failed but libpq still thinks the connection is fine:
    // it is not usable any more, so close it.
    Disconnect();
  }
  DropIfBroken();
  if (failed) {
    result.sets.clear();
    result.recordsAffected = -1;
  }
}

void PostgresqlBackend::StoreResult(PGresult* res, const CommandRequest& command, Result& result,
                                    std::vector<BaseColumn>* baseColumns) {
  ResultSet set;
  if (Pq().PQresultStatus(res) == PGRES_TUPLES_OK || Pq().PQresultStatus(res) == PGRES_SINGLE_TUPLE) {
    if (!command.noRecords) {
      const int fields = Pq().PQnfields(res);
      std::vector<ColumnInfo> columns;
      std::vector<PgCellRule> rules;
      columns.reserve(fields);
      for (int f = 0; f < fields; ++f) {
        columns.push_back(DescribePgColumn(Pq().PQfname(res, f), Pq().PQftype(res, f), Pq().PQfmod(res, f)));
        rules.push_back(PgRuleFor(Pq().PQftype(res, f)));
        const Oid table = Pq().PQftable(res, f);
        const int attribute = Pq().PQftablecol(res, f);
        if (baseColumns && table != InvalidOid && attribute > 0) {
          baseColumns->push_back({result.sets.size(), static_cast<std::size_t>(f), table, attribute});
        }
      }
      auto store = std::make_shared<RowStore>(std::move(columns), bufferCache_);
      std::int64_t rows = Pq().PQntuples(res);
      if (command.maxRecords > 0) rows = std::min(rows, command.maxRecords);
      for (int r = 0; r < rows; ++r) {
        const std::size_t row = store->AppendRow();
        for (int f = 0; f < fields; ++f) {
          if (Pq().PQgetisnull(res, r, f)) {
            store->SetNull(row, f);
          } else {
            StorePgCell(Pq().PQgetvalue(res, r, f), static_cast<std::size_t>(Pq().PQgetlength(res, r, f)), rules[f], *store,
                        row, f);
          }
        }
      }
      store->Shrink();
      set.rows = std::move(store);
    }
  } else {
    ForgetTablesAfter(Pq().PQcmdStatus(res));
    const char* tuples = Pq().PQcmdTuples(res);
    if (tuples && *tuples) {
      set.recordsAffected = std::strtoll(tuples, nullptr, 10);
      result.recordsAffected = (result.recordsAffected < 0 ? 0 : result.recordsAffected) + set.recordsAffected;
    }
  }
  result.sets.push_back(std::move(set));
}

void PostgresqlBackend::ExecuteProcedure(const CommandRequest& command, const JobControl& control, Result& result) {
  std::vector<std::string> name;
  if (!SplitQualifiedName(command.text, name)) {
    BindableParameters(command, result);
    result.status = Status::FromRecord(
        PgConnectionError("'" + command.text + "' is not a valid procedure name.", "42602"));
    return;
  }
  // Is it a procedure (CALL) or a function (SELECT * FROM), and does it
  // return a set of rows?
  CommandRequest lookup;
  lookup.timeout = command.timeout;
  lookup.text =
      "SELECT p.prokind, p.proretset FROM pg_catalog.pg_proc p "
      "JOIN pg_catalog.pg_namespace n ON n.oid = p.pronamespace "
      "WHERE p.proname = $1::text AND (($2::text = '' AND n.nspname = ANY (current_schemas(true))) "
      "OR n.nspname = $2::text) "
      "ORDER BY array_position(current_schemas(true), n.nspname) LIMIT 1";
  lookup.parameters.push_back({.name = "name", .value = Value::Text(name.back())});
  lookup.parameters.push_back({.name = "schema", .value = Value::Text(name.size() == 2 ? name[0] : "")});
  Result found;
  SendAndCollect(lookup.text, {&lookup.parameters[0], &lookup.parameters[1]}, false, lookup, control, found);
  const std::vector<const Parameter*> bindable = BindableParameters(command, result);
  if (!found.status.ok()) {
    result.status = std::move(found.status);
    return;
  }
  const RowStore* info = found.sets.empty() ? nullptr : found.sets[0].rows.get();
  if (!info || info->RowCount() == 0) {
    result.status = Status::FromRecord(
        PgConnectionError("The stored procedure '" + command.text + "' does not exist.", "42883"));
    return;
  }
  const bool procedure = info->Bytes(0, 0) == "p";
  const bool returnsSet = info->Integer(0, 1) != 0;

  std::string qualified;
  for (const std::string& part : name) qualified += (qualified.empty() ? "" : ".") + QuoteIdentifier(part);
  std::vector<const Parameter*> arguments;
  for (const Parameter* p : bindable) {
    if (procedure || p->direction != adParamOutput) arguments.push_back(p);
  }
  const std::string sql = (procedure ? "CALL " : "SELECT * FROM ") + qualified + "(" +
                          Placeholders(arguments.size()) + ")";
  std::vector<BaseColumn> baseColumns;
  SendAndCollect(sql, arguments, false, command, control, result, &baseColumns);
  if (!result.status.ok() || result.sets.empty()) return;
  if (!baseColumns.empty()) DescribeBaseColumns(baseColumns, command, control, result);

  const bool hasOutput = std::any_of(command.parameters.begin(), command.parameters.end(), IsOutput);
  const bool hasReturn = std::any_of(command.parameters.begin(), command.parameters.end(),
                                     [](const Parameter& p) { return p.direction == adParamReturnValue; });
  if (procedure || (!returnsSet && (hasOutput || hasReturn))) {
    AssignOutputs(command, result.sets[0].rows.get(), !procedure && !hasOutput, result);
    result.sets[0].rows.reset();
  }
}

void PostgresqlBackend::AssignOutputs(const CommandRequest& command, const RowStore* rows, bool returnValueOnly,
                                      Result& result) {
  if (!rows || rows->RowCount() == 0) return;
  std::size_t column = 0;
  for (std::size_t i = 0; i < command.parameters.size(); ++i) {
    const Parameter& p = command.parameters[i];
    if (returnValueOnly) {
      if (p.direction == adParamReturnValue && rows->ColumnCount() > 0) result.outputs[i] = rows->Get(0, 0);
    } else if (IsOutput(p) && column < rows->ColumnCount()) {
      result.outputs[i] = rows->Get(0, column++);
    }
  }
}

}  // namespace tarnel::adodb::provider
