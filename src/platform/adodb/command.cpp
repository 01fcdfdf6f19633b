// Command: its properties, CreateParameter, and Execute, which hands the
// command text and the bound parameters to the Connection's statement run
// and lets the Connection write output values back when the run completes.
#include "platform/adodb/command.h"

#include "platform/adodb/adodb_error.h"
#include "platform/adodb/connection.h"
#include "platform/adodb/recordset.h"
#include "platform/automation/variant_convert.h"

namespace tarnel::adodb {

namespace {
constexpr std::int32_t kCommandTypeBits = adCmdText | adCmdTable | adCmdStoredProc | adCmdUnknown;
}

Command::Command() : parameters_(MakeObject<Parameters>()), properties_(MakeObject<Properties>()) {}

Command::~Command() = default;

ComPtr<Command> Command::Internal(Connection* connection, const UString& text) {
  ComPtr<Command> command = MakeObject<Command>();
  command->connection_ = connection;
  command->text_ = text;
  command->commandType_ = adCmdText;
  return command;
}

ComPtr<Dispatch> Command::GetProperties() { return properties_; }

Variant Command::GetActiveConnection() {
  return Variant(connection_ ? connection_->AsDispatch() : static_cast<Dispatch*>(nullptr));
}

void Command::LetActiveConnection(Variant& value) {
  if (GetState() != adStateClosed) RaiseAdo(adErrStillExecuting, kSrcCommand);
  const Variant v = value.Deref();
  if (v.IsEmpty() || v.IsNull() || (v.vt() == VT_DISPATCH && !v.pdispVal())) {
    connection_.Reset();
    return;
  }
  if (v.vt() == VT_DISPATCH) {
    auto* c = dynamic_cast<Connection*>(v.pdispVal());
    if (!c) RaiseAdo(adErrInvalidArgument, kSrcCommand);
    if (!c->IsOpen()) RaiseAdo(adErrInvalidConnection, kSrcCommand);
    connection_ = c;
    c->Track(this);
    return;
  }
  if (v.vt() == VT_BSTR) {
    // A connection string: the command opens a connection of its own.
    ComPtr<Connection> own = Connection::OpenOwn(v);
    connection_ = own;
    own->Track(this);
    return;
  }
  RaiseAdo(adErrInvalidArgument, kSrcCommand);
}

void Command::DetachConnection(Connection* connection) {
  if (connection_.get() == connection) connection_.Reset();
}

void Command::LetCommandTimeout(std::int32_t& value) {
  if (value < 0) RaiseAdo(adErrInvalidArgument, kSrcCommand);
  timeout_ = value;
}

void Command::LetPrepared(Variant& value) {
  Variant b;
  if (Failed(ChangeType(b, value.Deref(), 0, VT_BOOL))) RaiseAdo(adErrInvalidArgument, kSrcCommand);
  prepared_ = b.boolVal() != 0;
}

void Command::LetNamedParameters(Variant& value) {
  Variant b;
  if (Failed(ChangeType(b, value.Deref(), 0, VT_BOOL))) RaiseAdo(adErrInvalidArgument, kSrcCommand);
  namedParameters_ = b.boolVal() != 0;
}

void Command::LetCommandType(std::int32_t& value) {
  switch (value) {
    case adCmdUnspecified:
    case adCmdText:
    case adCmdTable:
    case adCmdStoredProc:
    case adCmdUnknown:
    case adCmdFile:
    case adCmdTableDirect:
      commandType_ = value;
      return;
    default:
      RaiseAdo(adErrInvalidArgument, kSrcCommand);
  }
}

std::int32_t Command::GetState() {
  if (lastRun_ && !lastRun_->ready.load(std::memory_order_acquire)) return adStateExecuting;
  return adStateClosed;
}

void Command::Cancel() {
  if (lastRun_ && connection_ && !lastRun_->ready.load(std::memory_order_acquire))
    connection_->CancelStatement(lastRun_);
}

Variant Command::GetCommandStream() { return Variant(static_cast<Dispatch*>(nullptr)); }

void Command::SetCommandStream(Variant&) { RaiseAdo(adErrFeatureNotAvailable, kSrcCommand); }

ComPtr<Dispatch> Command::CreateParameter(Variant& name, std::int32_t& type, std::int32_t& direction,
                                          std::int32_t& size, Variant& value) {
  ComPtr<Parameter> p = MakeObject<Parameter>();
  const Variant n = name.Deref();
  if (!n.IsMissing() && !n.IsEmpty()) {
    Variant text;
    if (Failed(ChangeType(text, n, 0, VT_BSTR))) RaiseAdo(adErrInvalidArgument, kSrcCommand);
    p->LetName(text.bstrVal());
  }
  p->LetType(type);
  p->LetDirection(direction);
  p->LetSize(size);
  if (!value.Deref().IsMissing()) p->LetValue(value);
  return p;
}

void Command::BuildRequest(StatementRequest& request, const Variant* overrides) {
  request.source = text_;
  request.commandType = commandType_ == adCmdUnspecified ? adCmdUnknown : commandType_;
  request.timeoutSeconds = timeout_;
  const std::vector<Variant>* given = nullptr;
  if (overrides) {
    const Variant& o = overrides->Target();
    if (o.IsArray()) {
      given = &o.parray()->Elements();
    } else if (!o.IsMissing() && !o.IsEmpty()) {
      RaiseAdo(adErrInvalidArgument, kSrcCommand);
    }
  }
  const std::vector<ComPtr<Parameter>>& items = parameters_->Items();
  for (std::size_t i = 0; i < items.size(); ++i) {
    const bool replaced = given && i < given->size() && !(*given)[i].IsMissing();
    request.parameters.push_back(items[i]->ToProvider(replaced ? &(*given)[i] : nullptr));
    request.parameterObjects.push_back(items[i]);
  }
}

ComPtr<Dispatch> Command::Execute(Variant& recordsAffected, Variant& parameters, std::int32_t& options) {
  ComPtr<Command> keep(this);
  ComPtr<Connection> connection(connection_);
  if (!connection || !connection->IsOpen()) RaiseAdo(adErrInvalidConnection, kSrcCommand);
  const std::int32_t opts = options == adOptionUnspecified ? 0 : options;
  constexpr std::int32_t kAllowed = kCommandTypeBits | adAsyncExecute | adAsyncFetch | adAsyncFetchNonBlocking |
                                    adExecuteNoRecords;
  if (opts & ~kAllowed) RaiseAdo(adErrInvalidArgument, kSrcCommand);
  if (commandType_ == adCmdFile || commandType_ == adCmdTableDirect) RaiseAdo(adErrInvalidArgument, kSrcCommand);
  StatementRequest request;
  BuildRequest(request, &parameters);
  if (opts & kCommandTypeBits) request.commandType = opts & kCommandTypeBits;
  request.options = opts & ~kCommandTypeBits;
  const std::int32_t location = connection->GetCursorLocation();
  request.cursorType = location == adUseClient ? adOpenStatic : adOpenForwardOnly;
  request.lockType = adLockReadOnly;
  request.command = this;
  ComPtr<Recordset> result;
  if (!(opts & adExecuteNoRecords)) {
    result = MakeObject<Recordset>();
    result->PrepareForStatement(connection.get(), text_, location, request.cursorType, request.lockType, this);
    request.target = result.get();
  }
  connection->RunStatement(request, adErrInvalidConnection, kSrcCommand, &recordsAffected);
  lastRun_ = request.started;
  return result;
}

}  // namespace tarnel::adodb
