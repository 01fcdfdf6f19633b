// Event forwarding: the sinks that the ADO control advises on ADO objects,
// and the twenty handlers that turn each ADO event into a diagnostic line
// and the __ADO event of the same name, passing by-reference arguments on
// as references to ADO's own variables so that the container's answers
// reach ADO. The handler of the connection's ExecuteComplete also credits
// the completion to the handle whose statement it completes; a connection
// whose events are not forwarded still has that done, silently.
#include "tarneltools/adoobjects/event_forwarding.h"

#include <algorithm>
#include <array>

#include "platform/adodb/adodb_types.h"
#include "platform/automation/com_error.h"
#include "platform/automation/connection_point.h"
#include "platform/automation/variant_convert.h"
#include "tarneltools/control/ado_control.h"
#include "tarneltools/control/type_library.h"

namespace tarnel {

namespace {

enum class SourceKind { Connection, Recordset };

// How a handler writes one argument in its line.
enum class Show : char {
  Number,           // decimal
  Error,            // the error's Description, or the word pError
  Connection,       // the connection's ConnectionString
  QuotedConnection, // the same in single quotes
  QuotedText,       // a string in single quotes
  Text,             // a string as received
  Boolean,          // True or False
  Fields,           // the field names, in order
  WordCommand,      // the literal word pCommand
  WordRecordset,    // the literal word pRecordset
  WordConnection,   // the literal word pConnection
};

struct Handler {
  DispId adoId;             // the ADO event's DISPID
  AdoEventId raised;        // the __ADO event raised
  const char16_t* prefix;   // the line up to the first argument
  std::array<Show, 8> shows;
  std::size_t count;
};

using S = Show;

// The twenty handlers, moConnectionEventSource_<event> and
// moRecordsetEventSource_<event>, by ADO's DISPID.
constexpr Handler kHandlers[] = {
    {0, kInfoMessage, u"Raise Event ConnectionEventSource_InfoMessage(", {S::Error, S::Number, S::Connection}, 3},
    {1, kBeginTransComplete, u"Raise Event ConnectionEventSource_BeginTransComplete(",
     {S::Number, S::Error, S::Number, S::Connection}, 4},
    {2, kRollbackTransComplete, u"Raise Event ConnectionEventSource_RollbackTransComplete(",
     {S::Error, S::Number, S::QuotedConnection}, 3},
    {3, kCommitTransComplete, u"Raise Event ConnectionEventSource_CommitTransComplete(",
     {S::Error, S::Number, S::Connection}, 3},
    {4, kWillExecute, u"Raise Event ConnectionEventSource_WillExecute(",
     {S::QuotedText, S::Number, S::Number, S::Number, S::Number, S::WordCommand, S::WordRecordset,
      S::QuotedConnection},
     8},
    {5, kExecuteComplete, u"Raise Event ConnectionEventSource_ExecuteComplete(",
     {S::Number, S::Error, S::Number, S::WordCommand, S::WordRecordset, S::WordConnection}, 6},
    {6, kWillConnect, u"Raise Event ConnectionEventSource_WillConnect(",
     {S::QuotedText, S::Text, S::Text, S::Number, S::Number, S::QuotedConnection}, 6},
    {7, kConnectComplete, u"Raise Event ConnectionEventSource_ConnectComplete(", {S::Error, S::Number, S::Connection},
     3},
    {8, kDisconnect, u"Raise Event Disconnect(", {S::Number, S::Connection}, 2},
    {9, kWillChangeField, u"Raise Event RecordsetEventSource_WillChangeField(",
     {S::Number, S::Fields, S::Number, S::WordRecordset}, 4},
    {10, kFieldChangeComplete, u"Raise Event RecordsetEventSource_FieldChangeComplete(",
     {S::Number, S::Fields, S::Error, S::Number, S::WordRecordset}, 5},
    {11, kWillChangeRecord, u"Raise Event RecordsetEventSource_WillChangeRecord(",
     {S::Number, S::Number, S::Number, S::WordRecordset}, 4},
    {12, kRecordChangeComplete, u"Raise Event RecordsetEventSource_RecordChangeComplete(",
     {S::Number, S::Number, S::Error, S::Number, S::WordRecordset}, 5},
    {13, kWillChangeRecordset, u"Raise Event RecordsetEventSource_WillChangeRecordset(",
     {S::Number, S::Number, S::WordRecordset}, 3},
    {14, kRecordsetChangeComplete, u"Raise Event RecordsetEventSource_RecordsetChangeComplete(",
     {S::Number, S::Error, S::Number, S::WordRecordset}, 4},
    {15, kWillMove, u"Raise Event RecordsetEventSource_WillMove(", {S::Number, S::Number, S::WordRecordset}, 3},
    {16, kMoveComplete, u"Raise Event RecordsetEventSource_MoveComplete(",
     {S::Number, S::Error, S::Number, S::WordRecordset}, 4},
    {17, kEndOfRecordset, u"Raise Event RecordsetEventSource_EndOfRecordset(",
     {S::Boolean, S::Number, S::WordRecordset}, 3},
    {18, kFetchProgress, u"Raise Event RecordsetEventSource_FetchProgress(",
     {S::Number, S::Number, S::Number, S::WordRecordset}, 4},
    {19, kFetchComplete, u"Raise Event RecordsetEventSource_FetchComplete(", {S::Error, S::Number, S::WordRecordset},
     3},
};

constexpr DispId kAdoExecuteComplete = 5;
constexpr DispId kAdoDisconnect = 8;

const Handler* FindHandler(SourceKind kind, DispId id) {
  const bool connectionEvent = id >= 0 && id <= 8;
  if ((kind == SourceKind::Connection) != connectionEvent) return nullptr;
  for (const Handler& h : kHandlers) {
    if (h.adoId == id) return &h;
  }
  return nullptr;
}

// The object an argument holds (following a reference), or null.
Dispatch* ObjectArgument(const Variant& value) {
  const Variant& v = value.Target();
  if (v.vt() == VT_DISPATCH) return v.pdispVal();
  if (v.vt() == (VT_BYREF | VT_DISPATCH)) return *static_cast<Dispatch**>(v.byref());
  if (v.vt() == VT_EMPTY) return nullptr;
  RaiseError(13);
}

UString PropertyText(Dispatch* object, UStringView name) {
  if (!object) RaiseError(91);
  return TextOf(CallByName(object, name, DISPATCH_PROPERTYGET));
}

// The Fields argument: ADO passes an array of Field objects; it is written
// as their names in order, in brackets. Anything else is written as text.
UString FieldsText(const Variant& value) {
  Variant v = value.Deref();
  if (!v.IsArray()) return TextOf(v);
  UString text = u"[";
  bool first = true;
  for (const Variant& element : v.parray()->Elements()) {
    if (!first) text += u", ";
    first = false;
    Dispatch* field = element.IsObject() ? ObjectArgument(element) : nullptr;
    text += field ? PropertyText(field, u"Name") : TextOf(element);
  }
  return text + u"]";
}

UString ArgumentText(Show show, const Variant& value) {
  switch (show) {
    case Show::Number: return DecimalText(ToInt32(value));
    case Show::Error: {
      Dispatch* error = ObjectArgument(value);
      return IsNothing(error) ? UString(u"pError") : PropertyText(error, u"Description");
    }
    case Show::Connection: return PropertyText(ObjectArgument(value), u"ConnectionString");
    case Show::QuotedConnection: return u"'" + PropertyText(ObjectArgument(value), u"ConnectionString") + u"'";
    case Show::QuotedText: return u"'" + TextOf(value) + u"'";
    case Show::Text: return TextOf(value);
    case Show::Boolean: return ToBool(value) ? u"True" : u"False";
    case Show::Fields: return FieldsText(value);
    case Show::WordCommand: return u"pCommand";
    case Show::WordRecordset: return u"pRecordset";
    case Show::WordConnection: return u"pConnection";
  }
  return {};
}

}  // namespace

// The twenty handlers of the control; a friend of AdoControl.
class AdoEventForwarder {
 public:
  // Runs the handler of ADO event `id` raised by `source` with `args`
  // (first to last). `forwarding` tells whether the source's events reach
  // the container; when they do not, only a completion is credited.
  static void Handle(AdoControl& control, SourceKind kind, Dispatch* source, bool forwarding, DispId id,
                     std::vector<Variant>& args) {
    const Handler* handler = FindHandler(kind, id);
    if (!handler) return;
    if (args.size() != handler->count) RaiseHResult(DISP_E_BADPARAMCOUNT);
    if (id == kAdoDisconnect) control.StatementsEnded(source);
    if (!forwarding) {
      if (id == kAdoExecuteComplete) Credit(control, source, args);
      return;
    }
    // The line shows the arguments as ADO passed them, before the
    // container can change them.
    UString line = handler->prefix;
    for (std::size_t i = 0; i < handler->count; ++i) {
      if (i) line += u", ";
      line += ArgumentText(handler->shows[i], args[i]);
    }
    line += u")";
    control.DebugLog(line);
    if (id == kAdoExecuteComplete) {
      // The slot is updated before the container hears of the completion,
      // so a container that polls AdoExecuting from its handler finds the
      // statement completed.
      if (std::optional<std::int32_t> h = Credit(control, source, args)) {
        control.DebugLog(u"ConnectionEventSource_ExecuteComplete() mhADO(" + DecimalText(*h) +
                         u") Executing = FALSE");
      }
    }
    HRESULT hr = control.EventPoint().Fire(handler->raised, args);
    if (Failed(hr)) RaiseHResult(hr);
  }

