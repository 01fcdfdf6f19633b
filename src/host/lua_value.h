// The mapping between Lua values and automation values. Lua integers become
// 32-bit integers when they fit, else doubles; floats doubles; strings
// strings (UTF-8 to UTF-16, ill-formed bytes as U+FFFD, embedded NULs kept);
// booleans booleans; nil Empty; the globals Null and Nothing the Null value
// and the empty object reference; host objects object references. Back the
// same way; besides: other integer types as integers, Currency and Decimal
// as floats, dates as their text under the user's locale, an omitted
// argument as nil, arrays as tables indexed from 1 (a multi-dimensional
// array as nested tables, the first dimension outermost).
// Used on the script's thread.
#pragma once
#include <cstdint>
#include <limits>
#include <string_view>

#include <lua.hpp>

#include "platform/automation/variant.h"

namespace tarnel::host {

// Creates the Null and Nothing values and their globals; once per state.
void RegisterValueTypes(lua_State* L);

// Converts the Lua value at index. Returns null on success, else the name
// of the Lua type that has no automation form (tables, functions, ...).
// With `text`, a string's bytes are left there (else it is made empty);
// they stay valid while the value is on the stack.
const char* ToVariant(lua_State* L, int index, Variant& out, std::string_view* text = nullptr);

// The Lua number at index as a Long: true, with out set, when it is a whole
// number that fits one (the caller knows the value is a number).
inline bool NumberAsLong(lua_State* L, int index, std::int32_t& out) {
  int isInteger = 0;
  const lua_Integer number = lua_tointegerx(L, index, &isInteger);
  if (!isInteger || number < std::numeric_limits<std::int32_t>::min() ||
      number > std::numeric_limits<std::int32_t>::max()) {
    return false;
  }
  out = static_cast<std::int32_t>(number);
  return true;
}

// A Lua string's bytes as UTF-16: ASCII directly, anything else as UTF-8
// (ill-formed bytes as U+FFFD).
UString Utf16OfLua(const char* text, std::size_t length);

// Pushes the Lua form of value. Throws ComError for a value that has none.
void PushVariant(lua_State* L, const Variant& value);
// The same for an argument's final value, made by ToVariant from the Lua
// value at index; text holds that value's bytes when it was a string (else
// it is empty with no data). A string that comes back unchanged is pushed
// as the script's own value.
void PushArgument(lua_State* L, const Variant& value, int index, std::string_view text);

// Pushes text as UTF-8.
void PushText(lua_State* L, UStringView text);
// Pushes text; or, when text is the ASCII bytes `original` of the Lua
// string at index, that string itself.
void PushTextOr(lua_State* L, const UString& text, int index, std::string_view original);

bool IsNull(lua_State* L, int index);
bool IsNothing(lua_State* L, int index);
void PushNothing(lua_State* L);

}  // namespace tarnel::host
