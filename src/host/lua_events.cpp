// Event sinks of the script host: the sink object that an event source
// calls, the protected call of the Lua handler, the write-back of
// by-reference arguments, and ConnectEvents / DisconnectEvents.
#include "host/lua_events.h"

#include <algorithm>
#include <string>

#include "host/lua_object.h"
#include "host/lua_value.h"
#include "platform/automation/com_error.h"
#include "platform/automation/type_info.h"
#include "platform/automation/variant_convert.h"

namespace tarnel::host {
namespace {

// One event being delivered: what the trampoline needs, owned by the
// sink's Invoke frame.
struct EventCall {
  int handlersRef;
  const MemberDesc* member;
  std::string eventName;
  DispParams* params;
  bool noHandler = false;
};

// The arguments table (by parameter name) and, beside it, the values as
// they were handed over, to see which ones the handler assigned.
bool BuildArguments(lua_State* L, EventCall& call) noexcept {
  ScriptError error;
  try {
    const std::uint32_t n = call.params->cArgs;
    const std::size_t count = std::min<std::size_t>(n, call.member->params.size());
    lua_createtable(L, 0, static_cast<int>(count));  // args
    lua_createtable(L, static_cast<int>(count), 0);  // originals
    for (std::size_t i = 0; i < count; ++i) {
      const Variant& arg = call.params->rgvarg[n - 1 - i];
      PushVariant(L, arg);
      lua_pushvalue(L, -1);
      lua_rawseti(L, -3, static_cast<lua_Integer>(i) + 1);
      std::string name = ToUtf8(call.member->params[i].name);
      lua_setfield(L, -3, name.c_str());
    }
    return true;
  } catch (...) {
    error = ErrorFromCurrentException();
  }
  PushError(L, error);
  return false;
}

// After the handler: every by-reference argument that the handler changed
// in the table is stored through its reference.
bool WriteBack(lua_State* L, EventCall& call, int argsIndex, int originalsIndex) noexcept {
  ScriptError error;
  try {
    const std::uint32_t n = call.params->cArgs;
    const std::size_t count = std::min<std::size_t>(n, call.member->params.size());
    for (std::size_t i = 0; i < count; ++i) {
      const Variant& arg = call.params->rgvarg[n - 1 - i];
      if (!arg.IsByRef()) continue;
      std::string name = ToUtf8(call.member->params[i].name);
      lua_pushlstring(L, name.data(), name.size());
      lua_rawget(L, argsIndex);
      lua_rawgeti(L, originalsIndex, static_cast<lua_Integer>(i) + 1);
      const bool changed = !lua_rawequal(L, -1, -2);
      lua_pop(L, 1);
      if (changed) {
        Variant value;
        const char* bad = ToVariant(L, -1, value);
        HRESULT hr = bad ? DISP_E_TYPEMISMATCH : StoreThroughReference(arg, value);
        if (Failed(hr)) {
          int number = hr == DISP_E_OVERFLOW ? 6 : 13;
          RaiseError(number, StandardErrorDescription(number) + u" (event argument '" +
                                 UString(call.member->params[i].name) + u"' of " + FromUtf8(call.eventName) + u")");
        }
      }
      lua_pop(L, 1);
    }
    return true;
  } catch (...) {
    error = ErrorFromCurrentException();
  }
  PushError(L, error);
  return false;
}

// Runs in protected mode: finds the handler, calls it with the arguments
// table, writes back. Its own frame owns no C++ objects.
int EventTrampoline(lua_State* L) {
  auto* call = static_cast<EventCall*>(lua_touserdata(L, 1));
  lua_rawgeti(L, LUA_REGISTRYINDEX, call->handlersRef);  // 2
  lua_getfield(L, 2, call->eventName.c_str());            // 3: may run the table's __index
  if (lua_isnil(L, 3)) {
    call->noHandler = true;
    return 0;
  }
  if (!BuildArguments(L, *call)) return lua_error(L);  // 4: args, 5: originals
  lua_pushvalue(L, 3);
  lua_pushvalue(L, 4);
  lua_call(L, 1, 0);
  if (!WriteBack(L, *call, 4, 5)) return lua_error(L);
  return 0;
}

class LuaEventSink final : public EventSink {
 public:
  LuaEventSink(std::shared_ptr<HostLink> link, const TypeInfo& events, int handlersRef)
      : EventSink(events), link_(std::move(link)), handlersRef_(handlersRef) {}


