// Lua values to automation values and back, and the Null and Nothing
// values of the script API.
#include "host/lua_value.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "host/lua_object.h"
#include "platform/automation/com_error.h"
#include "platform/automation/variant_convert.h"

namespace tarnel::host {
namespace {

const char kNullKey = 0;
const char kNothingKey = 0;

// Arrays inside Variant arrays nest; deeper than this is refused.
constexpr int kMaxNesting = 64;

void RegisterSentinel(lua_State* L, const void* key, const char* name) {
  lua_newuserdatauv(L, 0, 0);
  lua_createtable(L, 0, 2);
  lua_pushstring(L, name);
  lua_setfield(L, -2, "__name");
  lua_pushstring(L, name);
  lua_pushcclosure(L, [](lua_State* S) -> int {
    lua_pushvalue(S, lua_upvalueindex(1));
    return 1;
  }, 1);
  lua_setfield(L, -2, "__tostring");
  lua_setmetatable(L, -2);
  lua_pushvalue(L, -1);
  lua_rawsetp(L, LUA_REGISTRYINDEX, key);
  lua_setglobal(L, name);
}

bool IsSentinel(lua_State* L, int index, const void* key) {
  if (lua_type(L, index) != LUA_TUSERDATA) return false;
  index = lua_absindex(L, index);
  lua_rawgetp(L, LUA_REGISTRYINDEX, key);
  bool same = lua_rawequal(L, index, -1);
  lua_pop(L, 1);
  return same;
}

void PushInteger64(lua_State* L, std::int64_t v) { lua_pushinteger(L, static_cast<lua_Integer>(v)); }

// Short ASCII text, the common case, is narrowed on the stack; anything
// else goes through the full UTF-8 conversion.
void PushUtf16(lua_State* L, UStringView text) {
  constexpr std::size_t kShort = 256;
  if (text.size() <= kShort) {
    char narrow[kShort];
    std::size_t i = 0;
    for (; i < text.size() && text[i] < 0x80; ++i) narrow[i] = static_cast<char>(text[i]);
    if (i == text.size()) {
      lua_pushlstring(L, narrow, i);
      return;
    }
  }
  std::string utf8 = ToUtf8(text);
  lua_pushlstring(L, utf8.data(), utf8.size());
}

// True when text is the UTF-16 form of the ASCII bytes, so that pushing
// text would give exactly those bytes back.
bool SameAsciiText(std::string_view bytes, const UString& text) {
  if (bytes.size() != text.size()) return false;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (byte >= 0x80 || text[i] != byte) return false;
  }
  return true;
}

void PushValue(lua_State* L, const Variant& value, int depth);

// One level of a (possibly multi-dimensional) array: the elements along
// dimension dim starting at offset base, with stride the distance between
// neighbours along dim.
void PushArrayLevel(lua_State* L, const SafeArray& array, std::uint32_t dim, std::size_t base, std::size_t stride,
                    int depth) {
  if (!lua_checkstack(L, 3)) RaiseError(28);
  const std::uint32_t count = array.BoundOf(dim).count;
  lua_createtable(L, static_cast<int>(std::min<std::uint32_t>(count, 1u << 20)), 0);
  const std::size_t nextStride = stride * count;
  for (std::uint32_t k = 0; k < count; ++k) {
    const std::size_t offset = base + k * stride;
    if (dim + 1 == array.Dimensions()) {
      if (offset >= array.ElementCount()) RaiseError(9);
      PushValue(L, array.Elements()[offset], depth + 1);
    } else {
      PushArrayLevel(L, array, dim + 1, offset, nextStride, depth + 1);
    }
    lua_rawseti(L, -2, static_cast<lua_Integer>(k) + 1);
  }
}

void PushValue(lua_State* L, const Variant& value, int depth) {
  if (depth > kMaxNesting) RaiseError(28, u"Out of stack space (arrays nested too deeply)");
  if (value.vt() == (VT_BYREF | VT_VARIANT)) {
    if (!value.pvarVal()) RaiseError(91);
    PushValue(L, *value.pvarVal(), depth + 1);
    return;
  }
  if (value.IsByRef()) {
    PushValue(L, value.Deref(), depth + 1);
    return;
  }
  Variant& v = const_cast<Variant&>(value);  // the payload getters are not const
  if (v.IsArray()) {
    SafeArray* array = v.parray();
    if (!array || array->Dimensions() == 0) {
      lua_newtable(L);
      return;
    }
    PushArrayLevel(L, *array, 0, 0, 1, depth);
    return;
  }
  switch (v.vt()) {
    case VT_EMPTY: lua_pushnil(L); return;
    case VT_NULL: lua_rawgetp(L, LUA_REGISTRYINDEX, &kNullKey); return;
    case VT_I1: lua_pushinteger(L, v.cVal()); return;
    case VT_UI1: lua_pushinteger(L, v.bVal()); return;
    case VT_I2: lua_pushinteger(L, v.iVal()); return;
    case VT_UI2: lua_pushinteger(L, v.uiVal()); return;
    case VT_I4: case VT_INT: lua_pushinteger(L, v.lVal()); return;
    case VT_UI4: case VT_UINT: lua_pushinteger(L, v.ulVal()); return;
    case VT_I8: PushInteger64(L, v.llVal()); return;
    case VT_UI8:
      if (v.ullVal() > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        lua_pushnumber(L, static_cast<lua_Number>(v.ullVal()));
      } else {
        PushInteger64(L, static_cast<std::int64_t>(v.ullVal()));
      }
      return;
    case VT_R4: lua_pushnumber(L, v.fltVal()); return;
    case VT_R8: lua_pushnumber(L, v.dblVal()); return;
    case VT_CY: lua_pushnumber(L, static_cast<lua_Number>(v.cyVal().int64) / 10000.0); return;
    case VT_DECIMAL: lua_pushnumber(L, ToDouble(v)); return;
    case VT_DATE: PushUtf16(L, TextOf(v)); return;
    case VT_BOOL: lua_pushboolean(L, v.boolVal() != VARIANT_FALSE); return;
    case VT_BSTR: PushUtf16(L, v.bstrVal()); return;
    case VT_ERROR:
      if (v.IsMissing()) {
        lua_pushnil(L);
      } else {
        lua_pushinteger(L, v.scode());
      }
      return;
    case VT_DISPATCH: PushObject(L, v.pdispVal()); return;
    case VT_UNKNOWN: {
      if (!v.punkVal()) {
        PushNothing(L);
        return;
      }
      void* out = nullptr;
      if (Failed(v.punkVal()->QueryInterface(IID_IDispatch, &out)) || !out) RaiseError(458);
      auto object = ComPtr<Dispatch>::Adopt(static_cast<Dispatch*>(out));
      PushObject(L, object.get());
      return;
    }
    default: RaiseError(458);
  }
}

}  // namespace

