// Recordset: opening (on a connection, from a command, or fabricated from
// appended fields), taking over the rows of a statement, closing, Requery,
// NextRecordset, the state and the properties that depend on it.
// Navigation is in recordset_move.cpp, editing in recordset_edit.cpp,
// ordering and searching in recordset_search.cpp.
#include "platform/adodb/recordset.h"

#include "platform/adodb/adodb_error.h"
#include "platform/adodb/adodb_types.h"
#include "platform/adodb/command.h"
#include "platform/adodb/connection.h"
#include "platform/adodb/fields.h"
#include "platform/automation/variant_convert.h"

namespace tarnel::adodb {

namespace {

constexpr DispId kWillChangeRecordset = 13;
constexpr DispId kRecordsetChangeComplete = 14;
constexpr DispId kFetchProgress = 18;
constexpr DispId kFetchComplete = 19;
constexpr std::int32_t kCommandTypeBits = adCmdText | adCmdTable | adCmdStoredProc | adCmdUnknown;

const provider::ResultSet* FirstRows(const provider::Result& result) {
  for (const provider::ResultSet& set : result.sets) {
    if (set.rows) return &set;
  }
  return nullptr;
}

}  // namespace

Recordset::Recordset()
    : EventSourceObject<Recordset>(RecordsetEventsType()),
      fields_(MakeObject<Fields>(this)),
      properties_(MakeObject<Properties>()) {
  properties_->Add(u"Initial Fetch Size", adInteger, Variant(std::int32_t{50}), adPropRead | adPropWrite);
  properties_->Add(u"Unique Table", adVarWChar, Variant(u""), adPropRead | adPropWrite);
  properties_->Add(u"Update Criteria", adInteger, Variant(std::int32_t{1}), adPropRead | adPropWrite);
}

Recordset::~Recordset() {
  // A statement still running goes on (it may change data); its rows find
  // no recordset when they arrive.
  fields_->OwnerGone();
}

ComPtr<Dispatch> Recordset::GetProperties() { return properties_; }
ComPtr<Dispatch> Recordset::GetFields() { return fields_; }

// --- State -------------------------------------------------------------

void Recordset::RequireOpen() {
  if (phase_ != Phase::Open) [[unlikely]]
    RequireOpenSlow();
}

void Recordset::RequireOpenSlow() {
  if (phase_ == Phase::Pending && pending_->ready.load(std::memory_order_acquire) && connection_) {
    ComPtr<Recordset> keep(this);
    ComPtr<Connection> connection(connection_);
    connection->AdoptStatement(pending_);
  }
  if (phase_ == Phase::Pending) RaiseAdo(adErrStillExecuting, kSrcRecordset);
  if (phase_ != Phase::Open) RaiseAdo(adErrObjectClosed, kSrcRecordset);
}

void Recordset::RequireClosed() {
  if (phase_ == Phase::Pending) RaiseAdo(adErrStillExecuting, kSrcRecordset);
  if (phase_ != Phase::Closed) RaiseAdo(adErrObjectOpen, kSrcRecordset);
}

std::int32_t Recordset::GetState() {
  switch (phase_) {
    case Phase::Closed: return adStateClosed;
    case Phase::Open: return adStateOpen;
    case Phase::Pending: break;
  }
  return pending_->ready.load(std::memory_order_acquire) ? adStateFetching : adStateExecuting;
}

const provider::ColumnInfo& Recordset::Column(std::size_t col) const {
  return store_ ? store_->Columns()[col] : definitions_[col];
}

std::size_t Recordset::ColumnCount() const { return store_ ? store_->ColumnCount() : definitions_.size(); }

Variant Recordset::FieldValueSlow(std::size_t col) {
  RequireOpen();
  if (!hasRow_) RaiseAdo(adErrNoCurrentRecord, kSrcField);
  return CellVariant(*store_, row_, col);
}

// --- Receiving rows --------------------------------------------------------

void Recordset::PrepareForStatement(Connection* connection, const UString& source, std::int32_t cursorLocation,
                                    std::int32_t cursorType, std::int32_t lockType, Command* command) {
  connection_ = connection;
  connectionString_.clear();
  source_ = source;
  command_ = command;
  cursorLocation_ = cursorLocation;
  ApplyCursorRequest(cursorType, lockType);
  if (connection) connection->Track(this);
}

void Recordset::ApplyCursorRequest(std::int32_t cursorType, std::int32_t lockType) {
  if (cursorLocation_ == adUseClient) {
    // The client cursor is always static; it cannot lock pessimistically.
    cursorType_ = adOpenStatic;
    lockType_ = lockType == adLockPessimistic ? adLockOptimistic : lockType;
  } else {
    // Server cursors read the fetched rows: forward-only when asked for,
    // otherwise static (keyset and dynamic are served as static).
    cursorType_ = cursorType == adOpenForwardOnly || cursorType == adOpenUnspecified ? adOpenForwardOnly : adOpenStatic;
    lockType_ = lockType;
  }
  if (lockType_ == adLockUnspecified) lockType_ = adLockReadOnly;
}

void Recordset::BeginPending(std::shared_ptr<AsyncSlot> slot) {
  pending_ = std::move(slot);
  phase_ = Phase::Pending;
}

void Recordset::AdoptResult(provider::Result& result) {
  pending_.reset();
  phase_ = Phase::Closed;
  more_.clear();
  if (!result.status.ok()) return;
  std::size_t first = result.sets.size();
  for (std::size_t i = 0; i < result.sets.size(); ++i) {
    if (result.sets[i].rows) {
      first = i;
      break;
    }
  }
  // The statements after the one whose rows are shown stay for
  // NextRecordset; a result without rows leaves the recordset closed.
  const std::size_t rest = first == result.sets.size() ? 1 : first + 1;
  for (std::size_t i = rest; i < result.sets.size(); ++i) more_.push_back(result.sets[i]);
  if (first < result.sets.size()) BindRows(result.sets[first].rows);
}

void Recordset::BindRows(std::shared_ptr<provider::RowStore> store) {
  store_ = std::move(store);
  const std::size_t n = store_->RowCount();
  order_.resize(n);
  for (std::size_t i = 0; i < n; ++i) order_[i] = static_cast<std::uint32_t>(i);
  pos_ = 0;
  currentDeleted_ = false;
  editMode_ = adEditNone;
  original_.clear();
  batch_.clear();
  discardedRows_.clear();
  phase_ = Phase::Open;
  fields_->BindColumns(store_->ColumnCount());
  const Variant& filter = filter_;
  const bool filtered = !(filter.vt() == VT_I4 && filter.lVal() == adFilterNone) &&
                        !(filter.vt() == VT_BSTR && filter.bstrVal().empty());
  if (filtered || !sort_.empty()) {
    ApplyOrder();
  } else {
    SyncRow();
  }
}

void Recordset::AbandonPending() {
  if (phase_ != Phase::Pending) return;
  CloseInternal();
}

void Recordset::CloseForConnection(Connection* connection) {
  if (connection_.get() != connection || phase_ != Phase::Open) return;
  CloseInternal();
}

void Recordset::CloseInternal() {
  fields_->Unbind();
  store_.reset();
  order_.clear();
  more_.clear();
  pending_.reset();
  phase_ = Phase::Closed;
  hasRow_ = false;
  currentDeleted_ = false;
  pos_ = 0;
  editMode_ = adEditNone;
  original_.clear();
  batch_.clear();
  discardedRows_.clear();
  cursorType_ = requestedCursorType_;
  lockType_ = requestedLockType_;
}

void Recordset::OpenFabricated() {
  cursorLocation_ = adUseClient;
  ApplyCursorRequest(requestedCursorType_, requestedLockType_);
  BindRows(std::make_shared<provider::RowStore>(definitions_));
}

void Recordset::OpenRowCopy(Recordset& from) {
  from.RequireOpen();
  if (!from.hasRow_) RaiseAdo(adErrNoCurrentRecord, kSrcRecord);
  const provider::RowStore& store = *from.store_;
  auto copy = std::make_shared<provider::RowStore>(store.Columns());
  copy->AppendRow();
  for (std::size_t c = 0; c < store.ColumnCount(); ++c) copy->Set(0, c, store.Get(from.row_, c));
  connection_ = from.connection_;
  cursorLocation_ = adUseClient;
  requestedLockType_ = adLockOptimistic;
  ApplyCursorRequest(adOpenStatic, adLockOptimistic);
  BindRows(std::move(copy));
}

// --- Open, Close, Requery ----------------------------------------------------

Connection* Recordset::ResolveConnection(Variant& activeConnection) {
  const Variant v = activeConnection.Deref();
  if (v.IsMissing()) return connection_.get();
  if (v.IsEmpty() || v.IsNull() || (v.vt() == VT_DISPATCH && !v.pdispVal())) return nullptr;
  if (v.vt() == VT_DISPATCH) {
    auto* c = dynamic_cast<Connection*>(v.pdispVal());
    if (!c) RaiseAdo(adErrInvalidArgument, kSrcRecordset);
    return c;
  }
  if (v.vt() == VT_BSTR) {
    // A connection string: the recordset opens a connection of its own.
    ComPtr<Connection> own = Connection::OpenOwn(v);
    connection_ = own;
    return own.get();
  }
  RaiseAdo(adErrInvalidArgument, kSrcRecordset);
}

void Recordset::Open(Variant& source, Variant& activeConnection, std::int32_t& cursorType, std::int32_t& lockType,
                     std::int32_t& options) {
  ComPtr<Recordset> keep(this);
  RequireClosed();
  const std::int32_t opts = options == adOptionUnspecified ? 0 : options;
  if (opts & adCmdFile) RaiseAdo(adErrFeatureNotAvailable, kSrcRecordset);
  if (opts & ~(kCommandTypeBits | adCmdTableDirect | adAsyncExecute | adAsyncFetch | adAsyncFetchNonBlocking))
    RaiseAdo(adErrInvalidArgument, kSrcRecordset);
  if (cursorType < adOpenUnspecified || cursorType > adOpenStatic) RaiseAdo(adErrInvalidArgument, kSrcRecordset);
  if (lockType < adLockUnspecified || lockType == 0 || lockType > adLockBatchOptimistic)
    RaiseAdo(adErrInvalidArgument, kSrcRecordset);

  // The source: a command text or table name, or a Command object.
  const Variant src = source.Deref();
  ComPtr<Command> command;
  UString text = source_;
  if (src.IsMissing()) {
    command = command_;
  } else if (src.vt() == VT_DISPATCH && src.pdispVal()) {
    command = dynamic_cast<Command*>(src.pdispVal());
    if (!command) RaiseAdo(adErrInvalidArgument, kSrcRecordset);
  } else if (src.vt() == VT_BSTR) {
    text = src.bstrVal();
  } else if (!src.IsEmpty() && !src.IsNull()) {
    RaiseAdo(adErrInvalidArgument, kSrcRecordset);
  }
  if (command) text = command->GetCommandText();

  ComPtr<Connection> connection(ResolveConnection(activeConnection));
  if (!connection && command) connection = command->ActiveConnection();
  if (cursorType != adOpenUnspecified) requestedCursorType_ = cursorType;
  if (lockType != adLockUnspecified) requestedLockType_ = lockType;

  if (!connection) {
    if (text.empty() && !command && !definitions_.empty()) {
      OpenFabricated();
      return;
    }
    RaiseAdo(adErrInvalidConnection, kSrcRecordset);
  }
  if (!connection->IsOpen()) RaiseAdo(adErrInvalidConnection, kSrcRecordset);
  if (!cursorLocationSet_) cursorLocation_ = connection->GetCursorLocation();

  StatementRequest request;
  if (command) {
    command->BuildRequest(request, nullptr);
  } else {
    request.source = text;
    request.timeoutSeconds = connection->GetCommandTimeout();
  }
  std::int32_t type = opts & (kCommandTypeBits | adCmdTableDirect);
  if (type == adCmdTableDirect) type = adCmdTable;
  if (type != 0) request.commandType = type & kCommandTypeBits;
  request.options = opts & ~(kCommandTypeBits | adCmdTableDirect);
  request.cursorType = requestedCursorType_;
  request.lockType = requestedLockType_;
  request.maxRecords = maxRecords_;
  request.command = command.get();
  request.target = this;
  request.targetInWillExecute = true;
  PrepareForStatement(connection.get(), text, cursorLocation_, requestedCursorType_, requestedLockType_,
                      command.get());
  commandType_ = request.commandType;
  openOptions_ = request.options;
  connection->RunStatement(request, adErrInvalidConnection, kSrcRecordset, nullptr);
}

void Recordset::Close() {
  ComPtr<Recordset> keep(this);
  if (phase_ == Phase::Pending) {
    // Closing drops the rows, not the statement: one that changes data
    // runs to its end (Cancel stops it).
    ComPtr<Connection> connection(connection_);
    if (connection) connection->DetachStatement(pending_);
    CloseInternal();
    return;
  }
  if (phase_ == Phase::Closed) RaiseAdo(adErrObjectClosed, kSrcRecordset);
  if (editMode_ != adEditNone && lockType_ != adLockBatchOptimistic) RaiseAdo(adErrIllegalOperation, kSrcRecordset);
  if (!RaiseWillChangeRecordset(adRsnClose)) RaiseAdo(adErrOperationCancelled, kSrcRecordset);
  CloseInternal();
  RaiseRecordsetChangeComplete(adRsnClose, nullptr);
}

void Recordset::Requery(std::int32_t& options) {
  ComPtr<Recordset> keep(this);
  RequireOpen();
  if (editMode_ != adEditNone) RaiseAdo(adErrIllegalOperation, kSrcRecordset);
  ComPtr<Connection> connection(connection_);
  if (!connection) RaiseAdo(adErrInvalidConnection, kSrcRecordset);
  if (!connection->IsOpen()) RaiseAdo(adErrInvalidConnection, kSrcRecordset);
  const std::int32_t opts = options == adOptionUnspecified ? openOptions_ : options;
  if (opts & ~(adAsyncExecute | adAsyncFetch | adAsyncFetchNonBlocking)) RaiseAdo(adErrInvalidArgument, kSrcRecordset);
  if (!RaiseWillChangeRecordset(adRsnRequery)) RaiseAdo(adErrOperationCancelled, kSrcRecordset);

  StatementRequest request;
  if (command_) {
    command_->BuildRequest(request, nullptr);
  } else {
    request.source = source_;
    request.commandType = commandType_;
    request.timeoutSeconds = connection->GetCommandTimeout();
  }
  request.options = opts;
  request.cursorType = requestedCursorType_;
  request.lockType = requestedLockType_;
  request.maxRecords = maxRecords_;
  request.command = command_.get();
  request.target = this;
  request.targetInWillExecute = true;
  const std::int32_t location = cursorLocation_;
  CloseInternal();
  cursorLocation_ = location;
  ApplyCursorRequest(requestedCursorType_, requestedLockType_);
  try {
    connection->RunStatement(request, adErrInvalidConnection, kSrcRecordset, nullptr);
  } catch (const ComError& e) {
    ComPtr<Error> error =
        MakeObject<Error>(provider::ErrorRecord{e.hr(), ToUtf8(e.Description()), ToUtf8(e.Source()), "", 0});
    RaiseRecordsetChangeComplete(adRsnRequery, error.get());
    throw;
  }
  RaiseRecordsetChangeComplete(adRsnRequery, nullptr);
}

void Recordset::Cancel() {
  if (phase_ != Phase::Pending) return;
  ComPtr<Recordset> keep(this);
  ComPtr<Connection> connection(connection_);
  if (connection) connection->CancelStatement(pending_);
  CloseInternal();
}

ComPtr<Dispatch> Recordset::NextRecordset(Variant& recordsAffected) {
  ComPtr<Recordset> keep(this);
  if (phase_ == Phase::Pending) RequireOpenSlow();
  if (editMode_ != adEditNone) RaiseAdo(adErrIllegalOperation, kSrcRecordset);
  std::vector<provider::ResultSet> rest;
  rest.swap(more_);
  CloseInternal();
  if (rest.empty()) return {};
  provider::ResultSet next = std::move(rest.front());
  rest.erase(rest.begin());
  ComPtr<Recordset> rs = MakeObject<Recordset>();
  rs->requestedCursorType_ = requestedCursorType_;
  rs->requestedLockType_ = requestedLockType_;
  rs->PrepareForStatement(connection_.get(), source_, cursorLocation_, requestedCursorType_, requestedLockType_,
                          command_.get());
  if (next.rows) rs->BindRows(next.rows);
  rs->more_ = std::move(rest);
  recordsAffected = Variant(static_cast<std::int32_t>(next.recordsAffected));
  return rs;
}

// --- Properties that depend on the state -------------------------------------

Variant Recordset::GetActiveConnection() {
  if (connection_) return Variant(connection_->AsDispatch());
  if (!connectionString_.empty()) return Variant(connectionString_);
  return Variant(static_cast<Dispatch*>(nullptr));
}

void Recordset::LetActiveConnection(Variant& value) {
  if (phase_ == Phase::Pending) RaiseAdo(adErrStillExecuting, kSrcRecordset);
  if (command_ && phase_ == Phase::Open) RaiseAdo(adErrBoundToCommand, kSrcRecordset);
  const Variant v = value.Deref();
  const bool nothing = v.IsEmpty() || v.IsNull() || (v.vt() == VT_DISPATCH && !v.pdispVal());
  if (phase_ == Phase::Open) {
    // Only a client cursor can be disconnected from, or given, a connection
    // while it is open (its rows are all here).
    if (cursorLocation_ != adUseClient) RaiseAdo(adErrObjectOpen, kSrcRecordset);
    if (nothing) {
      connection_.Reset();
      return;
    }
  }
  if (nothing) {
    connection_.Reset();
    connectionString_.clear();
    return;
  }
  if (v.vt() == VT_DISPATCH) {
    auto* c = dynamic_cast<Connection*>(v.pdispVal());
    if (!c) RaiseAdo(adErrInvalidArgument, kSrcRecordset);
    connection_ = c;
    connectionString_.clear();
    if (phase_ == Phase::Open) c->Track(this);
    return;
  }
  if (v.vt() == VT_BSTR && phase_ == Phase::Closed) {
    connectionString_ = v.bstrVal();
    connection_.Reset();
    return;
  }
  RaiseAdo(adErrInvalidArgument, kSrcRecordset);
}

Variant Recordset::GetSource() {
  if (command_) return Variant(command_->GetCommandText());
  return Variant(source_);
}

void Recordset::LetSource(Variant& value) {
  RequireClosed();
  const Variant v = value.Deref();
  if (v.vt() == VT_DISPATCH) {
    auto* c = v.pdispVal() ? dynamic_cast<Command*>(v.pdispVal()) : nullptr;
    if (!c) RaiseAdo(adErrInvalidArgument, kSrcRecordset);
    command_ = c;
    source_.clear();
    return;
  }
  Variant text;
  if (Failed(ChangeType(text, v, 0, VT_BSTR))) RaiseAdo(adErrInvalidArgument, kSrcRecordset);
  source_ = text.bstrVal();
  command_.Reset();
}

Variant Recordset::GetActiveCommand() { return Variant(command_ ? command_->AsDispatch() : nullptr); }

void Recordset::LetCacheSize(std::int32_t& value) {
  if (value < 1) RaiseAdo(adErrInvalidArgument, kSrcRecordset);
  cacheSize_ = value;
}

void Recordset::LetCursorType(std::int32_t& value) {
  RequireClosed();
  if (value < adOpenUnspecified || value > adOpenStatic) RaiseAdo(adErrInvalidArgument, kSrcRecordset);
  requestedCursorType_ = value == adOpenUnspecified ? adOpenForwardOnly : value;
  cursorType_ = requestedCursorType_;
}

void Recordset::LetLockType(std::int32_t& value) {
  RequireClosed();
  if (value < adLockUnspecified || value == 0 || value > adLockBatchOptimistic)
    RaiseAdo(adErrInvalidArgument, kSrcRecordset);
  requestedLockType_ = value == adLockUnspecified ? adLockReadOnly : value;
  lockType_ = requestedLockType_;
}

void Recordset::LetMaxRecords(std::int32_t& value) {
  RequireClosed();
  if (value < 0) RaiseAdo(adErrInvalidArgument, kSrcRecordset);
  maxRecords_ = value;
}

void Recordset::LetCursorLocation(std::int32_t& value) {
  RequireClosed();
  if (value < adUseNone || value > adUseClient) RaiseAdo(adErrInvalidArgument, kSrcRecordset);
  cursorLocation_ = value;
  cursorLocationSet_ = true;
}

void Recordset::LetMarshalOptions(std::int32_t& value) {
  if (value != 0 && value != 1) RaiseAdo(adErrInvalidArgument, kSrcRecordset);
  marshalOptions_ = value;
}

void Recordset::LetPageSize(std::int32_t& value) {
  if (value < 1) RaiseAdo(adErrInvalidArgument, kSrcRecordset);
  pageSize_ = value;
}

std::int32_t Recordset::GetRecordCount() {
  RequireOpen();
  return Scrollable() ? static_cast<std::int32_t>(Count()) : -1;
}

bool Recordset::Supports(std::int32_t& cursorOptions) {
  std::int32_t have = adNotify | adHoldRecords;
  if (phase_ == Phase::Open && Scrollable()) have |= adMovePrevious | adBookmark | adApproxPosition | adFind;
  if (phase_ == Phase::Open && lockType_ != adLockReadOnly) {
    have |= adAddNew | adDelete | adUpdate;
    if (lockType_ == adLockBatchOptimistic) have |= adUpdateBatch;
  }
  return (have & cursorOptions) == cursorOptions;
}

void Recordset::Unsupported() { RaiseAdo(adErrFeatureNotAvailable, kSrcRecordset); }

// --- Recordset-level events ----------------------------------------------------

bool Recordset::RaiseWillChangeRecordset(std::int32_t reason) {
  if (!Wants(kWillChangeRecordset, reason)) return true;
  if (changeDepth_) RaiseAdo(adErrNotReentrant, kSrcRecordset);
  ++changeDepth_;
  std::int32_t status = adStatusOK;
  std::vector<Variant> args{Variant(reason), LongRef(status), ObjectArg(AsDispatch())};
  Raise(kWillChangeRecordset, args, status, reason);
  --changeDepth_;
  if (status != adStatusCancel) return true;
  ComPtr<Error> error = MakeAdoError(adErrOperationCancelled, kSrcRecordset);
  RaiseRecordsetChangeComplete(reason, error.get());
  return false;
}

void Recordset::RaiseRecordsetChangeComplete(std::int32_t reason, Error* error) {
  if (!Wants(kRecordsetChangeComplete, reason)) return;
  std::int32_t status = error ? adStatusErrorsOccurred : adStatusOK;
  std::vector<Variant> args{Variant(reason), ObjectArg(error), LongRef(status), ObjectArg(AsDispatch())};
  Raise(kRecordsetChangeComplete, args, status, reason);
}

void Recordset::RaiseFetchProgress(const provider::Result& result) {
  if (cursorLocation_ != adUseClient || !Wants(kFetchProgress)) return;
  const provider::ResultSet* set = FirstRows(result);
  if (!set) return;
  const auto rows = static_cast<std::int32_t>(set->rows->RowCount());
  std::int32_t status = adStatusOK;
  std::vector<Variant> args{Variant(rows), Variant(rows), LongRef(status), ObjectArg(AsDispatch())};
  Raise(kFetchProgress, args, status);
}

void Recordset::RaiseFetchComplete(const provider::Result& result) {
  if (cursorLocation_ != adUseClient || !Wants(kFetchComplete) || !FirstRows(result)) return;
  std::int32_t status = adStatusOK;
  std::vector<Variant> args{ObjectArg(nullptr), LongRef(status), ObjectArg(AsDispatch())};
  Raise(kFetchComplete, args, status);
}

}  // namespace tarnel::adodb
