// Where PostgreSQL result columns come from: libpq tells each column's table
// OID and column number (PQftable, PQftablecol); one catalog query turns the
// tables not seen before into their schema, name, column names, NOT NULL
// flags and primary-key columns, which the session keeps per table OID. The
// Field metadata then names the base table and column, marks key columns
// and updatable columns, as the SQLite provider does from its schema, so a
// client recordset can write its changes back.
#include <algorithm>

#include "platform/adodb/provider/postgresql/postgresql_backend.h"
#include "platform/adodb/provider/sql_text.h"

namespace tarnel::adodb::provider {

namespace {

// Every live column of the given tables (an array literal of OIDs is
// appended), with its table's schema and name, and whether it belongs to
// the primary key.
constexpr const char* kTableQuery =
    "SELECT c.oid, n.nspname, c.relname, a.attnum, a.attname, a.attnotnull, "
    "COALESCE(a.attnum = ANY (i.indkey), false) "
    "FROM pg_catalog.pg_class c "
    "JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
    "JOIN pg_catalog.pg_attribute a ON a.attrelid = c.oid AND a.attnum > 0 AND NOT a.attisdropped "
    "LEFT JOIN pg_catalog.pg_index i ON i.indrelid = c.oid AND i.indisprimary "
    "WHERE c.oid = ANY ('{%s}'::pg_catalog.oid[]) "
    "ORDER BY c.oid, a.attnum";

// Inside the caller's transaction the query runs in a savepoint, so that
// its failure (a cancel, say) does not doom that transaction.
constexpr const char* kSavepoint = "SAVEPOINT tarnel_catalog; ";
constexpr const char* kRelease = "; RELEASE SAVEPOINT tarnel_catalog";
constexpr const char* kUndo = "ROLLBACK TO SAVEPOINT tarnel_catalog; RELEASE SAVEPOINT tarnel_catalog";

}  // namespace

void PostgresqlBackend::DescribeBaseColumns(const std::vector<BaseColumn>& baseColumns, const CommandRequest& command,
                                            const JobControl& control, Result& result) {
  // The tables not described yet.
  std::vector<unsigned int> missing;
  for (const BaseColumn& b : baseColumns) {
    if (!tables_.contains(b.table) && std::find(missing.begin(), missing.end(), b.table) == missing.end()) {
      missing.push_back(b.table);
    }
  }
  if (!missing.empty()) {
    std::string oids;
    for (unsigned int oid : missing) {
      if (!oids.empty()) oids += ',';
      oids += std::to_string(oid);
    }
    std::string sql = kTableQuery;
    sql.replace(sql.find("%s"), 2, oids);
    const bool inTransaction = InTransaction();
    if (inTransaction) {
      sql.insert(0, kSavepoint);
      sql += kRelease;
    }
    CommandRequest lookup;
    lookup.text = sql;
    lookup.timeout = command.timeout;
    Result found;
    SendAndCollect(sql, {}, false, lookup, control, found);
    if (!found.status.ok() && inTransaction && TransactionDoomed()) {
      const JobControl undoControl;  // runs even when the job was cancelled
      Result undone;
      lookup.text = kUndo;
      SendAndCollect(lookup.text, {}, false, lookup, undoControl, undone);
    }
    // Without the catalog's answer the columns simply stay without a base
    // table (the statement itself succeeded): the recordset is then not
    // written back, and says so when asked to.
    const RowStore* answer = nullptr;
    for (const ResultSet& set : found.sets) {
      if (set.rows) answer = set.rows.get();
    }
    if (!found.status.ok() || !answer) return;
    // A table the catalog does not know (dropped meanwhile) is remembered
    // as one without columns, so it is not looked up again.
    for (unsigned int oid : missing) tables_.try_emplace(oid);
    const RowStore& rows = *answer;
    for (std::size_t r = 0; r < rows.RowCount(); ++r) {
      const auto oid = static_cast<unsigned int>(rows.Integer(r, 0));
      const std::int64_t attribute = rows.Integer(r, 3);
      if (attribute < 1 || attribute > 1600) continue;  // PostgreSQL allows at most 1600 columns
      TableInfo& table = tables_[oid];
      if (table.name.empty()) {
        table.schema = std::string(rows.Bytes(r, 1));
        table.name = std::string(rows.Bytes(r, 2));
      }
      if (table.columns.size() < static_cast<std::size_t>(attribute)) table.columns.resize(attribute);
      TableInfo::Column& column = table.columns[attribute - 1];
      column.name = std::string(rows.Bytes(r, 4));
      column.notNull = rows.Integer(r, 5) != 0;
      column.key = rows.Integer(r, 6) != 0;
    }
  }
  for (const BaseColumn& b : baseColumns) {
    if (b.set >= result.sets.size() || !result.sets[b.set].rows) continue;
    auto table = tables_.find(b.table);
    if (table == tables_.end()) continue;
    const std::size_t index = static_cast<std::size_t>(b.attribute) - 1;
    if (index >= table->second.columns.size() || table->second.columns[index].name.empty()) continue;
    const TableInfo::Column& column = table->second.columns[index];
    ColumnInfo& info = result.sets[b.set].rows->MutableColumn(b.column);
    info.baseSchema = table->second.schema;
    info.baseTable = table->second.name;
    info.baseColumn = column.name;
    if (column.notNull || column.key) info.attributes &= ~(adFldIsNullable | adFldMayBeNull);
    if (column.key) info.attributes |= adFldKeyColumn;
    info.attributes |= adFldUpdatable;
  }
}

void PostgresqlBackend::ForgetTablesAfter(const char* commandTag) {
  if (!commandTag || tables_.empty()) return;
  // A table's columns or key can change through DDL, and a rollback can
  // undo such a change.
  for (const char* word : {"ALTER", "DROP", "CREATE", "ROLLBACK"}) {
    if (StartsWithKeyword(commandTag, word)) {
      tables_.clear();
      return;
    }
  }
}

}  // namespace tarnel::adodb::provider
