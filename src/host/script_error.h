// Script errors: the value a failed host call raises in Lua, a table with
// the fields number, description and source that prints as
// "number: description", and the conversions from C++ exceptions and back
// from any Lua error value to that text. Used on the script's thread.
#pragma once
#include <cstdint>
#include <string>

#include <lua.hpp>

namespace tarnel::host {

struct ScriptError {
  std::int32_t number = 0;
  std::string description;  // UTF-8
  std::string source;

  // Run-time error n with its standard text, and the detail in parentheses.
  static ScriptError Standard(std::int32_t number, const std::string& detail = {});
  // "number: description"
  std::string Text() const;
};

// The error of the exception being handled: call only inside a catch block.
// A ComError keeps its number, description and source; other exceptions
// become their failure code's number with their message.
ScriptError ErrorFromCurrentException() noexcept;

// Creates the metatable of error values; once per Lua state.
void RegisterErrorType(lua_State* L);
// Pushes a new error value.
void PushError(lua_State* L, const ScriptError& error);
// Reads an error value, or any table with a number and a string description
// (raw fields, no metamethods run). False for anything else.
bool ReadErrorValue(lua_State* L, int index, ScriptError& out);
// The text of any Lua error value: "number: description" for error values,
// the string for strings and numbers, its __tostring in protected mode for
// other values, else "(error object is a <type> value)".
std::string ErrorValueText(lua_State* L, int index);

}  // namespace tarnel::host
