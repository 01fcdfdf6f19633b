// The direct way of a script's method call: the arguments are read from the
// Lua stack into the member's own parameter types and the member works on
// them in place; their final values and the result go back to the script
// as InvokeAndPush would push them.
#include "host/lua_direct_call.h"

#include <new>
#include <string_view>

#include "host/host_state.h"
#include "host/lua_value.h"
#include "platform/automation/com_error.h"

namespace tarnel::host {
namespace {

// More parameters than this go through Invoke.
constexpr std::size_t kDirectArgs = 8;

// The String arguments of one call, made in place for those given.
class DirectTexts {
 public:
  DirectTexts() = default;
  DirectTexts(const DirectTexts&) = delete;
  DirectTexts& operator=(const DirectTexts&) = delete;
  ~DirectTexts() {
    for (std::size_t k = 0; k < count_; ++k) std::launder(reinterpret_cast<UString*>(storage_[k]))->~UString();
  }
  UString* Add(const char* bytes, std::size_t length) {
    UString* text = ::new (static_cast<void*>(storage_[count_])) UString(Utf16OfLua(bytes, length));
    ++count_;
    return text;
  }

 private:
  alignas(UString) unsigned char storage_[kDirectArgs][sizeof(UString)];
  std::size_t count_ = 0;
};

// What the script passed for one argument: a string's bytes (null for a
// Long), to give the script's own string back when it comes back unchanged.
struct Passed {
  const char* bytes;
  std::size_t length;
};

// Reads the Lua value at index as an argument of a parameter of type
// `type`; false when it is not exactly of that type (Invoke then coerces).
bool ReadArgument(lua_State* L, int index, VarType type, DirectArg& arg, Passed& passed) {
  passed = {nullptr, 0};
  arg.lVal = 0;
  arg.text = nullptr;
  switch (type) {
    case VT_I4: return lua_type(L, index) == LUA_TNUMBER && NumberAsLong(L, index, arg.lVal);
    case VT_BSTR:
      if (lua_type(L, index) != LUA_TSTRING) return false;
      passed.bytes = lua_tolstring(L, index, &passed.length);
      return true;
    default: return false;
  }
}

}  // namespace

const MemberDesc* DirectMember(const TypeInfo* type, DispId id) {
  if (!type) return nullptr;
  const MemberDesc* member = type->Find(id, DISPATCH_METHOD | DISPATCH_PROPERTYGET);
  return member && member->handler.direct && member->params.size() <= kDirectArgs ? member : nullptr;
}

int DirectCallAndPush(lua_State* L, const ObjectBox& box, const MemberDesc& member, DispId id,
                      const CallName& name) {
  const int count = lua_gettop(L) - 1;
  const std::size_t n = member.params.size();
  DirectArg args[kDirectArgs];
  Passed passed[kDirectArgs];
  bool direct = box.direct != nullptr && static_cast<std::size_t>(count) == n;
  for (std::size_t i = 0; direct && i < n; ++i) {
    direct = ReadArgument(L, 2 + static_cast<int>(i), member.params[i].type, args[i], passed[i]);
  }
  if (!direct) {
    return InvokeAndPush(L, box.object, id, DISPATCH_METHOD | DISPATCH_PROPERTYGET, 2, count, true, true, name);
  }
  int fallback = 0;
  const int pushed = Guarded(L, [&]() -> int {
    DirectTexts texts;
    for (std::size_t i = 0; i < n; ++i) {
      if (passed[i].bytes) args[i].text = texts.Add(passed[i].bytes, passed[i].length);
    }
    DirectResult result;
    ExcepInfo excep;
    const HRESULT hr = box.direct->CallDirect(member, args, &result, &excep);
    if (hr == E_INVALIDARG) {
      // Not a member the object calls directly: nothing ran.
      fallback = 1;
      return 0;
    }
    if (Failed(hr)) RaiseDispatchFailure(hr, excep, FromUtf8(name.Text(L)), 0, static_cast<std::uint32_t>(count));
    // A C function may push LUA_MINSTACK values unchecked; a direct call
    // pushes at most kDirectArgs + 1 (an array result checks for itself).
    static_assert(kDirectArgs + 1 <= LUA_MINSTACK);
    if (result.isText) {
      PushText(L, result.text);
    } else {
      PushVariant(L, result.value);
    }
    // A parameter by value keeps what the script passed.
    for (std::size_t i = 0; i < n; ++i) {
      const int index = 2 + static_cast<int>(i);
      if (!member.params[i].byRef) {
        lua_pushvalue(L, index);
      } else if (args[i].text) {
        PushTextOr(L, *args[i].text, index, std::string_view(passed[i].bytes, passed[i].length));
      } else {
        lua_pushinteger(L, args[i].lVal);
      }
    }
    return 1 + count;
  });
  if (fallback && pushed != kRaise) {
    return InvokeAndPush(L, box.object, id, DISPATCH_METHOD | DISPATCH_PROPERTYGET, 2, count, true, true, name);
  }
  return pushed;
}

}  // namespace tarnel::host