 private:
  // ExecuteComplete's RecordsAffected, pError, adStatus, pCommand,
  // pRecordset, pConnection.
  static std::optional<std::int32_t> Credit(AdoControl& control, Dispatch* connection, std::vector<Variant>& args) {
    return control.CreditCompletion(connection, ObjectArgument(args[4]), ObjectArgument(args[3]),
                                    ToInt32(args[0]));
  }
};

// A sink advised on one ADO connection or recordset.
class AdoEventSink final : public EventSink {
 public:
  // A sink advised on `source`'s connection point for its events; raises
  // the failure of finding the point or advising.
  static ComPtr<AdoEventSink> Advise(AdoControl& control, SourceKind kind, Dispatch* source) {
    const TypeInfo& events =
        kind == SourceKind::Connection ? adodb::ConnectionEventsType() : adodb::RecordsetEventsType();
    ComPtr<ConnectionPointContainer> container =
        ComPtr<Dispatch>(source).As<ConnectionPointContainer>(IID_IConnectionPointContainer);
    if (!container) RaiseError(13);
    ConnectionPoint* point = nullptr;
    HRESULT hr = container->FindConnectionPoint(events.Id(), &point);
    if (Failed(hr) || !point) RaiseHResult(Failed(hr) ? hr : E_FAIL);
    ComPtr<AdoEventSink> sink = ComPtr<AdoEventSink>::Adopt(new AdoEventSink(control, kind, source, events));
    hr = point->Advise(sink.get(), &sink->cookie_);
    if (Failed(hr)) RaiseHResult(hr);
    sink->point_ = point;
    return sink;
  }

