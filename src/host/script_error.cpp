// Script error values: building them from C++ exceptions, the metatable
// that prints them, and reading any Lua error value back as text.
#include "host/script_error.h"

#include <new>
#include <system_error>

#include "platform/apartment/apartment.h"
#include "platform/automation/com_error.h"
#include "platform/registry/registry_error.h"

namespace tarnel::host {
namespace {

const char kErrorMetaKey = 0;

int ErrorToString(lua_State* L) {
  // Only raw fields: a script may have changed the table.
  luaL_checktype(L, 1, LUA_TTABLE);
  lua_pushliteral(L, "number");
  lua_rawget(L, 1);
  lua_pushliteral(L, "description");
  lua_rawget(L, 1);
  const int number = lua_gettop(L) - 1;
  const int description = lua_gettop(L);
  const char* numberText = luaL_tolstring(L, number, nullptr);
  const char* descriptionText = luaL_tolstring(L, description, nullptr);
  lua_pushfstring(L, "%s: %s", numberText, descriptionText);
  return 1;
}

}  // namespace

ScriptError ScriptError::Standard(std::int32_t number, const std::string& detail) {
  ScriptError e;
  e.number = number;
  e.description = ToUtf8(StandardErrorDescription(number));
  if (!detail.empty()) e.description += " (" + detail + ")";
  return e;
}

std::string ScriptError::Text() const { return std::to_string(number) + ": " + description; }

ScriptError ErrorFromCurrentException() noexcept {
  try {
    try {
      throw;
    } catch (const ComError& e) {
      return ScriptError{e.Number(), ToUtf8(e.Description()), ToUtf8(e.Source())};
    } catch (const ApartmentError& e) {
      return ScriptError{ErrorNumberFromHResult(e.hr()), e.what(), {}};
    } catch (const RegistryError& e) {
      return ScriptError{ErrorNumberFromHResult(e.HResult()), e.what(), {}};
    } catch (const std::bad_alloc&) {
      return ScriptError::Standard(7);
    } catch (const std::system_error& e) {
      return ScriptError{e.code().value(), e.what(), {}};
    } catch (const std::exception& e) {
      return ScriptError{ErrorNumberFromHResult(E_FAIL), e.what(), {}};
    } catch (...) {
      return ScriptError{ErrorNumberFromHResult(E_UNEXPECTED), "Automation error", {}};
    }
  } catch (...) {
    // Building the text itself failed (out of memory).
    ScriptError e;
    e.number = 7;
    return e;
  }
}

void RegisterErrorType(lua_State* L) {
  lua_createtable(L, 0, 2);
  lua_pushcfunction(L, ErrorToString);
  lua_setfield(L, -2, "__tostring");
  lua_pushliteral(L, "tarnel.error");
  lua_setfield(L, -2, "__name");
  lua_rawsetp(L, LUA_REGISTRYINDEX, &kErrorMetaKey);
}

void PushError(lua_State* L, const ScriptError& error) {
  lua_createtable(L, 0, 3);
  lua_pushinteger(L, error.number);
  lua_setfield(L, -2, "number");
  lua_pushlstring(L, error.description.data(), error.description.size());
  lua_setfield(L, -2, "description");
  lua_pushlstring(L, error.source.data(), error.source.size());
  lua_setfield(L, -2, "source");
  lua_rawgetp(L, LUA_REGISTRYINDEX, &kErrorMetaKey);
  lua_setmetatable(L, -2);
}

bool ReadErrorValue(lua_State* L, int index, ScriptError& out) {
  index = lua_absindex(L, index);
  if (lua_type(L, index) != LUA_TTABLE) return false;
  lua_pushliteral(L, "number");
  lua_rawget(L, index);
  lua_pushliteral(L, "description");
  lua_rawget(L, index);
  lua_pushliteral(L, "source");
  lua_rawget(L, index);
  bool ok = lua_type(L, -3) == LUA_TNUMBER && lua_type(L, -2) == LUA_TSTRING;
  if (ok) {
    lua_Integer n = 0;
    int isInteger = 0;
    n = lua_tointegerx(L, -3, &isInteger);
    if (!isInteger) n = static_cast<lua_Integer>(lua_tonumber(L, -3));
    out.number = static_cast<std::int32_t>(n);
    std::size_t length = 0;
    const char* text = lua_tolstring(L, -2, &length);
    out.description.assign(text, length);
    if (lua_type(L, -1) == LUA_TSTRING) {
      text = lua_tolstring(L, -1, &length);
      out.source.assign(text, length);
    } else {
      out.source.clear();
    }
  }
  lua_pop(L, 3);
  return ok;
}

namespace {

int ToStringProtected(lua_State* L) {
  luaL_tolstring(L, 1, nullptr);
  return 1;
}

}  // namespace

std::string ErrorValueText(lua_State* L, int index) {
  index = lua_absindex(L, index);
  ScriptError error;
  if (ReadErrorValue(L, index, error)) return error.Text();
  int type = lua_type(L, index);
  if (type == LUA_TSTRING || type == LUA_TNUMBER) {
    std::size_t length = 0;
    lua_pushvalue(L, index);  // tolstring converts numbers in place
    const char* text = lua_tolstring(L, -1, &length);
    std::string result(text, length);
    lua_pop(L, 1);
    return result;
  }
  lua_pushcfunction(L, ToStringProtected);
  lua_pushvalue(L, index);
  if (lua_pcall(L, 1, 1, 0) == LUA_OK && lua_type(L, -1) == LUA_TSTRING) {
    std::string result = lua_tostring(L, -1);
    lua_pop(L, 1);
    return result;
  }
  lua_pop(L, 1);
  return std::string("(error object is a ") + luaL_typename(L, index) + " value)";
}

}  // namespace tarnel::host
