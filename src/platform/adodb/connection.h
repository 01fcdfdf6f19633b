// Connection: a session with a database through a provider (SQLite or
// PostgreSQL), opened synchronously or in the background (adAsyncConnect),
// running statements synchronously or in the background (adAsyncExecute)
// one after another in the order they were started, with transactions, the
// Errors collection and the ConnectionEvents. Will events run inside the
// call that causes them; the completion of background work is posted to the
// apartment of the thread that created the Connection and raised there
// (ConnectComplete, ExecuteComplete, and the recordset's fetch events).
// Apartment-thread only. Releasing the last reference cancels what still
// runs and joins the provider's worker thread.
#pragma once
#include <memory>
#include <vector>

#include "platform/adodb/adodb_events.h"
#include "platform/adodb/adodb_weak.h"
#include "platform/adodb/errors.h"
#include "platform/adodb/properties.h"
#include "platform/adodb/statement.h"

namespace tarnel {
class Apartment;
}

namespace tarnel::adodb {

class Command;
class Recordset;

class Connection final : public EventSourceObject<Connection> {
 public:
  Connection();
  ~Connection() override;
  static const TypeInfo& Type();
  static const CoClassInfo* Class();

  // _Connection.
  ComPtr<Dispatch> GetProperties();
  UString GetConnectionString() { return connectionString_; }
  void LetConnectionString(UString& value);
  std::int32_t GetCommandTimeout() { return commandTimeout_; }
  void LetCommandTimeout(std::int32_t& value);
  std::int32_t GetConnectionTimeout() { return connectionTimeout_; }
  void LetConnectionTimeout(std::int32_t& value);
  UString GetVersion() { return u"2.8"; }
  void Close();
  ComPtr<Dispatch> Execute(UString& commandText, Variant& recordsAffected, std::int32_t& options);
  std::int32_t BeginTrans();
  void CommitTrans();
  void RollbackTrans();
  void Open(Variant& connectionString, Variant& userId, Variant& password, std::int32_t& options);
  // A new connection opened synchronously from a connection string, for a
  // Command or Recordset given a string as its ActiveConnection.
  static ComPtr<Connection> OpenOwn(const Variant& connectionString);
  ComPtr<Dispatch> GetErrors();
  UString GetDefaultDatabase();
  void LetDefaultDatabase(UString& value);
  std::int32_t GetIsolationLevel() { return isolationLevel_; }
  void LetIsolationLevel(std::int32_t& value);
  std::int32_t GetAttributes() { return attributes_; }
  void LetAttributes(std::int32_t& value);
  std::int32_t GetCursorLocation() { return cursorLocation_; }
  void LetCursorLocation(std::int32_t& value);
  std::int32_t GetMode() { return mode_; }
  void LetMode(std::int32_t& value);
  UString GetProvider();
  void LetProvider(UString& value);
  std::int32_t GetState();
  ComPtr<Dispatch> OpenSchema(std::int32_t& schema, Variant& restrictions, Variant& schemaId);
  void Cancel();

  // For Recordset and Command (apartment thread).

  // Whether the connection is open (a finished background open counts).
  bool IsOpen();
  // Runs a statement: raises WillExecute, then runs it synchronously
  // (raising ExecuteComplete and, on failure, the error) or starts it in
  // the background (adAsyncExecute). `closedError` is what a closed
  // connection raises: 3704 for Connection.Execute, 3709 for the others.
  void RunStatement(StatementRequest& request, int closedError, const char16_t* source,
                    Variant* recordsAffected);
  // Hands an asynchronous statement's finished result over now (a
  // recordset touched before its completion message ran).
  void AdoptStatement(const std::shared_ptr<AsyncSlot>& slot);
  // Cancels one asynchronous statement: the engine stops it, its result
  // goes nowhere.
  void CancelStatement(const std::shared_ptr<AsyncSlot>& slot);
  // Its recordset was closed: the statement runs to its end (it may change
  // data), but its rows go nowhere.
  void DetachStatement(const std::shared_ptr<AsyncSlot>& slot);
  // Whether an asynchronous statement of this connection is running or
  // waiting to be handed over.
  bool HasPendingStatements() const { return !pending_.empty(); }
  // Runs a statement synchronously without events, for a recordset's
  // writes to its base table (and the schema queries), and raises its
  // failure. With `atMostOneRow` the statement runs inside its own
  // transaction (or savepoint) that is rolled back, with an error, when it
  // touched more than one row. A `write` made inside the caller's
  // transaction runs in a savepoint of its own, so that its failure leaves
  // that transaction as it was on every engine. The result's
  // `recordsAffected` is the rows it touched.
  provider::Result RunInternal(provider::CommandRequest request, const char16_t* source, bool atMostOneRow,
                               bool write = false);
  // Registers objects that Close must reach.
  void Track(Recordset* recordset);
  void Track(Command* command);
  Errors& ErrorsCollection() { return *errors_; }
  const UString& ProviderName() const { return providerName_; }

 private:
  enum class Phase { Closed, Connecting, Open };

  struct ConnectSlot {
    std::atomic<bool> ready{false};
    provider::Result result;   // written by the worker before `ready`
    bool abandoned = false;    // apartment thread: closed or cancelled meanwhile
  };

  void RequireUsable(int closedError, const char16_t* source);
  void SettleConnect();
  void FinishConnect(provider::Result& result);
  void DeliverConnect(const std::shared_ptr<ConnectSlot>& slot);
  void DeliverStatement(const std::shared_ptr<AsyncSlot>& slot);
  void Adopt(PendingStatement& entry, provider::Result& result);
  void RaiseExecuteComplete(const PendingStatement& entry, const provider::Result& result, Recordset* target);
  void RaiseWillExecuteCancelled(StatementRequest& request, const char16_t* source);
  void RaiseTransactionEvent(DispId id, const provider::Result& result, std::int32_t level);
  void RaiseInfoMessages(const provider::Status& status);
  std::int32_t Transaction(provider::Operation operation, DispId eventId);
  void DropSession();
  ComPtr<Error> CancelledError() const;

  WeakAnchor<Connection> anchor_{this};
  std::shared_ptr<Apartment> apartment_;
  std::unique_ptr<provider::Session> session_;
  Phase phase_ = Phase::Closed;
  std::shared_ptr<ConnectSlot> connecting_;
  provider::JobId connectJob_ = 0;
  std::vector<PendingStatement> pending_;
  std::vector<WeakRef<Recordset>> recordsets_;
  std::vector<WeakRef<Command>> commands_;

  UString connectionString_;
  UString providerName_ = u"SQLite";
  std::int32_t commandTimeout_ = 30;
  std::int32_t connectionTimeout_ = 15;
  std::int32_t isolationLevel_ = adXactReadCommitted;
  std::int32_t attributes_ = 0;
  std::int32_t cursorLocation_ = adUseServer;
  std::int32_t mode_ = adModeUnknown;
  ComPtr<Errors> errors_;
  ComPtr<Properties> properties_;
};

// Raises a failed provider status as the caller's error: its number, its
// description and the provider's source (or `source` for the object
// model's own errors).
[[noreturn]] void RaiseStatus(const provider::Status& status, const char16_t* source);

}  // namespace tarnel::adodb