UString Utf16OfLua(const char* text, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    if (static_cast<unsigned char>(text[i]) >= 0x80) return FromUtf8(std::string_view(text, length));
  }
  return UString(text, text + length);
}

void RegisterValueTypes(lua_State* L) {
  RegisterSentinel(L, &kNullKey, "Null");
  RegisterSentinel(L, &kNothingKey, "Nothing");
}

bool IsNull(lua_State* L, int index) { return IsSentinel(L, index, &kNullKey); }
bool IsNothing(lua_State* L, int index) { return IsSentinel(L, index, &kNothingKey); }
void PushNothing(lua_State* L) { lua_rawgetp(L, LUA_REGISTRYINDEX, &kNothingKey); }

const char* ToVariant(lua_State* L, int index, Variant& out, std::string_view* text) {
  if (text) *text = {};
  switch (lua_type(L, index)) {
    case LUA_TNIL:
    case LUA_TNONE:
      out.Clear();
      return nullptr;
    case LUA_TBOOLEAN:
      out = Variant(lua_toboolean(L, index) != 0);
      return nullptr;
    case LUA_TNUMBER: {
      std::int32_t whole = 0;
      if (NumberAsLong(L, index, whole)) {
        out.SetI4(whole);
      } else if (lua_isinteger(L, index)) {
        out = Variant(static_cast<double>(lua_tointeger(L, index)));
      } else {
        out = Variant(static_cast<double>(lua_tonumber(L, index)));
      }
      return nullptr;
    }
    case LUA_TSTRING: {
      std::size_t length = 0;
      const char* bytes = lua_tolstring(L, index, &length);
      out.SetString(Utf16OfLua(bytes, length));
      if (text) *text = std::string_view(bytes, length);
      return nullptr;
    }
    case LUA_TUSERDATA: {
      if (ObjectBox* box = ToObjectBox(L, index)) {
        if (!box->object) return "collected object";
        out = Variant(box->object);
        return nullptr;
      }
      if (IsNothing(L, index)) {
        out = Variant(static_cast<Dispatch*>(nullptr));
        return nullptr;
      }
      if (IsNull(L, index)) {
        out = Variant::Null();
        return nullptr;
      }
      return "userdata";
    }
    default:
      return lua_typename(L, lua_type(L, index));
  }
}

void PushVariant(lua_State* L, const Variant& value) { PushValue(L, value, 0); }

void PushArgument(lua_State* L, const Variant& value, int index, std::string_view text) {
  if (value.vt() == VT_I4) {
    lua_pushinteger(L, value.lVal());
    return;
  }
  if (value.vt() == VT_BSTR) {
    PushTextOr(L, value.bstrVal(), index, text);
    return;
  }
  PushValue(L, value, 0);
}

void PushText(lua_State* L, UStringView text) { PushUtf16(L, text); }

void PushTextOr(lua_State* L, const UString& text, int index, std::string_view original) {
  if (original.data() && SameAsciiText(original, text)) {
    lua_pushvalue(L, index);
  } else {
    PushUtf16(L, text);
  }
}

}  // namespace tarnel::host
