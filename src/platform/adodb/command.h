// Command: a statement text (SQL with `?` placeholders, a table name or a
// stored procedure) bound to a Connection, with its Parameters, run with
// Execute synchronously or in the background (adAsyncExecute); output and
// input-output parameter values are readable after the run has completed.
// Apartment-thread only.
#pragma once
#include <memory>

#include "platform/adodb/adodb_enums.h"
#include "platform/adodb/adodb_weak.h"
#include "platform/adodb/parameters.h"
#include "platform/adodb/statement.h"

namespace tarnel::adodb {

class Connection;

class Command final : public DispatchObject<Command> {
 public:
  Command();
  ~Command() override;
  static const TypeInfo& Type();
  static const CoClassInfo* Class();
  // The Command that ExecuteComplete reports for Connection.Execute.
  static ComPtr<Command> Internal(Connection* connection, const UString& text);
  WeakRef<Command> WeakSelf() const { return anchor_.Ref(); }

  // _Command.
  ComPtr<Dispatch> GetProperties();
  Variant GetActiveConnection();
  void LetActiveConnection(Variant& value);
  UString GetCommandText() { return text_; }
  void LetCommandText(UString& value) { text_ = value; }
  std::int32_t GetCommandTimeout() { return timeout_; }
  void LetCommandTimeout(std::int32_t& value);
  bool GetPrepared() { return prepared_; }
  void LetPrepared(Variant& value);
  ComPtr<Dispatch> Execute(Variant& recordsAffected, Variant& parameters, std::int32_t& options);
  ComPtr<Dispatch> CreateParameter(Variant& name, std::int32_t& type, std::int32_t& direction, std::int32_t& size,
                                   Variant& value);
  ComPtr<Dispatch> GetParameters() { return parameters_; }
  std::int32_t GetCommandType() { return commandType_; }
  void LetCommandType(std::int32_t& value);
  UString GetName() { return name_; }
  void LetName(UString& value) { name_ = value; }
  std::int32_t GetState();
  void Cancel();
  Variant GetCommandStream();
  void SetCommandStream(Variant& value);
  UString GetDialect() { return dialect_; }
  void LetDialect(UString& value) { dialect_ = value; }
  bool GetNamedParameters() { return namedParameters_; }
  void LetNamedParameters(Variant& value);

  // For Connection and Recordset.
  Connection* ActiveConnection() const { return connection_.get(); }
  void DetachConnection(Connection* connection);
  // Fills the text, type, time-out and parameters of a statement;
  // `overrides` is Execute's array of input values, if given.
  void BuildRequest(StatementRequest& request, const Variant* overrides);

 private:
  WeakAnchor<Command> anchor_{this};
  ComPtr<Connection> connection_;
  UString text_;
  UString name_;
  UString dialect_ = u"{C8B521FB-5CF3-11CE-ADE5-00AA0044773D}";
  std::int32_t commandType_ = adCmdUnknown;
  std::int32_t timeout_ = 30;
  bool prepared_ = false;
  bool namedParameters_ = false;
  ComPtr<Parameters> parameters_;
  ComPtr<Properties> properties_;
  std::shared_ptr<AsyncSlot> lastRun_;
};

}  // namespace tarnel::adodb