  HRESULT Invoke(DispId id, std::uint16_t /*flags*/, DispParams* params, Variant* /*result*/, ExcepInfo* excep,
                 std::uint32_t* /*argErr*/) override {
    HostState* host = link_->host;
    if (!host || handlersRef_ == LUA_NOREF) return DISP_E_MEMBERNOTFOUND;
    const MemberDesc* member = events_.FindAny(id);
    if (!member) return DISP_E_MEMBERNOTFOUND;
    DispParams none;
    if (!params) params = &none;
    if (params->cArgs > 0 && !params->rgvarg) return E_POINTER;
    lua_State* L = host->current ? host->current : host->main;
    if (!lua_checkstack(L, 16)) return E_OUTOFMEMORY;
    const int top = lua_gettop(L);
    try {
      EventCall call{handlersRef_, member, ToUtf8(member->name), params};
      lua_pushcfunction(L, EventTrampoline);
      lua_pushlightuserdata(L, &call);
      if (lua_pcall(L, 1, 0, 0) == LUA_OK) {
        lua_settop(L, top);
        return call.noHandler ? DISP_E_MEMBERNOTFOUND : S_OK;
      }
      ScriptError error;
      if (!ReadErrorValue(L, -1, error)) {
        error.number = ErrorNumberFromHResult(E_FAIL);
        error.description = ErrorValueText(L, -1);
      }
      // The script sees the handler's own error value when the host call
      // that led here returns; later errors wait behind the first.
      if (host->pendingErrorRef == LUA_NOREF) {
        host->pendingErrorRef = luaL_ref(L, LUA_REGISTRYINDEX);
      }
      lua_settop(L, top);
      if (excep) {
        *excep = ExcepInfo{};
        excep->scode = error.number == 0 ? E_FAIL : HResultFromErrorNumber(error.number);
        excep->bstrDescription = FromUtf8(error.description);
        excep->bstrSource = error.source.empty() ? UString(u"tarnelhost") : FromUtf8(error.source);
      }
      return DISP_E_EXCEPTION;
    } catch (...) {
      lua_settop(L, top);
      return E_OUTOFMEMORY;
    }
  }

  // The host ended the connection: later calls do nothing.
  void Detach() { handlersRef_ = LUA_NOREF; }

