// The provider-independent half of a connection: it runs every operation on
// the worker in order, keeps the transaction level (levels above 1 are
// savepoints, the same SQL on both engines), turns cancelled or failed jobs
// into results, and offers the synchronous forms on top of the queue.
#include "platform/adodb/provider/provider.h"

#include <future>
#include <new>

namespace tarnel::adodb::provider {

namespace {

std::string SavepointName(int level) { return "tarnel_level_" + std::to_string(level); }

}  // namespace

std::vector<const Parameter*> BindableParameters(const CommandRequest& command, Result& result) {
  std::vector<const Parameter*> bindable;
  result.outputs.clear();
  for (const Parameter& p : command.parameters) {
    const bool input = p.direction == adParamInput || p.direction == adParamUnknown ||
                       p.direction == adParamInputOutput;
    result.outputs.push_back(input ? p.value : Value::Null());
    if (p.direction != adParamReturnValue) bindable.push_back(&p);
  }
  return bindable;
}

Session::Session(std::string providerName, std::unique_ptr<Backend> backend, milliseconds commandTimeout,
                 ThreadStarter starter)
    : providerName_(std::move(providerName)),
      backend_(std::move(backend)),
      commandTimeout_(commandTimeout),
      worker_(starter ? std::move(starter) : DefaultThreadStarter()) {}

Session::~Session() {
  worker_.Stop();
  backend_->Disconnect();
}

Status Session::Start() {
  std::string error;
  if (worker_.Start(&error)) return {};
  return Status::FromRecord(Record(E_FAIL, error, "HY000"));
}

ErrorRecord Session::Record(HRESULT number, std::string description, const char* sqlState) const {
  return {number, std::move(description), backend_->Source(), sqlState, 0};
}

JobId Session::Submit(Request request, Completion done) {
  return worker_.Post([this, request = std::move(request), done = std::move(done)](const JobControl& control) {
    Result result = RunOnWorker(request, control);
    if (done) done(std::move(result));
  });
}

Result Session::Run(Request request) {
  if (worker_.OnWorkerThread()) {
    Result r;
    r.status = Status::FromRecord(
        Record(E_FAIL, "a synchronous provider call was made from the provider's own worker thread", "HY010"));
    return r;
  }
  std::promise<Result> promise;
  std::future<Result> future = promise.get_future();
  Submit(std::move(request), [&promise](Result r) { promise.set_value(std::move(r)); });
  return future.get();
}

Result Session::RunOnWorker(const Request& request, const JobControl& control) {
  Result result;
  try {
    if (control.Cancelled()) {
      result.status = Status::FromRecord(Record(DB_E_CANCELED, "The operation was cancelled.", "HY008"));
    } else {
      switch (request.operation) {
        case Operation::Open:
          if (backend_->Connected()) {
            result.status = Status::Ado(3705, "Operation is not allowed when the object is open.");
          } else {
            result.status = backend_->Connect(control);
          }
          level_on_worker_ = 0;
          break;
        case Operation::Close:
          backend_->Disconnect();
          level_on_worker_ = 0;
          break;
        case Operation::Execute:
          if (!backend_->Connected()) {
            result.status = Status::Ado(3709,
                                        "The connection cannot be used to perform this operation. It is either "
                                        "closed or invalid in this context.");
          } else {
            backend_->Execute(request.command, control, result);
          }
          break;
        case Operation::BeginTrans:
        case Operation::CommitTrans:
        case Operation::RollbackTrans:
          Transaction(request.operation, control, result);
          break;
      }
    }
  } catch (const std::bad_alloc&) {
    result = Result{};
    result.status = Status::FromRecord(Record(E_OUTOFMEMORY, "Out of memory.", "HY001"));
  } catch (const std::exception& e) {
    result = Result{};
    result.status = Status::FromRecord(Record(E_FAIL, e.what(), "HY000"));
  }
  // A transaction the engine no longer has (ended by a lost connection or
  // by COMMIT/ROLLBACK in the command text) is no longer counted.
  if (!backend_->Connected() || !backend_->InTransaction()) level_on_worker_ = 0;
  result.connected = backend_->Connected();
  result.transactionLevel = level_on_worker_;
  level_.store(level_on_worker_, std::memory_order_release);
  connected_.store(result.connected, std::memory_order_release);
  return result;
}

Status Session::ExecuteSql(const char* sql, const JobControl& control) {
  CommandRequest command;
  command.text = sql;
  command.timeout = commandTimeout_;
  command.noRecords = true;
  Result r;
  backend_->Execute(command, control, r);
  return std::move(r.status);
}

void Session::Transaction(Operation operation, const JobControl& control, Result& result) {
  if (!backend_->Connected()) {
    result.status = Status::Ado(3709,
                                "The connection cannot be used to perform this operation. It is either closed "
                                "or invalid in this context.");
    return;
  }
  if (level_on_worker_ > 0 && !backend_->InTransaction()) level_on_worker_ = 0;
  const int level = level_on_worker_;
  if (operation == Operation::BeginTrans) {
    const std::string sql = level == 0 ? std::string("BEGIN") : "SAVEPOINT " + SavepointName(level + 1);
    result.status = ExecuteSql(sql.c_str(), control);
    if (result.status.ok()) level_on_worker_ = level + 1;
    return;
  }
  const bool commit = operation == Operation::CommitTrans;
  if (level == 0) {
    result.status = Status::FromRecord(Record(
        XACT_E_NOTRANSACTION,
        commit ? "No transaction is open: there is nothing to commit." : "No transaction is open: there is nothing to roll back.",
        "25000"));
    return;
  }
  if (level == 1) {
    if (commit && backend_->TransactionDoomed()) {
      // The engine would turn COMMIT into a silent rollback: roll back and
      // say so, rather than report a commit that did not happen.
      Status rollback = ExecuteSql("ROLLBACK", control);
      if (rollback.ok() || !backend_->InTransaction()) level_on_worker_ = 0;
      result.status = Status::FromRecord(
          Record(E_FAIL, "The transaction could not be committed because a statement in it failed; it was rolled back.",
                 "40000"));
      return;
    }
    result.status = ExecuteSql(commit ? "COMMIT" : "ROLLBACK", control);
    if (result.status.ok()) level_on_worker_ = 0;
    return;
  }
  const std::string name = SavepointName(level);
  if (!commit) {
    result.status = ExecuteSql(("ROLLBACK TO SAVEPOINT " + name).c_str(), control);
    if (!result.status.ok()) return;
  }
  result.status = ExecuteSql(("RELEASE SAVEPOINT " + name).c_str(), control);
  if (result.status.ok()) level_on_worker_ = level - 1;
}

}  // namespace tarnel::adodb::provider
