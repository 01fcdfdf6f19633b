// SQLite types: declared column types ("VARCHAR(40)", "NUMERIC(10,2)",
// "DATETIME", ...) become ADO Field metadata, columns without a declared type
// take their type from the first row's storage class, cells are copied into
// the client store by storage class (dates parsed where the column is one),
// and parameter values are bound by kind.
#include <cctype>
#include <climits>
#include <cmath>
#include <charconv>

#include "platform/adodb/provider/column_types.h"
#include "platform/adodb/provider/date_text.h"
#include "platform/adodb/provider/sqlite/sqlite_backend.h"

namespace tarnel::adodb::provider {

namespace {

// The first two numbers inside the parentheses of a declared type.
void ReadArguments(std::string_view text, int& first, int& second) {
  first = second = 0;
  const std::size_t open = text.find('(');
  if (open == std::string_view::npos) return;
  int* target = &first;
  for (std::size_t i = open + 1; i < text.size() && text[i] != ')'; ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      if (*target < 100000000) *target = *target * 10 + (c - '0');
    } else if (c == ',') {
      if (target == &second) break;
      target = &second;
    }
  }
}

constexpr std::int64_t kCurrencyLimit = LLONG_MAX / 10000;

}  // namespace

std::optional<ColumnInfo> ColumnFromDeclaredType(std::string name, std::string_view declared) {
  std::string upper;
  for (char c : declared.substr(0, declared.find('('))) {
    upper.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
  }
  while (!upper.empty() && upper.back() == ' ') upper.pop_back();
  if (upper.empty()) return std::nullopt;
  int n = 0, m = 0;
  ReadArguments(declared, n, m);
  const auto has = [&](const char* word) { return upper.find(word) != std::string::npos; };
  const auto make = [&](DataTypeEnum type, int size = 0, int precision = 0, int scale = 0) {
    return DescribeColumn(std::move(name), type, size, precision, scale);
  };
  if (has("BOOL")) return make(adBoolean);
  if (has("BIGINT") || upper == "INT8" || has("UNSIGNED BIG INT")) return make(adBigInt);
  if (has("SMALLINT") || upper == "INT2") return make(adSmallInt);
  if (has("TINYINT")) return make(adUnsignedTinyInt);
  if (has("INT")) return make(adInteger);
  if (has("DATETIME") || has("TIMESTAMP")) return make(adDBTimeStamp);
  if (upper == "DATE") return make(adDBDate);
  if (upper == "TIME") return make(adDBTime);
  if (has("MONEY") || has("CURRENCY")) return make(adCurrency);
  if (has("NUMERIC") || has("DECIMAL")) return make(adNumeric, 0, n, m);
  if (has("GUID") || has("UUID") || has("UNIQUEIDENTIFIER")) return make(adGUID);
  if (has("VARBINARY")) return make(adVarBinary, n);
  if (has("BINARY")) return make(adBinary, n);
  if (has("BLOB") || has("IMAGE") || has("BYTEA")) return make(adLongVarBinary);
  if (has("TEXT") || has("CLOB") || has("MEMO")) return make(adLongVarWChar);
  if (has("VARCHAR") || has("VARYING")) return make(adVarWChar, n);
  if (has("CHAR")) return make(adWChar, n);
  if (has("REAL") || has("FLOA") || has("DOUB")) return make(adDouble);
  return std::nullopt;
}

ColumnInfo DescribeSqliteColumn(sqlite3_stmt* stmt, int col, bool haveRow) {
  const char* rawName = sqlite3_column_name(stmt, col);
  std::string name = rawName ? rawName : "";
  const char* declared = sqlite3_column_decltype(stmt, col);
  std::optional<ColumnInfo> info;
  if (declared) info = ColumnFromDeclaredType(name, declared);
  if (!info) {
    const int storage = haveRow ? sqlite3_column_type(stmt, col) : SQLITE_NULL;
    switch (storage) {
      case SQLITE_INTEGER: {
        const std::int64_t v = sqlite3_column_int64(stmt, col);
        info = DescribeColumn(name, v >= INT_MIN && v <= INT_MAX ? adInteger : adBigInt);
        break;
      }
      case SQLITE_FLOAT:
        info = DescribeColumn(name, adDouble);
        break;
      case SQLITE_BLOB:
        info = DescribeColumn(name, adLongVarBinary);
        break;
      case SQLITE_TEXT:
        info = DescribeColumn(name, adVarWChar, std::max(255, sqlite3_column_bytes(stmt, col)));
        break;
      default:
        info = DescribeColumn(name, adVarWChar, 255);
        break;
    }
  }
  // The base table and column, and what the schema says about them.
  const char* table = sqlite3_column_table_name(stmt, col);
  const char* origin = sqlite3_column_origin_name(stmt, col);
  if (table && origin) {
    const char* database = sqlite3_column_database_name(stmt, col);
    info->baseTable = table;
    info->baseColumn = origin;
    if (database) info->baseSchema = database;
    int notNull = 0, primaryKey = 0, autoIncrement = 0;
    if (sqlite3_table_column_metadata(sqlite3_db_handle(stmt), database, table, origin, nullptr, nullptr, &notNull,
                                      &primaryKey, &autoIncrement) == SQLITE_OK) {
      if (notNull || primaryKey) info->attributes &= ~(adFldIsNullable | adFldMayBeNull);
      if (primaryKey) info->attributes |= adFldKeyColumn;
    }
    info->attributes |= adFldUpdatable;
  }
  return *info;
}