 private:
  std::shared_ptr<HostLink> link_;
  int handlersRef_;
};

ComPtr<Unknown> IdentityOf(Dispatch* object) { return ComPtr<Dispatch>(object).As<Unknown>(IID_IUnknown); }

void EndConnection(lua_State* L, EventConnection& c) {
  if (c.point) c.point->Unadvise(c.cookie);
  if (c.sink) static_cast<LuaEventSink*>(c.sink.get())->Detach();
  luaL_unref(L, LUA_REGISTRYINDEX, c.handlersRef);
  c.handlersRef = LUA_NOREF;
}

// Ends the connection of the object with this identity; false when none.
bool Disconnect(lua_State* L, HostState& host, const ComPtr<Unknown>& identity) {
  auto it = std::find_if(host.connections.begin(), host.connections.end(),
                         [&](const EventConnection& c) { return c.identity == identity; });
  if (it == host.connections.end()) return false;
  EventConnection c = std::move(*it);
  host.connections.erase(it);
  EndConnection(L, c);
  return true;
}

int ConnectWork(lua_State* L) {
  return Guarded(L, [&]() -> int {
    if (lua_gettop(L) != 2) RaiseError(450, StandardErrorDescription(450) + u" ('ConnectEvents')");
    ObjectBox* box = ToObjectBox(L, 1);
    if (!box || !box->object) RaiseError(424, StandardErrorDescription(424) + u" (ConnectEvents' first argument)");
    if (lua_type(L, 2) != LUA_TTABLE) RaiseError(13, StandardErrorDescription(13) + u" (ConnectEvents needs a table of handlers)");
    HostState* host = HostOf(L);
    if (!host) RaiseError(91);
    ComPtr<Dispatch> object(box->object);
    auto info = object.As<ProvideClassInfo>(IID_IProvideClassInfo);
    const CoClassInfo* cls = info ? info->GetClassInfo() : nullptr;
    auto container = object.As<ConnectionPointContainer>(IID_IConnectionPointContainer);
    if (!cls || !cls->sourceInterface || !container) {
      RaiseError(459, StandardErrorDescription(459) + u" (the object raises no events)");
    }
    ConnectionPoint* point = nullptr;
    HRESULT hr = container->FindConnectionPoint(cls->sourceInterface->Id(), &point);
    if (Failed(hr) || !point) RaiseHResult(Failed(hr) ? hr : CONNECT_E_NOCONNECTION);
    ComPtr<Unknown> identity = IdentityOf(object.get());
    Disconnect(L, *host, identity);  // a second ConnectEvents replaces the first

    EventConnection c;
    c.identity = identity;
    c.container = ComPtr<Unknown>(static_cast<Unknown*>(container.get()));
    c.point = point;
    lua_pushvalue(L, 2);
    c.handlersRef = luaL_ref(L, LUA_REGISTRYINDEX);
    auto sink = MakeObject<LuaEventSink>(host->link, *cls->sourceInterface, c.handlersRef);
    c.sink = ComPtr<Dispatch>(sink.get());
    hr = point->Advise(sink.get(), &c.cookie);
    if (Failed(hr)) {
      sink->Detach();
      luaL_unref(L, LUA_REGISTRYINDEX, c.handlersRef);
      RaiseHResult(hr);
    }
    host->connections.push_back(std::move(c));
    return 0;
  });
}

int DisconnectWork(lua_State* L) {
  return Guarded(L, [&]() -> int {
    if (lua_gettop(L) != 1) RaiseError(450, StandardErrorDescription(450) + u" ('DisconnectEvents')");
    ObjectBox* box = ToObjectBox(L, 1);
    if (!box || !box->object) RaiseError(424, StandardErrorDescription(424) + u" (DisconnectEvents' argument)");
    HostState* host = HostOf(L);
    bool ended = host && Disconnect(L, *host, IdentityOf(box->object));
    lua_pushboolean(L, ended);
    return 1;
  });
}

}  // namespace

HRESULT StoreThroughReference(const Variant& ref, const Variant& value) {
  if (!ref.IsByRef() || !ref.byref()) return E_POINTER;
  if (ref.vt() == (VT_BYREF | VT_VARIANT)) {
    *ref.pvarVal() = value;
    return S_OK;
  }
  if (ref.IsArray()) return DISP_E_TYPEMISMATCH;
  const auto type = static_cast<VarType>(ref.vt() & VT_TYPEMASK);
  Variant v;
  HRESULT hr = ChangeType(v, value, 0, type);
  if (Failed(hr)) return hr;
  void* p = ref.byref();
  switch (type) {
    case VT_I1: *static_cast<std::int8_t*>(p) = v.cVal(); break;
    case VT_UI1: *static_cast<std::uint8_t*>(p) = v.bVal(); break;
    case VT_I2: *static_cast<std::int16_t*>(p) = v.iVal(); break;
    case VT_UI2: *static_cast<std::uint16_t*>(p) = v.uiVal(); break;
    case VT_BOOL: *static_cast<VariantBool*>(p) = v.boolVal(); break;
    case VT_I4: case VT_INT: *static_cast<std::int32_t*>(p) = v.lVal(); break;
    case VT_UI4: case VT_UINT: *static_cast<std::uint32_t*>(p) = v.ulVal(); break;
    case VT_ERROR: *static_cast<HRESULT*>(p) = v.scode(); break;
    case VT_R4: *static_cast<float*>(p) = v.fltVal(); break;
    case VT_R8: *static_cast<double*>(p) = v.dblVal(); break;
    case VT_DATE: *static_cast<Date*>(p) = v.date(); break;
    case VT_CY: *static_cast<Currency*>(p) = v.cyVal(); break;
    case VT_I8: *static_cast<std::int64_t*>(p) = v.llVal(); break;
    case VT_UI8: *static_cast<std::uint64_t*>(p) = v.ullVal(); break;
    case VT_DECIMAL: *static_cast<Decimal*>(p) = v.decVal(); break;
    case VT_BSTR: *static_cast<UString*>(p) = v.bstrVal(); break;
    case VT_DISPATCH: {
      Dispatch*& slot = *static_cast<Dispatch**>(p);
      Dispatch* next = v.pdispVal();
      if (next) next->AddRef();
      if (slot) slot->Release();
      slot = next;
      break;
    }
    case VT_UNKNOWN: {
      Unknown*& slot = *static_cast<Unknown**>(p);
      Unknown* next = v.punkVal();
      if (next) next->AddRef();
      if (slot) slot->Release();
      slot = next;
      break;
    }
    default: return DISP_E_BADVARTYPE;
  }
  return S_OK;
}

int LuaConnectEvents(lua_State* L) { return FinishEntry(L, ConnectWork(L)); }
int LuaDisconnectEvents(lua_State* L) { return FinishEntry(L, DisconnectWork(L)); }

void DisconnectAll(lua_State* L, HostState& host) {
  std::vector<EventConnection> all;
  all.swap(host.connections);
  for (EventConnection& c : all) EndConnection(L, c);
}

}  // namespace tarnel::host
