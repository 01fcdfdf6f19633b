// The database provider contract that the ADODB object model is built on.
// A Session is one provider connection: it owns an engine Backend and the
// Worker thread that runs every engine call, one after another in the order
// they were started. Each operation exists in two forms: Submit/…Async
// returns at once and calls a Completion on the worker thread when done
// (the object model posts it to its apartment); Run/Open/Execute/… wait for
// the result on the calling thread (after everything queued before them).
//
// Thread and ownership rules:
//  - A Session is created, called and destroyed by one thread (the owning
//    apartment thread). Destroying it cancels the running statement, runs
//    every queued operation as cancelled (its Completion still runs, once),
//    joins the worker and closes the engine connection. It must not be
//    destroyed from inside a Completion (that runs on the worker thread).
//  - A Completion runs on the worker thread. It receives its Result by value
//    and must not touch object-model state directly: it posts. It runs
//    exactly once for every submitted operation, also at shutdown, so it
//    must not assume that the Session (or the object that submitted it) is
//    still alive when it runs.
//  - A Backend is used only on its session's worker thread.
//  - Results (row stores, statuses, output values) are plain values handed
//    over by the Completion; after that they belong to the receiver.
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/adodb/provider/ado_types.h"
#include "platform/adodb/provider/connection_string.h"
#include "platform/adodb/provider/error.h"
#include "platform/adodb/provider/row_store.h"
#include "platform/adodb/provider/worker.h"

namespace tarnel::adodb::provider {

using std::chrono::milliseconds;

// A command parameter as the Parameters collection describes it. Every
// parameter except adParamReturnValue binds to one placeholder (`?`, or
// `$n` on PostgreSQL), in order. The engine binds `value`; it is never
// pasted into the command text.
struct Parameter {
  std::string name;
  DataTypeEnum type = adEmpty;
  ParameterDirectionEnum direction = adParamInput;
  std::int32_t size = 0;
  std::uint8_t precision = 0;
  std::uint8_t numericScale = 0;
  Value value;  // Null for output parameters
};

struct CommandRequest {
  std::string text;                    // UTF-8
  CommandTypeEnum type = adCmdText;    // adCmdText (adCmdUnknown, adCmdUnspecified alike), adCmdTable, adCmdStoredProc
  std::vector<Parameter> parameters;
  milliseconds timeout{30000};         // CommandTimeout; 0 = wait for ever
  std::int64_t maxRecords = 0;         // MaxRecords; 0 = every row
  bool noRecords = false;              // adExecuteNoRecords: rows are discarded
};

// The outcome of one statement of a command (a command text may hold several;
// NextRecordset walks them).
struct ResultSet {
  std::shared_ptr<RowStore> rows;      // null when the statement returns no rows
  std::int64_t recordsAffected = -1;   // rows changed by an action statement, else -1
};

struct Result {
  Status status;                       // number 0 on success; raise it otherwise
  std::vector<ResultSet> sets;         // one per statement run (Execute)
  std::int64_t recordsAffected = -1;   // total over the action statements, -1 if none
  // Execute: one value per request parameter, in order: the value read back
  // for output, input-output and return-value parameters, the input value
  // otherwise.
  std::vector<Value> outputs;
  int transactionLevel = 0;            // the level after the operation
  bool connected = false;              // whether the engine connection is usable afterwards
};

using Completion = std::function<void(Result)>;

enum class Operation { Open, Close, Execute, BeginTrans, CommitTrans, RollbackTrans };

struct Request {
  Operation operation = Operation::Execute;
  CommandRequest command;  // Execute only
};

struct ConnectOptions {
  std::string connectionString;
  std::string userId;    // Open's UserID argument; overrides the string when not empty
  std::string password;  // Open's Password argument; likewise
  milliseconds connectTimeout{15000};  // ConnectionTimeout; "Connect Timeout" in the string wins
  milliseconds commandTimeout{30000};  // for BeginTrans/CommitTrans/RollbackTrans
  ConnectModeEnum mode = adModeUnknown;  // adModeRead opens read-only
  ThreadStarter threadStarter;           // test seam; empty = a std::thread
};

// The engine side of a provider (one per Session), mirrored by the SQLite
// and PostgreSQL providers. Worker thread only. Each call records its errors
// in the Status / Result it returns, on the thread where they happen.
class Backend {
 public:
  virtual ~Backend() = default;
  virtual Status Connect(const JobControl& control) = 0;
  virtual void Disconnect() = 0;
  virtual bool Connected() const = 0;
  virtual void Execute(const CommandRequest& command, const JobControl& control, Result& result) = 0;
  // Whether the engine has a transaction open, and whether it is one that a
  // failed statement has doomed (COMMIT would only roll it back).
  virtual bool InTransaction() const = 0;
  virtual bool TransactionDoomed() const = 0;
  // The Source of this provider's Error records.
  virtual const char* Source() const = 0;

