// The SQLite provider (libsqlite3), the embedded default:
// `Provider=SQLite;Data Source=PATH` (or `:memory:`). A missing database
// file is an error unless the string says `Create=True`; `Mode=Read` opens
// read-only. The command time-out bounds both the wait for a locked
// database and the run time of a statement.
// Thread rule: a SqliteBackend is created on the owning thread and then used
// only on its session's worker thread (the sqlite3 handle never crosses
// threads; cancellation reaches it through the JobControl that its busy and
// progress handlers poll).
#pragma once
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <sqlite3.h>

#include "platform/adodb/provider/provider.h"

namespace tarnel::adodb::provider {

std::unique_ptr<Backend> CreateSqliteBackend(const ConnectionString& cs, const ConnectOptions& options,
                                             Status* status);

// sqlite_errors.cpp: the one place where SQLite result codes become Error
// records (number, SQLState, the engine's message, the extended code as
// NativeError).
ErrorRecord SqliteErrorRecord(int extendedCode, std::string_view message);
// A statement stopped by Cancel (or a released connection) or by its time-out.
ErrorRecord SqliteStoppedRecord(bool timedOut);

// sqlite_types.cpp: declared types to Field metadata, and values both ways.
enum class SqliteCellRule : std::uint8_t { Plain, Boolean, Date, Currency };
// The metadata of result column `col`; after a first sqlite3_step that gave
// a row (`haveRow`), columns without a declared type take theirs from it.
ColumnInfo DescribeSqliteColumn(sqlite3_stmt* stmt, int col, bool haveRow);
// Field metadata from a declared type such as "VARCHAR(40)" or
// "NUMERIC(10,2)"; nothing when the declaration names no known type.
std::optional<ColumnInfo> ColumnFromDeclaredType(std::string name, std::string_view declared);
SqliteCellRule SqliteRuleFor(DataTypeEnum type);
// Copies the current row into a new row of the store (one rule per column).
void StoreSqliteRow(sqlite3_stmt* stmt, const std::vector<SqliteCellRule>& rules, RowStore& store);
// Binds a parameter value; returns an SQLite result code.
int BindSqliteParameter(sqlite3_stmt* stmt, int index, const Parameter& parameter);

struct SqliteSettings {
  std::string path;
  bool readOnly = false;
  bool create = false;
  std::chrono::milliseconds connectTimeout{15000};  // bounds the wait for a locked file in Open
};

class SqliteBackend final : public Backend {
 public:
  explicit SqliteBackend(SqliteSettings settings) : settings_(std::move(settings)) {}
  ~SqliteBackend() override { Disconnect(); }

  Status Connect(const JobControl& control) override;
  void Disconnect() override;
  bool Connected() const override { return db_ != nullptr; }
  void Execute(const CommandRequest& command, const JobControl& control, Result& result) override;
  bool InTransaction() const override { return db_ && !sqlite3_get_autocommit(db_); }
  bool TransactionDoomed() const override { return false; }
  const char* Source() const override { return kSource; }

  static constexpr const char* kSource = "TarnelTools SQLite Provider";

 private:
  using Clock = std::chrono::steady_clock;
  // What the busy and progress handlers check while a call runs.
  struct Watch {
    const JobControl* control = nullptr;
    Clock::time_point deadline = Clock::time_point::max();
    bool timedOut = false;
    bool cancelled = false;
  };
  static int OnBusy(void* self, int attempt);
  static int OnProgress(void* self);
  bool ShouldStop();
  void BeginWatch(const JobControl& control, std::chrono::milliseconds timeout);
  void EndWatch() { watch_ = Watch{}; }
  ErrorRecord Error(int rc) const;
  Status RunStatement(sqlite3_stmt* stmt, const CommandRequest& command,
                      const std::vector<const Parameter*>& bindable, std::size_t& next, Result& result);

  SqliteSettings settings_;
  sqlite3* db_ = nullptr;
  Watch watch_;
};

}  // namespace tarnel::adodb::provider
