// Host objects in Lua: the object userdata and its metatable, the member
// cache per interface, and the one path by which every call, property read
// and property write reaches Invoke (a method call whose arguments already
// have their parameters' types goes direct, see lua_direct_call.h).
#include "host/lua_object.h"

#include <string>

#include "host/host_state.h"
#include "host/lua_direct_call.h"
#include "host/lua_value.h"
#include "host/script_error.h"
#include "platform/automation/com_error.h"
#include "platform/automation/variant_convert.h"

namespace tarnel::host {
namespace {

const char kObjectMetaKey = 0;  // registry: the metatable objects share
const char kObjectMarkKey = 0;  // in every object's metatable: true
const char kGetCacheKey = 0;  // registry: interface -> { name -> method closure | DISPID }
const char kPutCacheKey = 0;  // registry: interface -> { name -> DISPID * 4 + put kinds }

constexpr int kHasLet = 1;
constexpr int kHasSet = 2;

// What the interface says about a name.
struct Resolved {
  bool found = false;
  DispId id = DISPID_UNKNOWN;
  bool callable = false;  // a method, or a property that needs arguments
  int putKinds = 0;       // kHasLet | kHasSet
};

Resolved ResolveName(const ObjectBox& box, std::string_view name) {
  Resolved r;
  UString wide = FromUtf8(name);
  DispId id = DISPID_UNKNOWN;
  if (Failed(box.object->GetIDsOfNames(&wide, 1, &id)) || id == DISPID_UNKNOWN) return r;
  r.found = true;
  r.id = id;
  if (!box.type) {
    r.putKinds = kHasLet | kHasSet;  // unknown: the value decides
    return r;
  }
  for (const MemberDesc& m : box.type->Members()) {
    if (m.id != id) continue;
    switch (m.kind) {
      case MemberKind::Method: r.callable = true; break;
      case MemberKind::Get: if (m.RequiredCount() > 0) r.callable = true; break;
      case MemberKind::Let: r.putKinds |= kHasLet; break;
      case MemberKind::Set: r.putKinds |= kHasSet; break;
    }
  }
  return r;
}

// ResolveName for a Lua entry: false with the error value pushed when the
// object's lookup fails (the error is pushed after the handler is left).
bool Resolve(lua_State* L, const ObjectBox& box, std::string_view name, Resolved& r) noexcept {
  ScriptError error;
  try {
    r = ResolveName(box, name);
    return true;
  } catch (...) {
    error = ErrorFromCurrentException();
  }
  PushError(L, error);
  return false;
}

// Pushes the cache table of an interface; a fresh table for an object
// without type information, whose names are resolved per object.
void PushCacheTable(lua_State* L, const void* key, const TypeInfo* type) {
  if (!type) {
    lua_newtable(L);
    return;
  }
  lua_rawgetp(L, LUA_REGISTRYINDEX, key);
  if (lua_rawgetp(L, -1, type) != LUA_TTABLE) {
    lua_pop(L, 1);
    lua_newtable(L);
    lua_pushvalue(L, -1);
    lua_rawsetp(L, -3, type);
  }
  lua_remove(L, -2);
}

int ObjectRequired(lua_State* L, std::string_view name) {
  PushError(L, ScriptError::Standard(424, "call '" + std::string(name) + "' as obj:" + std::string(name) + "(...)"));
  return kRaise;
}

// What a method closure calls: kept in a userdata of its own, so that a
// call reads one upvalue. `bound` is the object the closure is bound to,
// which the closure also holds as an upvalue (null for the closures shared
// by an interface); `direct` the member when it can be called directly.
struct MethodSite {
  DispId id;
  const TypeInfo* type;
  const MemberDesc* direct;
  const ObjectBox* bound;
};

// obj:Method(...): upvalues DISPID, name, the bound object (or nil) and the
// MethodSite. A call on the bound object itself needs no check of its first
// argument; any other first argument must be an object of the same
// interface. The name is read only for an error.
int MethodCallWork(lua_State* L) {
  const CallName name{{}, lua_upvalueindex(2)};
  const auto* site = static_cast<const MethodSite*>(lua_touserdata(L, lua_upvalueindex(4)));
  ObjectBox* box = nullptr;
  // The bound object is a full userdata, so comparing the two addresses is
  // the raw equality of the two values.
  void* self = lua_touserdata(L, 1);
  if (self && self == site->bound && lua_type(L, 1) == LUA_TUSERDATA) {
    box = static_cast<ObjectBox*>(self);
  } else {
    box = ToObjectBox(L, 1);
    if (box && box->object && box->type != site->type) {
      PushError(L, ScriptError::Standard(438, std::string(name.Text(L))));
      return kRaise;
    }
  }
  if (!box || !box->object) return ObjectRequired(L, name.Text(L));
  if (site->direct) return DirectCallAndPush(L, *box, *site->direct, site->id, name);
  return InvokeAndPush(L, box->object, site->id, DISPATCH_METHOD | DISPATCH_PROPERTYGET, 2, lua_gettop(L) - 1, true,
                       true, name);
}
int MethodCall(lua_State* L) { return FinishEntry(L, MethodCallWork(L)); }

// Pushes the closure of method id; bound to the object at stack index
// boundIndex, or to none when it is 0.
void PushMethod(lua_State* L, DispId id, int nameIndex, const TypeInfo* type, int boundIndex) {
  nameIndex = lua_absindex(L, nameIndex);
  if (boundIndex != 0) boundIndex = lua_absindex(L, boundIndex);
  lua_pushinteger(L, id);
  lua_pushvalue(L, nameIndex);
  if (boundIndex != 0) {
    lua_pushvalue(L, boundIndex);
  } else {
    lua_pushnil(L);
  }
  auto* site = static_cast<MethodSite*>(lua_newuserdatauv(L, sizeof(MethodSite), 0));
  site->id = id;
  site->type = type;
  site->direct = DirectMember(type, id);
  site->bound = boundIndex != 0 ? static_cast<const ObjectBox*>(lua_touserdata(L, boundIndex)) : nullptr;
  lua_pushcclosure(L, MethodCall, 4);
}

int UnknownName(lua_State* L, std::string_view name) {
  PushError(L, ScriptError{438, ToUtf8(StandardErrorDescription(438)) + " ('" + std::string(name) + "')", {}});
  return kRaise;
}

// obj.Name with the object at 1 and the key at 2: a property read, or the
// method closure for a method. methods is the stack index of the object's
// own method table, or 0 for an object without one: a method closure is
// then the interface's shared one, else one bound to the object, which is
// kept in that table so that Lua finds it there without calling the host.
int IndexWork(lua_State* L, int methods) {
  auto* box = static_cast<ObjectBox*>(lua_touserdata(L, 1));
  if (!box || !box->object) return ObjectRequired(L, "(collected)");
  if (lua_type(L, 2) != LUA_TSTRING) {
    // obj[key]: the default member with the key as its argument.
    return InvokeAndPush(L, box->object, DISPID_VALUE, DISPATCH_METHOD | DISPATCH_PROPERTYGET, 2, 1, true, false,
                         CallName{"(default)"});
  }
  lua_getiuservalue(L, 1, 1);  // the get cache
  const int cache = lua_gettop(L);
  lua_pushvalue(L, 2);
  const int cached = lua_rawget(L, cache);
  if (cached == LUA_TFUNCTION && methods == 0) return 1;  // a method: its closure, found without reading the name
  std::size_t length = 0;
  const char* name = lua_tolstring(L, 2, &length);
  std::string_view nameView(name, length);
  DispId id = DISPID_UNKNOWN;
  bool callable = false;
  if (cached == LUA_TFUNCTION) {
    lua_getupvalue(L, -1, 1);  // the shared closure's DISPID
    id = static_cast<DispId>(lua_tointeger(L, -1));
    callable = true;
  } else if (cached == LUA_TNUMBER) {
    id = static_cast<DispId>(lua_tointeger(L, -1));
  } else {
    Resolved r;
    if (!Resolve(L, *box, nameView, r)) return kRaise;
    if (!r.found) return UnknownName(L, nameView);
    id = r.id;
    callable = r.callable;
    if (callable) {
      PushMethod(L, id, 2, box->type, 0);
    } else {
      lua_pushinteger(L, id);
    }
    lua_pushvalue(L, 2);
    lua_pushvalue(L, -2);
    lua_rawset(L, cache);
    if (callable && methods == 0) return 1;  // the shared closure, now on top
  }
  if (callable) {
    PushMethod(L, id, 2, box->type, 1);
    lua_pushvalue(L, 2);
    lua_pushvalue(L, -2);
    lua_rawset(L, methods);
    return 1;
  }
  lua_settop(L, 2);
  int n = InvokeAndPush(L, box->object, id, DISPATCH_PROPERTYGET, 0, 0, true, false, CallName{nameView});
  if (n == kRaise && !box->type) {
    // Without type information a name that is no property may be a method.
    ScriptError error;
    if (ReadErrorValue(L, -1, error) && (error.number == 438 || error.number == 450 || error.number == 449)) {
      lua_pop(L, 1);
      PushMethod(L, id, 2, nullptr, 0);
      return 1;
    }
  }
  return n;
}
int ObjectIndex(lua_State* L) { return FinishEntry(L, IndexWork(L, 0)); }

// The __index of an object's own method table (1), for a key (2) not in it
// yet; upvalue 1 is the object.
int BoundIndex(lua_State* L) {
  lua_settop(L, 2);
  lua_pushvalue(L, 1);                     // 3: the method table
  lua_pushvalue(L, lua_upvalueindex(1));
  lua_replace(L, 1);                       // 1: the object
  return FinishEntry(L, IndexWork(L, 3));
}

// obj.Name = v: property let, or set for an object value (or a property
// that has only a set accessor).
int NewIndexWork(lua_State* L) {
  auto* box = static_cast<ObjectBox*>(lua_touserdata(L, 1));
  if (!box || !box->object) return ObjectRequired(L, "(collected)");
  const bool valueIsObject = ToObjectBox(L, 3) != nullptr || IsNothing(L, 3);
  if (lua_type(L, 2) != LUA_TSTRING) {
    // obj[key] = v: the default member's put with the key as index.
    std::uint16_t flags = valueIsObject ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT;
    int n = InvokeAndPush(L, box->object, DISPID_VALUE, flags, 2, 2, false, false, CallName{"(default)"});
    return n == kRaise ? kRaise : 0;
  }
  std::size_t length = 0;
  const char* name = lua_tolstring(L, 2, &length);
  std::string_view nameView(name, length);
  lua_getiuservalue(L, 1, 2);  // 4: the put cache
  lua_pushvalue(L, 2);
  lua_Integer code = 0;
  if (lua_rawget(L, 4) == LUA_TNUMBER) {
    code = lua_tointeger(L, 5);
  } else {
    Resolved r;
    if (!Resolve(L, *box, nameView, r)) return kRaise;
    if (!r.found) return UnknownName(L, nameView);
    code = static_cast<lua_Integer>(r.id) * 4 + r.putKinds;
    lua_pushvalue(L, 2);
    lua_pushinteger(L, code);
    lua_rawset(L, 4);
  }
  const int kinds = static_cast<int>(code & 3);
  const auto id = static_cast<DispId>((code - kinds) / 4);
  const bool hasLet = (kinds & kHasLet) != 0;
  const bool hasSet = (kinds & kHasSet) != 0;
  const bool useSet = hasSet && (valueIsObject || !hasLet);
  lua_settop(L, 3);
  int n = InvokeAndPush(L, box->object, id, useSet ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT, 3, 1, false,
                        false, CallName{nameView});
  return n == kRaise ? kRaise : 0;
}
int ObjectNewIndex(lua_State* L) { return FinishEntry(L, NewIndexWork(L)); }

// obj(...): the default member, with the final argument values as for methods.
int CallWork(lua_State* L) {
  auto* box = static_cast<ObjectBox*>(lua_touserdata(L, 1));
  if (!box || !box->object) return ObjectRequired(L, "(collected)");
  return InvokeAndPush(L, box->object, DISPID_VALUE, DISPATCH_METHOD | DISPATCH_PROPERTYGET, 2, lua_gettop(L) - 1,
                       true, true, CallName{"(default)"});
}
int ObjectCall(lua_State* L) { return FinishEntry(L, CallWork(L)); }

int ObjectGc(lua_State* L) {
  auto* box = static_cast<ObjectBox*>(lua_touserdata(L, 1));
  if (box && box->object) {
    Dispatch* object = box->object;
    box->object = nullptr;
    box->direct = nullptr;
    CurrentThreadScope scope(L);
    try {
      object->Release();
    } catch (...) {
      // A destructor has nowhere to report to.
    }
  }
  return 0;
}

// Two values are the same object when their IUnknowns are.
bool SameObject(Dispatch* a, Dispatch* b) {
  if (a == b) return true;
  if (!a || !b) return false;
  ComPtr<Unknown> ua = ComPtr<Dispatch>(a).As<Unknown>(IID_IUnknown);
  ComPtr<Unknown> ub = ComPtr<Dispatch>(b).As<Unknown>(IID_IUnknown);
  return ua && ua.get() == ub.get();
}

int ObjectEq(lua_State* L) {
  ObjectBox* a = ToObjectBox(L, 1);
  ObjectBox* b = ToObjectBox(L, 2);
  bool same = false;
  if (a && b) {
    try {
      same = SameObject(a->object, b->object);
    } catch (...) {
      same = false;
    }
  }
  lua_pushboolean(L, same);
  return 1;
}

int ToStringWork(lua_State* L) {
  auto* box = static_cast<ObjectBox*>(lua_touserdata(L, 1));
  std::string name = "Object";
  try {
    if (box && box->object) name = ToUtf8(TypeNameOfObject(box->object));
  } catch (...) {
    name = "Object";
  }
  lua_pushfstring(L, "%s: %p", name.c_str(), static_cast<void*>(box ? box->object : nullptr));
  return 1;
}
int ObjectToString(lua_State* L) { return FinishEntry(L, ToStringWork(L)); }

}  // namespace

void RegisterObjectType(lua_State* L) {
  lua_newtable(L);
  lua_rawsetp(L, LUA_REGISTRYINDEX, &kGetCacheKey);
  lua_newtable(L);
  lua_rawsetp(L, LUA_REGISTRYINDEX, &kPutCacheKey);
  static const luaL_Reg kMethods[] = {
      {"__index", ObjectIndex}, {"__newindex", ObjectNewIndex}, {"__call", ObjectCall},
      {"__gc", ObjectGc},       {"__eq", ObjectEq},             {"__tostring", ObjectToString},
      {nullptr, nullptr},
  };
  lua_createtable(L, 0, 9);
  luaL_setfuncs(L, kMethods, 0);
  lua_pushliteral(L, "tarnel.object");
  lua_setfield(L, -2, "__name");
  lua_pushliteral(L, "tarnel.object");
  lua_setfield(L, -2, "__metatable");  // getmetatable shows a name, setmetatable is refused
  lua_pushboolean(L, 1);
  lua_rawsetp(L, -2, &kObjectMarkKey);
  lua_rawsetp(L, LUA_REGISTRYINDEX, &kObjectMetaKey);
}

ObjectBox* ToObjectBox(lua_State* L, int index) {
  if (lua_type(L, index) != LUA_TUSERDATA || !lua_getmetatable(L, index)) return nullptr;
  const bool isObject = lua_rawgetp(L, -1, &kObjectMarkKey) == LUA_TBOOLEAN;
  lua_pop(L, 2);
  return isObject ? static_cast<ObjectBox*>(lua_touserdata(L, index)) : nullptr;
}

void PushObject(lua_State* L, Dispatch* object, bool ownMethods) {
  if (!object) {
    PushNothing(L);
    return;
  }
  if (!lua_checkstack(L, 6)) RaiseError(28);
  const TypeInfo* type = object->GetTypeInfo();
  auto* box = static_cast<ObjectBox*>(lua_newuserdatauv(L, sizeof(ObjectBox), 2));
  box->object = nullptr;
  box->type = type;
  box->direct = nullptr;
  const int self = lua_gettop(L);
  lua_rawgetp(L, LUA_REGISTRYINDEX, &kObjectMetaKey);
  if (ownMethods && type) {
    // A metatable of its own, as the shared one but with __index the
    // object's method table, whose own __index resolves what is not in it.
    const int shared = lua_gettop(L);
    lua_createtable(L, 0, 9);
    lua_pushnil(L);
    while (lua_next(L, shared) != 0) {
      lua_pushvalue(L, -2);
      lua_insert(L, -2);
      lua_rawset(L, -4);
    }
    lua_newtable(L);           // the method table
    lua_createtable(L, 0, 1);  // its metatable
    lua_pushvalue(L, self);
    lua_pushcclosure(L, BoundIndex, 1);
    lua_setfield(L, -2, "__index");
    lua_setmetatable(L, -2);
    lua_setfield(L, -2, "__index");
    lua_remove(L, shared);
  }
  lua_setmetatable(L, self);
  PushCacheTable(L, &kGetCacheKey, type);
  lua_setiuservalue(L, self, 1);
  PushCacheTable(L, &kPutCacheKey, type);
  lua_setiuservalue(L, self, 2);
  // The reference is taken last, so a memory error above leaks none.
  object->AddRef();
  box->object = object;
  // Direct calls reach the same object, which the box keeps alive: the
  // interface needs no reference of its own.
  void* direct = nullptr;
  if (type && Succeeded(object->QueryInterface(IID_DirectCall, &direct)) && direct) {
    box->direct = static_cast<DirectCall*>(direct);
    box->direct->Release();
  }
}

std::string_view CallName::Text(lua_State* L) const {
  if (index == 0) return text;
  std::size_t length = 0;
  const char* chars = lua_tolstring(L, index, &length);
  return chars ? std::string_view(chars, length) : std::string_view();
}

int InvokeAndPush(lua_State* L, Dispatch* object, DispId id, std::uint16_t flags, int first, int count, bool byRef,
                  bool returnArgs, const CallName& name) {
  return Guarded(L, [&]() -> int {
    if (count < 0) count = 0;
    if (!object) RaiseError(91);
    const auto n = static_cast<std::size_t>(count);
    // The arguments' values and the references to them: on the stack for
    // the usual few. The text of the first few string arguments is kept to
    // compare with what comes back.
    // (Plain pairs, left uninitialised: each is set before it is read.)
    constexpr std::size_t kKeptTexts = 8;
    struct KeptText {
      const char* data;
      std::size_t size;
    } texts[kKeptTexts];
    // values[0, n) are the arguments in order, values[n, 2n) what Invoke
    // receives: the arguments last first, by reference to values[i] or as
    // copies of them.
    InlineVariants<16> values(2 * n);
    for (std::size_t i = 0; i < n; ++i) {
      const int index = first + static_cast<int>(i);
      KeptText kept{nullptr, 0};
      const int type = lua_type(L, index);
      if (type == LUA_TNUMBER) {
        // Whole numbers that fit a Long, the usual argument, directly.
        std::int32_t whole = 0;
        if (NumberAsLong(L, index, whole)) {
          values.Emplace(whole);
          if (i < kKeptTexts) texts[i] = kept;
          continue;
        }
      } else if (type == LUA_TSTRING) {
        kept.data = lua_tolstring(L, index, &kept.size);
        values.Emplace(Utf16OfLua(kept.data, kept.size));
        if (i < kKeptTexts) texts[i] = kept;
        continue;
      }
      std::string_view text;
      if (const char* bad = ToVariant(L, index, values.Emplace(), &text)) {
        RaiseError(13, StandardErrorDescription(13) + u" (argument " + DecimalText(static_cast<std::int64_t>(i) + 1) +
                           u" of '" + FromUtf8(name.Text(L)) + u"': a " + FromUtf8(bad) +
                           u" has no automation value)");
      }
      if (i < kKeptTexts) texts[i] = {text.data(), text.size()};
    }
    for (std::size_t i = n; i-- > 0;) {
      if (byRef) {
        Variant* target = &values[i];
        values.EmplaceFrom([target] { return Variant::Ref(target); });
      } else {
        values.Emplace(values[i]);
      }
    }
    static const DispId kPutId = DISPID_PROPERTYPUT;
    DispParams params;
    params.rgvarg = values.data() + n;
    params.cArgs = static_cast<std::uint32_t>(count);
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
      params.rgdispidNamedArgs = &kPutId;
      params.cNamedArgs = 1;
    }
    Variant result;
    ExcepInfo excep;
    std::uint32_t argErr = 0;
    // The values are this call's own: a failed call raises without reading
    // them, so the object may work on them in place.
    if (byRef) flags |= DISPATCH_ARGS_IN_PLACE;
    HRESULT hr = object->Invoke(id, flags, &params, &result, &excep, &argErr);
    if (Failed(hr)) RaiseDispatchFailure(hr, excep, FromUtf8(name.Text(L)), argErr, params.cArgs);
    const int results = 1 + (returnArgs ? count : 0);
    if (!lua_checkstack(L, results + 4)) RaiseError(28);
    PushVariant(L, result);
    if (returnArgs) {
      // An argument that comes back as the string it went in as is pushed
      // as the script's own value, without converting it again.
      for (std::size_t i = 0; i < n; ++i) {
        const int index = first + static_cast<int>(i);
        std::string_view text;  // the string's bytes, for a string argument
        if (i < kKeptTexts) {
          text = std::string_view(texts[i].data, texts[i].size);
        } else if (lua_type(L, index) == LUA_TSTRING) {
          std::size_t length = 0;
          const char* bytes = lua_tolstring(L, index, &length);
          text = std::string_view(bytes, length);
        }
        PushArgument(L, values[i], index, text);
      }
    }
    return results;
  });
}

}  // namespace tarnel::host