 protected:
  // The large buffers of the row stores this connection has released, for
  // the stores of its next results.
  std::shared_ptr<BufferCache> bufferCache_ = std::make_shared<BufferCache>();
};

class Session {
 public:
  Session(std::string providerName, std::unique_ptr<Backend> backend, milliseconds commandTimeout,
          ThreadStarter starter);
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  ~Session();

  // Starts the worker; fails with a Status when the thread cannot start.
  Status Start();

  // Asynchronous: queues the operation and returns its id at once.
  JobId Submit(Request request, Completion done);
  // Synchronous: runs the operation after everything queued and returns
  // its result.
  Result Run(Request request);

  JobId OpenAsync(Completion done) { return Submit({Operation::Open, {}}, std::move(done)); }
  JobId ExecuteAsync(CommandRequest c, Completion done) {
    return Submit({Operation::Execute, std::move(c)}, std::move(done));
  }
  Result Open() { return Run({Operation::Open, {}}); }
  Result Close() { return Run({Operation::Close, {}}); }
  Result Execute(CommandRequest c) { return Run({Operation::Execute, std::move(c)}); }
  Result BeginTrans() { return Run({Operation::BeginTrans, {}}); }
  Result CommitTrans() { return Run({Operation::CommitTrans, {}}); }
  Result RollbackTrans() { return Run({Operation::RollbackTrans, {}}); }

  // Cancels one operation (queued: it completes with DB_E_CANCELED without
  // running; running: the engine is interrupted), or all of them.
  void Cancel(JobId id) { worker_.Cancel(id); }
  void CancelAll() { worker_.CancelAll(); }

  // "SQLite" or "PostgreSQL" (Connection.Provider).
  const std::string& ProviderName() const { return providerName_; }
  // State published by the worker after each operation.
  int TransactionLevel() const { return level_.load(std::memory_order_acquire); }
  bool Connected() const { return connected_.load(std::memory_order_acquire); }
  // Operations queued or running.
  std::size_t Pending() const { return worker_.Pending(); }

 private:
  Result RunOnWorker(const Request& request, const JobControl& control);
  void Transaction(Operation operation, const JobControl& control, Result& result);
  Status ExecuteSql(const char* sql, const JobControl& control);
  ErrorRecord Record(HRESULT number, std::string description, const char* sqlState) const;

  std::string providerName_;
  std::unique_ptr<Backend> backend_;
  milliseconds commandTimeout_;
  int level_on_worker_ = 0;
  std::atomic<int> level_{0};
  std::atomic<bool> connected_{false};
  Worker worker_;  // last: stopped first in ~Session, before the backend goes
};

// For backends: fills `result.outputs` with the input values (Null for
// output and return-value parameters) and returns the parameters that bind
// to placeholders, in order (all but adParamReturnValue).
std::vector<const Parameter*> BindableParameters(const CommandRequest& command, Result& result);

// Parses the connection string, finds the provider it names (SQLite when it
// names none) and creates a Session with a started worker, not yet
// connected. Fails at once, with no thread started, for a malformed string
// (3001), an unknown provider (3706) or settings the provider rejects.
std::unique_ptr<Session> CreateSession(const ConnectOptions& options, Status* status);

}  // namespace tarnel::adodb::provider
