// Connection: its properties, opening (synchronous and in the background),
// closing, transactions and cancellation. Running statements is in
// connection_execute.cpp.
#include "platform/adodb/connection.h"

#include "platform/adodb/adodb_error.h"
#include "platform/adodb/adodb_types.h"
#include "platform/adodb/command.h"
#include "platform/adodb/recordset.h"
#include "platform/apartment/apartment.h"
#include "platform/automation/variant_convert.h"

namespace tarnel::adodb {

namespace {

constexpr DispId kInfoMessage = 0;
constexpr DispId kBeginTransComplete = 1;
constexpr DispId kRollbackTransComplete = 2;
constexpr DispId kCommitTransComplete = 3;
constexpr DispId kWillConnect = 6;
constexpr DispId kConnectComplete = 7;
constexpr DispId kDisconnect = 8;

// The text of an optional string argument; `fallback` when it was omitted.
UString TextArgument(const Variant& value, const UString& fallback) {
  const Variant v = value.Deref();
  if (v.IsMissing() || v.IsEmpty()) return fallback;
  if (v.vt() == VT_BSTR) return v.bstrVal();
  if (v.IsNull()) RaiseAdo(adErrInvalidArgument, kSrcConnection);
  Variant text;
  if (Failed(ChangeType(text, v, 0, VT_BSTR))) RaiseAdo(adErrInvalidArgument, kSrcConnection);
  return text.bstrVal();
}

// The provider a connection string names, if it names one.
bool ProviderOfString(const UString& text, UString& provider) {
  auto parsed = provider::ConnectionString::Parse(ToUtf8(text), nullptr);
  if (!parsed) return false;
  const std::string* name = parsed->Find("Provider");
  if (!name) return false;
  provider = FromUtf8(*name);
  return true;
}

provider::ErrorRecord RecordOf(const provider::Status& status, const char16_t* source) {
  if (!status.errors.empty()) return status.errors.front();
  return provider::ErrorRecord{status.number, status.description, ToUtf8(source), "", 0};
}

}  // namespace

void RaiseStatus(const provider::Status& status, const char16_t* source) {
  UString description = FromUtf8(status.description);
  if (description.empty()) description = StandardErrorDescription(ErrorNumberFromHResult(status.number));
  UString from = source ? source : u"";
  if ((static_cast<std::uint32_t>(status.number) & 0xFFFF0000u) != 0x800A0000u && !status.errors.empty() &&
      !status.errors.front().source.empty())
    from = FromUtf8(status.errors.front().source);
  throw ComError(status.number == S_OK ? E_FAIL : status.number, std::move(description), std::move(from));
}

Connection::Connection()
    : EventSourceObject<Connection>(ConnectionEventsType()),
      apartment_(Apartment::CurrentShared()),
      errors_(MakeObject<Errors>()),
      properties_(MakeObject<Properties>()) {}

Connection::~Connection() {
  // Background work is cancelled and the worker joined; completions that
  // it still posts find no Connection behind the anchor.
  DropSession();
}

void Connection::DropSession() {
  if (!session_) return;
  session_->CancelAll();
  session_.reset();
}

ComPtr<Dispatch> Connection::GetProperties() { return properties_; }
ComPtr<Dispatch> Connection::GetErrors() { return errors_; }

void Connection::LetConnectionString(UString& value) {
  SettleConnect();
  if (phase_ != Phase::Closed) RaiseAdo(adErrObjectOpen, kSrcConnection);
  connectionString_ = value;
  UString provider;
  if (ProviderOfString(value, provider)) providerName_ = provider;
}

void Connection::LetCommandTimeout(std::int32_t& value) {
  if (value < 0) RaiseAdo(adErrInvalidArgument, kSrcConnection);
  commandTimeout_ = value;
}

void Connection::LetConnectionTimeout(std::int32_t& value) {
  SettleConnect();
  if (phase_ != Phase::Closed) RaiseAdo(adErrObjectOpen, kSrcConnection);
  if (value < 0) RaiseAdo(adErrInvalidArgument, kSrcConnection);
  connectionTimeout_ = value;
}

UString Connection::GetDefaultDatabase() { return {}; }

void Connection::LetDefaultDatabase(UString&) { RaiseAdo(adErrFeatureNotAvailable, kSrcConnection); }

void Connection::LetIsolationLevel(std::int32_t& value) {
  switch (value) {
    case adXactUnspecified:
    case adXactChaos:
    case adXactReadUncommitted:
    case adXactReadCommitted:
    case adXactRepeatableRead:
    case adXactSerializable:
      isolationLevel_ = value;
      return;
    default:
      RaiseAdo(adErrInvalidArgument, kSrcConnection);
  }
}

void Connection::LetAttributes(std::int32_t& value) {
  if (value & ~(adXactCommitRetaining | adXactAbortRetaining)) RaiseAdo(adErrInvalidArgument, kSrcConnection);
  attributes_ = value;
}

void Connection::LetCursorLocation(std::int32_t& value) {
  if (value < adUseNone || value > adUseClient) RaiseAdo(adErrInvalidArgument, kSrcConnection);
  cursorLocation_ = value;
}

void Connection::LetMode(std::int32_t& value) {
  SettleConnect();
  if (phase_ != Phase::Closed) RaiseAdo(adErrObjectOpen, kSrcConnection);
  if (value < 0 || (value & ~(0x1F | 0x400000))) RaiseAdo(adErrInvalidArgument, kSrcConnection);
  mode_ = value;
}

UString Connection::GetProvider() {
  if (session_) return FromUtf8(session_->ProviderName());
  return providerName_;
}

void Connection::LetProvider(UString& value) {
  SettleConnect();
  if (phase_ != Phase::Closed) RaiseAdo(adErrObjectOpen, kSrcConnection);
  if (value.empty()) RaiseAdo(adErrInvalidArgument, kSrcConnection);
  providerName_ = value;
}

std::int32_t Connection::GetState() {
  SettleConnect();
  switch (phase_) {
    case Phase::Closed: return adStateClosed;
    case Phase::Connecting: return adStateConnecting;
    case Phase::Open: break;
  }
  std::int32_t state = adStateOpen;
  for (const PendingStatement& p : pending_) {
    if (p.cancelled) continue;
    if (!p.slot->ready.load(std::memory_order_acquire)) {
      state |= adStateExecuting;
    } else if (!p.slot->adopted) {
      state |= adStateFetching;
    }
  }
  return state;
}

bool Connection::IsOpen() {
  SettleConnect();
  return phase_ == Phase::Open;
}

void Connection::RequireUsable(int closedError, const char16_t* source) {
  SettleConnect();
  if (phase_ == Phase::Connecting) RaiseAdo(adErrStillConnecting, source);
  if (phase_ != Phase::Open || !session_) RaiseAdo(closedError, source);
}

ComPtr<Error> Connection::CancelledError() const { return MakeAdoError(adErrOperationCancelled, kSrcConnection); }

void Connection::Open(Variant& connectionString, Variant& userId, Variant& password, std::int32_t& options) {
  ComPtr<Connection> keep(this);
  SettleConnect();
  if (phase_ != Phase::Closed) RaiseAdo(adErrObjectOpen, kSrcConnection);
  UString text = TextArgument(connectionString, connectionString_);
  UString user = TextArgument(userId, u"");
  UString secret = TextArgument(password, u"");
  std::int32_t opts = options;

  if (Wants(kWillConnect)) {
    std::int32_t status = adStatusOK;
    std::vector<Variant> args{Variant::RefTyped(VT_BSTR, &text), Variant::RefTyped(VT_BSTR, &user),
                              Variant::RefTyped(VT_BSTR, &secret), LongRef(opts), LongRef(status),
                              ObjectArg(AsDispatch())};
    Raise(kWillConnect, args, status);
    if (status == adStatusCancel) {
      if (Wants(kConnectComplete)) {
        std::int32_t done = adStatusErrorsOccurred;
        ComPtr<Error> error = CancelledError();
        std::vector<Variant> done_args{ObjectArg(error.get()), LongRef(done), ObjectArg(AsDispatch())};
        Raise(kConnectComplete, done_args, done);
      }
      RaiseAdo(adErrOperationCancelled, kSrcConnection);
    }
    // A handler may have opened the connection itself meanwhile.
    SettleConnect();
    if (phase_ != Phase::Closed) RaiseAdo(adErrObjectOpen, kSrcConnection);
  }

  connectionString_ = text;
  UString named;
  std::string providerText = ToUtf8(text);
  if (ProviderOfString(text, named)) {
    providerName_ = named;
  } else if (!providerName_.empty()) {
    // The Provider property names the provider when the string does not.
    providerText = "Provider=" + ToUtf8(providerName_) + ";" + providerText;
  }

  provider::ConnectOptions settings;
  settings.connectionString = providerText;
  settings.userId = ToUtf8(user);
  settings.password = ToUtf8(secret);
  settings.connectTimeout = provider::milliseconds(std::int64_t{connectionTimeout_} * 1000);
  settings.commandTimeout = provider::milliseconds(std::int64_t{commandTimeout_} * 1000);
  settings.mode = static_cast<ConnectModeEnum>(mode_ & adModeReadWrite);

  provider::Status created;
  std::unique_ptr<provider::Session> session = provider::CreateSession(settings, &created);
  if (!session) {
    errors_->Fill(created.errors);
    if (Wants(kConnectComplete)) {
      std::int32_t done = adStatusErrorsOccurred;
      ComPtr<Error> error = MakeObject<Error>(RecordOf(created, kSrcConnection));
      std::vector<Variant> args{ObjectArg(error.get()), LongRef(done), ObjectArg(AsDispatch())};
      Raise(kConnectComplete, args, done);
    }
    RaiseStatus(created, kSrcConnection);
  }

  if (opts != adConnectUnspecified && (opts & adAsyncConnect)) {
    session_ = std::move(session);
    phase_ = Phase::Connecting;
    auto slot = std::make_shared<ConnectSlot>();
    connecting_ = slot;
    connectJob_ = session_->OpenAsync(
        [slot, anchor = anchor_.Ref(), apartment = apartment_](provider::Result result) {
          slot->result = std::move(result);
          slot->ready.store(true, std::memory_order_release);
          apartment->Post([slot, anchor] {
            if (Connection* c = anchor.get()) c->DeliverConnect(slot);
          });
        });
    return;
  }

  provider::Result result = session->Open();
  session_ = std::move(session);
  FinishConnect(result);
  if (Wants(kConnectComplete)) {
    std::int32_t done = result.status.ok() ? adStatusOK : adStatusErrorsOccurred;
    ComPtr<Error> error;
    if (!result.status.ok()) error = MakeObject<Error>(RecordOf(result.status, kSrcConnection));
    std::vector<Variant> args{ObjectArg(error.get()), LongRef(done), ObjectArg(AsDispatch())};
    Raise(kConnectComplete, args, done);
  }
  if (!result.status.ok()) RaiseStatus(result.status, kSrcConnection);
  RaiseInfoMessages(result.status);
}

void Connection::FinishConnect(provider::Result& result) {
  connecting_.reset();
  if (result.status.ok() && result.connected) {
    phase_ = Phase::Open;
    if (!result.status.warnings.empty()) errors_->Fill(result.status.warnings);
    const UString name = FromUtf8(session_->ProviderName());
    properties_->Add(u"Provider Name", adVarWChar, Variant(name));
    properties_->Add(u"DBMS Name", adVarWChar, Variant(name));
    properties_->Add(u"Multiple Results", adInteger, Variant(std::int32_t{1}));
    properties_->Add(u"Transaction DDL", adInteger, Variant(std::int32_t{8}));
    return;
  }
  if (result.status.ok()) {
    result.status = provider::Status::FromRecord(
        provider::ErrorRecord{E_FAIL, "The connection could not be established.", "", "08001", 0});
  }
  errors_->Fill(result.status.errors);
  phase_ = Phase::Closed;
  DropSession();
}

void Connection::SettleConnect() {
  if (phase_ != Phase::Connecting || !connecting_) return;
  if (!connecting_->ready.load(std::memory_order_acquire)) return;
  FinishConnect(connecting_->result);
}

void Connection::DeliverConnect(const std::shared_ptr<ConnectSlot>& slot) {
  ComPtr<Connection> keep(this);
  if (slot == connecting_) SettleConnect();
  if (!Wants(kConnectComplete)) {
    if (slot->abandoned) return;
    RaiseInfoMessages(slot->result.status);
    return;
  }
  std::int32_t done = adStatusOK;
  ComPtr<Error> error;
  if (slot->abandoned) {
    error = CancelledError();
  } else if (!slot->result.status.ok()) {
    error = MakeObject<Error>(RecordOf(slot->result.status, kSrcConnection));
  }
  if (error) done = adStatusErrorsOccurred;
  std::vector<Variant> args{ObjectArg(error.get()), LongRef(done), ObjectArg(AsDispatch())};
  Raise(kConnectComplete, args, done);
  if (!slot->abandoned) RaiseInfoMessages(slot->result.status);
}

void Connection::RaiseInfoMessages(const provider::Status& status) {
  if (status.warnings.empty() || !Wants(kInfoMessage)) return;
  for (const provider::ErrorRecord& w : status.warnings) {
    std::int32_t done = adStatusOK;
    ComPtr<Error> warning = MakeObject<Error>(w);
    std::vector<Variant> args{ObjectArg(warning.get()), LongRef(done), ObjectArg(AsDispatch())};
    Raise(kInfoMessage, args, done);
  }
}

void Connection::Close() {
  ComPtr<Connection> keep(this);
  SettleConnect();
  if (phase_ == Phase::Closed) RaiseAdo(adErrObjectClosed, kSrcConnection);
  if (phase_ == Phase::Open && session_ && session_->TransactionLevel() > 0)
    RaiseAdo(adErrInTransaction, kSrcConnection);
  const bool wasOpen = phase_ == Phase::Open;
  if (connecting_) {
    connecting_->abandoned = true;
    connecting_.reset();
  }
  for (PendingStatement& p : pending_) {
    if (p.cancelled) continue;
    p.cancelled = true;
    if (Recordset* rs = p.target.get()) rs->AbandonPending();
  }
  std::vector<WeakRef<Recordset>> recordsets;
  recordsets.swap(recordsets_);
  for (const WeakRef<Recordset>& w : recordsets) {
    if (Recordset* rs = w.get()) rs->CloseForConnection(this);
  }
  std::vector<WeakRef<Command>> commands;
  commands.swap(commands_);
  for (const WeakRef<Command>& w : commands) {
    if (Command* c = w.get()) c->DetachConnection(this);
  }
  DropSession();
  phase_ = Phase::Closed;
  ResetUnwanted();
  if (wasOpen && Wants(kDisconnect)) {
    std::int32_t done = adStatusOK;
    std::vector<Variant> args{LongRef(done), ObjectArg(AsDispatch())};
    Raise(kDisconnect, args, done);
  }
}

void Connection::Cancel() {
  SettleConnect();
  if (phase_ == Phase::Connecting) {
    // The attempt is abandoned; its ConnectComplete reports the
    // cancellation when it arrives.
    connecting_->abandoned = true;
    connecting_.reset();
    DropSession();
    phase_ = Phase::Closed;
    return;
  }
  for (PendingStatement& p : pending_) {
    if (p.cancelled) continue;
    p.cancelled = true;
    if (session_) session_->Cancel(p.job);
    if (Recordset* rs = p.target.get()) rs->AbandonPending();
  }
}

void Connection::Track(Recordset* recordset) {
  std::erase_if(recordsets_, [](const WeakRef<Recordset>& w) { return !w; });
  recordsets_.push_back(recordset->WeakSelf());
}

void Connection::Track(Command* command) {
  std::erase_if(commands_, [](const WeakRef<Command>& w) { return !w; });
  for (const WeakRef<Command>& w : commands_) {
    if (w.get() == command) return;
  }
  commands_.push_back(command->WeakSelf());
}

void Connection::RaiseTransactionEvent(DispId id, const provider::Result& result, std::int32_t level) {
  if (!Wants(id)) return;
  std::int32_t done = result.status.ok() ? adStatusOK : adStatusErrorsOccurred;
  ComPtr<Error> error;
  if (!result.status.ok()) error = MakeObject<Error>(RecordOf(result.status, kSrcConnection));
  std::vector<Variant> args;
  if (id == kBeginTransComplete) args.push_back(Variant(level));
  args.push_back(ObjectArg(error.get()));
  args.push_back(LongRef(done));
  args.push_back(ObjectArg(AsDispatch()));
  Raise(id, args, done);
}

std::int32_t Connection::Transaction(provider::Operation operation, DispId eventId) {
  ComPtr<Connection> keep(this);
  RequireUsable(adErrObjectClosed, kSrcConnection);
  provider::Result result = session_->Run({operation, {}});
  if (!result.status.ok()) errors_->Fill(result.status.errors);
  RaiseTransactionEvent(eventId, result, result.transactionLevel);
  if (!result.status.ok()) RaiseStatus(result.status, kSrcConnection);
  RaiseInfoMessages(result.status);
  return result.transactionLevel;
}

std::int32_t Connection::BeginTrans() { return Transaction(provider::Operation::BeginTrans, kBeginTransComplete); }

void Connection::CommitTrans() {
  Transaction(provider::Operation::CommitTrans, kCommitTransComplete);
  // With adXactCommitRetaining a commit starts the next transaction.
  if ((attributes_ & adXactCommitRetaining) && session_ && session_->TransactionLevel() == 0)
    BeginTrans();
}

void Connection::RollbackTrans() {
  Transaction(provider::Operation::RollbackTrans, kRollbackTransComplete);
  if ((attributes_ & adXactAbortRetaining) && session_ && session_->TransactionLevel() == 0) BeginTrans();
}

ComPtr<Connection> Connection::OpenOwn(const Variant& connectionString) {
  ComPtr<Connection> own = MakeObject<Connection>();
  Variant text = connectionString;
  Variant none = Variant::Missing();
  std::int32_t sync = adConnectUnspecified;
  own->Open(text, none, none, sync);
  return own;
}

}  // namespace tarnel::adodb
