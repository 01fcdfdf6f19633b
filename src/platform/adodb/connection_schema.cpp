// Connection.OpenSchema: the tables and the columns of the database as a
// recordset with the column names of the ADO schema rowsets (TABLE_CATALOG,
// TABLE_SCHEMA, TABLE_NAME, TABLE_TYPE; COLUMN_NAME, ORDINAL_POSITION,
// COLUMN_DEFAULT, IS_NULLABLE, TYPE_NAME), read from each engine's own
// catalog. Restrictions are bound as parameters, never pasted.
#include "platform/adodb/adodb_error.h"
#include "platform/adodb/connection.h"
#include "platform/adodb/recordset.h"
#include "platform/automation/variant_convert.h"

namespace tarnel::adodb {

namespace {

constexpr std::int32_t adSchemaColumns = 4;
constexpr std::int32_t adSchemaTables = 20;

const char* BaseQuery(bool postgres, bool columns) {
  if (postgres) {
    return columns
               ? "SELECT table_catalog AS \"TABLE_CATALOG\", table_schema AS \"TABLE_SCHEMA\", "
                 "table_name AS \"TABLE_NAME\", column_name AS \"COLUMN_NAME\", "
                 "ordinal_position AS \"ORDINAL_POSITION\", column_default AS \"COLUMN_DEFAULT\", "
                 "is_nullable = 'YES' AS \"IS_NULLABLE\", data_type AS \"TYPE_NAME\" "
                 "FROM information_schema.columns "
                 "WHERE table_schema NOT IN ('pg_catalog', 'information_schema')"
               : "SELECT table_catalog AS \"TABLE_CATALOG\", table_schema AS \"TABLE_SCHEMA\", "
                 "table_name AS \"TABLE_NAME\", "
                 "CASE table_type WHEN 'BASE TABLE' THEN 'TABLE' ELSE table_type END AS \"TABLE_TYPE\" "
                 "FROM information_schema.tables "
                 "WHERE table_schema NOT IN ('pg_catalog', 'information_schema')";
  }
  return columns ? "SELECT NULL AS \"TABLE_CATALOG\", NULL AS \"TABLE_SCHEMA\", m.name AS \"TABLE_NAME\", "
                   "p.name AS \"COLUMN_NAME\", p.cid + 1 AS \"ORDINAL_POSITION\", "
                   "p.dflt_value AS \"COLUMN_DEFAULT\", p.\"notnull\" = 0 AS \"IS_NULLABLE\", "
                   "p.type AS \"TYPE_NAME\" FROM sqlite_master m JOIN pragma_table_info(m.name) p "
                   "WHERE m.type IN ('table', 'view') AND m.name NOT LIKE 'sqlite\\_%' ESCAPE '\\'"
                 : "SELECT NULL AS \"TABLE_CATALOG\", NULL AS \"TABLE_SCHEMA\", name AS \"TABLE_NAME\", "
                   "CASE type WHEN 'view' THEN 'VIEW' ELSE 'TABLE' END AS \"TABLE_TYPE\" FROM sqlite_master "
                   "WHERE type IN ('table', 'view') AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\'";
}

}  // namespace

ComPtr<Dispatch> Connection::OpenSchema(std::int32_t& schema, Variant& restrictions, Variant&) {
  ComPtr<Connection> keep(this);
  RequireUsable(adErrObjectClosed, kSrcConnection);
  if (schema != adSchemaTables && schema != adSchemaColumns) RaiseAdo(adErrFeatureNotAvailable, kSrcConnection);
  const bool columns = schema == adSchemaColumns;
  const bool postgres = session_->ProviderName() == "PostgreSQL";

  // The restriction columns, in the order of the schema's restrictions.
  const char* names[] = {"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME", columns ? "COLUMN_NAME" : "TABLE_TYPE"};
  provider::CommandRequest request;
  request.text = std::string("SELECT * FROM (") + BaseQuery(postgres, columns) + ") s WHERE 1 = 1";
  request.timeout = provider::milliseconds(std::int64_t{commandTimeout_} * 1000);
  const Variant r = restrictions.Deref();
  if (r.IsArray()) {
    const std::vector<Variant>& given = r.parray()->Elements();
    for (std::size_t i = 0; i < given.size() && i < 4; ++i) {
      const Variant value = given[i].Deref();
      if (value.IsEmpty() || value.IsNull() || value.IsMissing()) continue;
      Variant text;
      if (Failed(ChangeType(text, value, 0, VT_BSTR))) RaiseAdo(adErrInvalidArgument, kSrcConnection);
      request.text += std::string(" AND \"") + names[i] + "\" = ?";
      provider::Parameter p;
      p.type = adVarWChar;
      p.size = 255;
      p.value = provider::Value::Text(ToUtf8(text.bstrVal()));
      request.parameters.push_back(std::move(p));
    }
  } else if (!r.IsMissing() && !r.IsEmpty()) {
    RaiseAdo(adErrInvalidArgument, kSrcConnection);
  }
  request.text += columns ? " ORDER BY 1, 2, 3, 5" : " ORDER BY 1, 2, 3";

  provider::Result result = RunInternal(std::move(request), kSrcConnection, false);
  ComPtr<Recordset> rs = MakeObject<Recordset>();
  rs->PrepareForStatement(this, columns ? u"adSchemaColumns" : u"adSchemaTables", adUseClient, adOpenStatic,
                          adLockReadOnly, nullptr);
  rs->AdoptResult(result);
  return rs;
}

}  // namespace tarnel::adodb