SqliteCellRule SqliteRuleFor(DataTypeEnum type) {
  if (type == adBoolean) return SqliteCellRule::Boolean;
  if (type == adCurrency) return SqliteCellRule::Currency;
  if (IsDateType(type)) return SqliteCellRule::Date;
  return SqliteCellRule::Plain;
}

namespace {

// One call into the statement per cell: the connection is used by the
// worker thread alone (opened without its mutex), so reading the column's
// value object directly is safe, and spares the work each sqlite3_column_*
// call repeats.
inline void StoreCell(sqlite3_stmt* stmt, int col, SqliteCellRule rule, RowStore& store, std::size_t row) {
  sqlite3_value* value = sqlite3_column_value(stmt, col);
  switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER: {
      const std::int64_t v = sqlite3_value_int64(value);
      if (rule == SqliteCellRule::Plain) [[likely]] {
        store.SetInteger(row, col, v);
      } else if (rule == SqliteCellRule::Boolean) {
        store.SetInteger(row, col, v != 0, CellKind::Boolean);
      } else if (rule == SqliteCellRule::Currency && v > -kCurrencyLimit && v < kCurrencyLimit) {
        store.SetInteger(row, col, v * 10000, CellKind::Currency);
      } else {
        store.SetInteger(row, col, v);
      }
      break;
    }
    case SQLITE_FLOAT: {
      const double d = sqlite3_value_double(value);
      if (rule == SqliteCellRule::Currency && std::fabs(d) < static_cast<double>(kCurrencyLimit)) {
        store.SetInteger(row, col, std::llround(d * 10000), CellKind::Currency);
      } else {
        store.SetDouble(row, col, d);
      }
      break;
    }
    case SQLITE_TEXT: {
      const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(value));
      const std::string_view text(p ? p : "", p ? static_cast<std::size_t>(sqlite3_value_bytes(value)) : 0);
      if (rule == SqliteCellRule::Date) {
        if (const std::optional<double> date = OleDateFromIso(text)) {
          store.SetDouble(row, col, *date, CellKind::Date);
          break;
        }
      }
      store.SetBytes(row, col, text, CellKind::Text);
      break;
    }
    case SQLITE_BLOB: {
      const void* p = sqlite3_value_blob(value);
      const auto n = static_cast<std::size_t>(sqlite3_value_bytes(value));
      store.SetBytes(row, col, std::string_view(static_cast<const char*>(p), p ? n : 0), CellKind::Blob);
      break;
    }
    default:
      store.SetNull(row, col);
      break;
  }
}

}  // namespace

void StoreSqliteRow(sqlite3_stmt* stmt, const std::vector<SqliteCellRule>& rules, RowStore& store) {
  const std::size_t row = store.AppendRow();
  const int columns = static_cast<int>(rules.size());
  for (int c = 0; c < columns; ++c) StoreCell(stmt, c, rules[c], store, row);
}

int BindSqliteParameter(sqlite3_stmt* stmt, int index, const Parameter& parameter) {
  const Value& v = parameter.value;
  switch (v.kind) {
    case CellKind::Empty:
    case CellKind::Null:
      return sqlite3_bind_null(stmt, index);
    case CellKind::Integer:
    case CellKind::Boolean:
      return sqlite3_bind_int64(stmt, index, v.kind == CellKind::Boolean ? (v.integer != 0) : v.integer);
    case CellKind::Currency:
      if (v.integer % 10000 == 0) return sqlite3_bind_int64(stmt, index, v.integer / 10000);
      return sqlite3_bind_double(stmt, index, static_cast<double>(v.integer) / 10000.0);
    case CellKind::Double:
      return sqlite3_bind_double(stmt, index, v.real);
    case CellKind::Date: {
      const DateTextForm form = parameter.type == adDBDate   ? DateTextForm::Date
                                : parameter.type == adDBTime ? DateTextForm::Time
                                                             : DateTextForm::DateTime;
      const std::optional<std::string> text = IsoFromOleDate(v.real, form);
      if (!text) return SQLITE_RANGE;
      return sqlite3_bind_text(stmt, index, text->data(), static_cast<int>(text->size()), SQLITE_TRANSIENT);
    }
    case CellKind::Numeric: {
      std::int64_t whole = 0;
      const char* end = v.bytes.data() + v.bytes.size();
      const auto [at, ec] = std::from_chars(v.bytes.data(), end, whole);
      if (ec == std::errc() && at == end) return sqlite3_bind_int64(stmt, index, whole);
      [[fallthrough]];
    }
    case CellKind::Text:
      if (v.bytes.size() > INT_MAX) return SQLITE_TOOBIG;
      return sqlite3_bind_text(stmt, index, v.bytes.data(), static_cast<int>(v.bytes.size()), SQLITE_STATIC);
    case CellKind::Blob:
      if (v.bytes.size() > INT_MAX) return SQLITE_TOOBIG;
      return sqlite3_bind_blob(stmt, index, v.bytes.data(), static_cast<int>(v.bytes.size()), SQLITE_STATIC);
  }
  return SQLITE_MISUSE;
}

}  // namespace tarnel::adodb::provider