  // Ends the subscription; later calls reach nothing.
  void Detach() {
    control_ = nullptr;
    ConnectionPoint* point = std::exchange(point_, nullptr);
    ComPtr<Dispatch> source = std::move(source_);  // released after the point lets go of the sink
    if (point) point->Unadvise(cookie_);
  }

  Unknown* Identity() const { return identity_.get(); }
  SourceKind Kind() const { return kind_; }
  bool forwarding = false;

  HRESULT Invoke(DispId id, std::uint16_t, DispParams* params, Variant*, ExcepInfo* excep,
                 std::uint32_t*) override {
    if (!control_) return S_OK;
    ComPtr<AdoControl> keep(control_);
    ComPtr<Dispatch> source(source_);
    try {
      std::vector<Variant> args;
      if (params) {
        // rgvarg holds the arguments last first.
        for (std::uint32_t i = params->cArgs; i > 0; --i) args.push_back(params->rgvarg[i - 1]);
      }
      AdoEventForwarder::Handle(*keep, kind_, source.get(), forwarding, id, args);
      return S_OK;
    } catch (const ComError& e) {
      if (excep) {
        excep->scode = e.hr();
        excep->bstrDescription = e.Description();
        excep->bstrSource = e.Source();
      }
      return DISP_E_EXCEPTION;
    }
  }

 private:
  AdoEventSink(AdoControl& control, SourceKind kind, Dispatch* source, const TypeInfo& events)
      : EventSink(events), control_(&control), kind_(kind), source_(source), identity_(ObjectIdentity(source)) {}

  AdoControl* control_;
  SourceKind kind_;
  ComPtr<Dispatch> source_;
  ComPtr<Unknown> identity_;
  ConnectionPoint* point_ = nullptr;
  std::uint32_t cookie_ = 0;
};

EventSubscriptions::EventSubscriptions() = default;
EventSubscriptions::~EventSubscriptions() { Clear(); }

void EventSubscriptions::ForwardConnection(AdoControl& control, Dispatch* connection) {
  const ComPtr<Unknown> identity = ObjectIdentity(connection);
  auto same = [&](const ComPtr<AdoEventSink>& s) { return s->Identity() == identity.get(); };
  if (connection && std::none_of(connections_.begin(), connections_.end(), same)) {
    connections_.push_back(AdoEventSink::Advise(control, SourceKind::Connection, connection));
  }
  for (const ComPtr<AdoEventSink>& s : connections_) s->forwarding = connection && same(s);
}

void EventSubscriptions::ForwardRecordset(AdoControl& control, Dispatch* recordset) {
  ComPtr<AdoEventSink> next;
  if (recordset) {
    next = AdoEventSink::Advise(control, SourceKind::Recordset, recordset);
    next->forwarding = true;
  }
  ComPtr<AdoEventSink> previous = std::exchange(recordset_, next);
  if (previous) previous->Detach();
}

void EventSubscriptions::Listen(AdoControl& control, Dispatch* connection) {
  const ComPtr<Unknown> identity = ObjectIdentity(connection);
  for (const ComPtr<AdoEventSink>& s : connections_) {
    if (s->Identity() == identity.get()) return;
  }
  connections_.push_back(AdoEventSink::Advise(control, SourceKind::Connection, connection));
}

void EventSubscriptions::Prune(const StatementTracker& awaited) {
  std::vector<ComPtr<AdoEventSink>> ended;
  for (auto it = connections_.begin(); it != connections_.end();) {
    if (!(*it)->forwarding && !awaited.Awaits((*it)->Identity())) {
      ended.push_back(std::move(*it));
      it = connections_.erase(it);
    } else {
      ++it;
    }
  }
  for (const ComPtr<AdoEventSink>& s : ended) s->Detach();
}

void EventSubscriptions::Clear() {
  std::vector<ComPtr<AdoEventSink>> ended;
  ended.swap(connections_);
  if (recordset_) ended.push_back(std::move(recordset_));
  for (const ComPtr<AdoEventSink>& s : ended) s->Detach();
}

}  // namespace tarnel
