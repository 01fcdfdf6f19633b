// The PostgreSQL provider (libpq):
// `Provider=PostgreSQL;Server=HOST;Port=N;Database=DB;User ID=U;Password=P`
// with the usual ADO synonyms (Data Source / Host, Initial Catalog,
// UID, PWD). libpq's asynchronous interface is used throughout, so that
// the connection time-out, the command time-out and cancellation are
// honoured while waiting on the server.
// Thread rule: a PostgresqlBackend is created on the owning thread and then
// used only on its session's worker thread; the PGconn never crosses
// threads, and a cancel request (PQcancel) is sent from the worker when it
// sees its JobControl cancelled.
#pragma once
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <libpq-fe.h>

#include "platform/adodb/provider/postgresql/postgresql_library.h"
#include "platform/adodb/provider/provider.h"

namespace tarnel::adodb::provider {

std::unique_ptr<Backend> CreatePostgresqlBackend(const ConnectionString& cs, const ConnectOptions& options,
                                                 Status* status);

struct PostgresqlSettings {
  std::string host;
  std::string port;
  std::string database;
  std::string user;
  std::string password;
  std::string sslMode;
  std::string applicationName = "TarnelTools";
  bool readOnly = false;
  std::chrono::milliseconds connectTimeout{15000};
};

// postgresql_errors.cpp: the one place where libpq failures become Error
// records (number, SQLSTATE, the server's primary message).
ErrorRecord PgResultError(const PGresult* result);
ErrorRecord PgConnectionError(std::string_view message, const char* sqlState = nullptr);
ErrorRecord PgStoppedRecord(bool timedOut);
ErrorRecord PgNoticeRecord(const PGresult* result);

// postgresql_types.cpp: type OIDs to Field metadata, text values to cells,
// parameter values to text (or binary bytea) with their type OIDs.
enum class PgCellRule : std::uint8_t { Text, Integer, Double, Boolean, Numeric, Currency, Date, Bytea };
ColumnInfo DescribePgColumn(std::string name, unsigned int typeOid, int typmod);
PgCellRule PgRuleFor(unsigned int typeOid);
void StorePgCell(const char* text, std::size_t length, PgCellRule rule, RowStore& store, std::size_t row,
                 std::size_t col);
// Parses money text such as "-$1,234.56" into ten-thousandths.
std::optional<std::int64_t> ParseMoney(std::string_view text);

struct PgParameters {
  std::vector<unsigned int> types;
  std::vector<std::string> texts;
  std::vector<const char*> values;
  std::vector<int> lengths;
  std::vector<int> formats;
};
// Converts the values to send; `typed` gives numbers and booleans their
// type OIDs (text commands), otherwise the server infers every type from
// the call (stored procedures). An error names the parameter that cannot
// be sent.
Status MakePgParameters(const std::vector<const Parameter*>& parameters, bool typed, PgParameters& out);

class PostgresqlBackend final : public Backend {
 public:
  explicit PostgresqlBackend(PostgresqlSettings settings) : settings_(std::move(settings)) {}
  ~PostgresqlBackend() override { Disconnect(); }

  Status Connect(const JobControl& control) override;
  void Disconnect() override;
  bool Connected() const override { return conn_ != nullptr; }
  void Execute(const CommandRequest& command, const JobControl& control, Result& result) override;
  bool InTransaction() const override;
  bool TransactionDoomed() const override;
  const char* Source() const override { return kSource; }

  static constexpr const char* kSource = "TarnelTools PostgreSQL Provider";

 private:
  using Clock = std::chrono::steady_clock;
  enum class Wait { Ready, TimedOut, Cancelled, Failed };

  // Waits until the socket is readable (or writable), the deadline passes,
  // or the job is cancelled (when `control` is given); polls in short
  // slices so a cancel is seen.
  Wait WaitSocket(bool forWrite, Clock::time_point deadline, const JobControl* control);
  // A result column that comes straight from a table column.
  struct BaseColumn {
    std::size_t set;      // index in Result::sets
    std::size_t column;
    unsigned int table;   // the table's OID
    int attribute;        // the column's number in the table
  };
  // Collects every result of the query sent last into `result`; sends a
  // cancel request on time-out or cancel and, when the server does not
  // answer it, gives up the connection. `baseColumns` receives the columns
  // of stored results that come from a table (for DescribeBaseColumns);
  // the provider's own catalog queries pass null.
  void CollectResults(const CommandRequest& command, const JobControl& control, Result& result,
                      std::vector<BaseColumn>* baseColumns);
  void StoreResult(PGresult* res, const CommandRequest& command, Result& result,
                   std::vector<BaseColumn>* baseColumns);
  void ExecuteProcedure(const CommandRequest& command, const JobControl& control, Result& result);
  void SendAndCollect(const std::string& sql, const std::vector<const Parameter*>& bound, bool typed,
                      const CommandRequest& command, const JobControl& control, Result& result,
                      std::vector<BaseColumn>* baseColumns = nullptr);

  // postgresql_base_tables.cpp: the base table, column name, nullability
  // and primary-key membership of result columns (what writing a changed
  // row back needs), from the catalog, cached per table for the session.
  struct TableInfo {
    std::string schema;
    std::string name;
    struct Column {
      std::string name;
      bool notNull = false;
      bool key = false;
    };
    std::vector<Column> columns;  // by attribute number - 1 (dropped ones stay empty)
  };
  void DescribeBaseColumns(const std::vector<BaseColumn>& baseColumns, const CommandRequest& command,
                           const JobControl& control, Result& result);
  // Forgets the cached tables after a statement that may have changed a
  // table's definition (by its command tag).
  void ForgetTablesAfter(const char* commandTag);
  void AssignOutputs(const CommandRequest& command, const RowStore* row, bool returnValueOnly, Result& result);
  void DropIfBroken();
  static void OnNotice(void* self, const PGresult* result);

  PostgresqlSettings settings_;
  PGconn* conn_ = nullptr;
  PGcancel* cancel_ = nullptr;
  Result* noticeTarget_ = nullptr;
  std::unordered_map<unsigned int, TableInfo> tables_;  // by table OID
};

}  // namespace tarnel::adodb::provider
