// Running statements on a Connection: WillExecute, the synchronous and the
// background run through the provider session, handing the result over to
// the recordset and the output parameters, and ExecuteComplete. Background
// results travel from the provider's worker to the apartment in an
// AsyncSlot; the completion message raises the events, and a recordset that
// is touched earlier takes its rows over at once.
#include <algorithm>
#include <limits>

#include "platform/adodb/adodb_error.h"
#include "platform/adodb/command.h"
#include "platform/adodb/connection.h"
#include "platform/adodb/parameters.h"
#include "platform/adodb/recordset.h"
#include "platform/apartment/apartment.h"

namespace tarnel::adodb {

namespace {

constexpr DispId kWillExecute = 4;
constexpr DispId kExecuteComplete = 5;
constexpr std::int32_t kCommandTypeBits = adCmdText | adCmdTable | adCmdStoredProc | adCmdUnknown;

std::int32_t Clamp32(std::int64_t v) {
  if (v > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
  if (v < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(v);
}

CommandTypeEnum ProviderCommandType(std::int32_t type) {
  switch (type) {
    case adCmdTable: return adCmdTable;
    case adCmdStoredProc: return adCmdStoredProc;
    default: return adCmdText;
  }
}

provider::ErrorRecord RecordOfStatus(const provider::Status& status) {
  if (!status.errors.empty()) return status.errors.front();
  return provider::ErrorRecord{status.number, status.description, ToUtf8(kSrcConnection), "", 0};
}

}  // namespace

ComPtr<Dispatch> Connection::Execute(UString& commandText, Variant& recordsAffected, std::int32_t& options) {
  ComPtr<Connection> keep(this);
  RequireUsable(adErrObjectClosed, kSrcConnection);
  const std::int32_t opts = options == adOptionUnspecified ? 0 : options;
  constexpr std::int32_t kAllowed = kCommandTypeBits | adAsyncExecute | adAsyncFetch | adAsyncFetchNonBlocking |
                                    adExecuteNoRecords;
  if (opts & ~kAllowed) RaiseAdo(adErrInvalidArgument, kSrcConnection);
  StatementRequest request;
  request.source = commandText;
  request.commandType = (opts & kCommandTypeBits) ? (opts & kCommandTypeBits) : adCmdUnknown;
  request.options = opts & ~kCommandTypeBits;
  request.timeoutSeconds = commandTimeout_;
  request.cursorType = cursorLocation_ == adUseClient ? adOpenStatic : adOpenForwardOnly;
  request.lockType = adLockReadOnly;
  ComPtr<Recordset> result;
  if (!(opts & adExecuteNoRecords)) {
    result = MakeObject<Recordset>();
    result->PrepareForStatement(this, commandText, cursorLocation_, request.cursorType, request.lockType, nullptr);
    request.target = result.get();
  }
  RunStatement(request, adErrObjectClosed, kSrcConnection, &recordsAffected);
  return result;
}

void Connection::RaiseWillExecuteCancelled(StatementRequest& request, const char16_t* source) {
  if (Wants(kExecuteComplete)) {
    PendingStatement entry;
    entry.command = request.command ? request.command->WeakSelf() : WeakRef<Command>();
    entry.source = request.source;
    entry.cancelled = true;
    provider::Result none;
    RaiseExecuteComplete(entry, none, request.target);
  }
  RaiseAdo(adErrOperationCancelled, source);
}

void Connection::RunStatement(StatementRequest& request, int closedError, const char16_t* source,
                              Variant* recordsAffected) {
  ComPtr<Connection> keep(this);
  ComPtr<Recordset> target(request.target);
  RequireUsable(closedError, source);

  UString text = request.source;
  std::int32_t commandType = request.commandType;
  std::int32_t options = request.options;
  if (Wants(kWillExecute)) {
    std::int32_t cursorType = request.cursorType;
    std::int32_t lockType = request.lockType;
    std::int32_t combined = options | commandType;
    std::int32_t status = adStatusOK;
    std::vector<Variant> args{Variant::RefTyped(VT_BSTR, &text),
                              LongRef(cursorType),
                              LongRef(lockType),
                              LongRef(combined),
                              LongRef(status),
                              ObjectArg(request.command ? request.command->AsDispatch() : nullptr),
                              ObjectArg(request.targetInWillExecute && target ? target->AsDispatch() : nullptr),
                              ObjectArg(AsDispatch())};
    Raise(kWillExecute, args, status);
    if (status == adStatusCancel) RaiseWillExecuteCancelled(request, source);
    // A handler may have closed the connection meanwhile.
    RequireUsable(closedError, source);
    commandType = (combined & kCommandTypeBits) ? (combined & kCommandTypeBits) : adCmdUnknown;
    options = combined & ~kCommandTypeBits;
    if (target && request.targetInWillExecute) target->ApplyCursorRequest(cursorType, lockType);
  }

  provider::CommandRequest command;
  command.text = ToUtf8(text);
  command.type = ProviderCommandType(commandType);
  command.parameters = std::move(request.parameters);
  command.timeout = provider::milliseconds(std::int64_t{request.timeoutSeconds} * 1000);
  command.maxRecords = request.maxRecords;
  command.noRecords = (options & adExecuteNoRecords) != 0 || !target;

  PendingStatement entry;
  if (target) entry.target = target->WeakSelf();
  if (request.command) entry.command = request.command->WeakSelf();
  entry.parameterObjects = std::move(request.parameterObjects);
  entry.source = text;
  if (target) target->SetExecutedSource(text);

  if (options & adAsyncExecute) {
    auto slot = std::make_shared<AsyncSlot>();
    entry.slot = slot;
    request.started = slot;
    if (target) target->BeginPending(slot);
    entry.job = session_->ExecuteAsync(
        std::move(command), [slot, anchor = anchor_.Ref(), apartment = apartment_](provider::Result result) {
          slot->result = std::move(result);
          slot->ready.store(true, std::memory_order_release);
          apartment->Post([slot, anchor] {
            if (Connection* c = anchor.get()) c->DeliverStatement(slot);
          });
        });
    pending_.push_back(std::move(entry));
    return;
  }

  provider::Result result = session_->Execute(std::move(command));
  Adopt(entry, result);
  if (recordsAffected) *recordsAffected = Variant(Clamp32(result.recordsAffected));
  RaiseExecuteComplete(entry, result, target.get());
  if (!result.status.ok()) RaiseStatus(result.status, source);
  RaiseInfoMessages(result.status);
}

void Connection::Adopt(PendingStatement& entry, provider::Result& result) {
  if (entry.slot) entry.slot->adopted = true;
  if (!result.status.ok()) {
    errors_->Fill(result.status.errors);
  } else if (!result.status.warnings.empty()) {
    errors_->Fill(result.status.warnings);
  }
  if (result.status.ok() && !entry.cancelled) {
    const std::size_t n = std::min(entry.parameterObjects.size(), result.outputs.size());
    for (std::size_t i = 0; i < n; ++i) entry.parameterObjects[i]->TakeOutput(result.outputs[i]);
  }
  if (entry.cancelled || entry.detached) return;
  if (Recordset* rs = entry.target.get()) rs->AdoptResult(result);
}

void Connection::AdoptStatement(const std::shared_ptr<AsyncSlot>& slot) {
  for (PendingStatement& p : pending_) {
    if (p.slot != slot) continue;
    if (slot->ready.load(std::memory_order_acquire) && !slot->adopted) Adopt(p, slot->result);
    return;
  }
}

void Connection::CancelStatement(const std::shared_ptr<AsyncSlot>& slot) {
  for (PendingStatement& p : pending_) {
    if (p.slot != slot || p.cancelled) continue;
    p.cancelled = true;
    if (session_) session_->Cancel(p.job);
    return;
  }
}

void Connection::DetachStatement(const std::shared_ptr<AsyncSlot>& slot) {
  for (PendingStatement& p : pending_) {
    if (p.slot == slot) p.detached = true;
  }
}

void Connection::DeliverStatement(const std::shared_ptr<AsyncSlot>& slot) {
  ComPtr<Connection> keep(this);
  auto it = std::find_if(pending_.begin(), pending_.end(), [&](const PendingStatement& p) { return p.slot == slot; });
  if (it == pending_.end()) return;
  PendingStatement entry = std::move(*it);
  pending_.erase(it);
  provider::Result& result = slot->result;
  ComPtr<Recordset> target(entry.cancelled || entry.detached ? nullptr : entry.target.get());
  if (target) target->RaiseFetchProgress(result);
  if (!slot->adopted) Adopt(entry, result);
  if (target) target->RaiseFetchComplete(result);
  RaiseExecuteComplete(entry, result, entry.target.get());
  RaiseInfoMessages(result.status);
}

void Connection::RaiseExecuteComplete(const PendingStatement& entry, const provider::Result& result,
                                      Recordset* target) {
  if (!Wants(kExecuteComplete)) return;
  std::int32_t status = adStatusOK;
  ComPtr<Error> error;
  if (!result.status.ok()) {
    error = MakeObject<Error>(RecordOfStatus(result.status));
  } else if (entry.cancelled) {
    error = CancelledError();
  }
  if (error) status = adStatusErrorsOccurred;
  ComPtr<Command> command(entry.command.get());
  if (!command) command = Command::Internal(this, entry.source);
  ComPtr<Recordset> keepTarget(target);
  std::vector<Variant> args{Variant(Clamp32(result.recordsAffected)),
                            ObjectArg(error.get()),
                            LongRef(status),
                            ObjectArg(command->AsDispatch()),
                            ObjectArg(target ? target->AsDispatch() : nullptr),
                            ObjectArg(AsDispatch())};
  Raise(kExecuteComplete, args, status);
}

provider::Result Connection::RunInternal(provider::CommandRequest request, const char16_t* source,
                                         bool atMostOneRow, bool write) {
  RequireUsable(adErrInvalidConnection, source);
  const bool guarded = atMostOneRow || (write && session_->TransactionLevel() > 0);
  if (guarded) {
    provider::Result begun = session_->BeginTrans();
    if (!begun.status.ok()) {
      errors_->Fill(begun.status.errors);
      RaiseStatus(begun.status, source);
    }
  }
  provider::Result result = session_->Execute(std::move(request));
  if (result.status.ok()) {
    const provider::ResultSet* rows = nullptr;
    for (const provider::ResultSet& set : result.sets) {
      if (set.rows) rows = &set;
    }
    if (rows) result.recordsAffected = static_cast<std::int64_t>(rows->rows->RowCount());
  }
  if (!guarded) {
    if (!result.status.ok()) {
      errors_->Fill(result.status.errors);
      RaiseStatus(result.status, source);
    }
    return result;
  }
  if (result.status.ok() && (!atMostOneRow || result.recordsAffected <= 1)) {
    provider::Result committed = session_->CommitTrans();
    if (!committed.status.ok()) {
      errors_->Fill(committed.status.errors);
      RaiseStatus(committed.status, source);
    }
    return result;
  }
  session_->RollbackTrans();
  if (!result.status.ok()) {
    errors_->Fill(result.status.errors);
    RaiseStatus(result.status, source);
  }
  RaiseHResult(E_FAIL, u"Key column information is insufficient or incorrect. Too many rows were affected by update.",
               source);
}

}  // namespace tarnel::adodb
