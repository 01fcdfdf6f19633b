// ScriptHost: one Lua 5.4 state with the standard libraries and the host's
// API, on the thread that creates it (its apartment). It runs script files
// or text and reports a failure as its text, "number: description" for the
// errors of host calls. Closing it ends all event connections, closes the
// Lua state (releasing every object), lets waiting messages run once and
// unloads the component libraries that agree to it.
// Owned and used by one thread, the apartment thread of its objects.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include <lua.hpp>

#include "host/host_state.h"
#include "host/lua_allocator.h"

namespace tarnel::host {

class ScriptHost {
 public:
  // Creates the state. Throws std::bad_alloc when Lua cannot allocate it.
  ScriptHost();
  ~ScriptHost();
  ScriptHost(const ScriptHost&) = delete;
  ScriptHost& operator=(const ScriptHost&) = delete;

  lua_State* State() const { return host_.main; }

  // Runs the script at path ("-" for standard input) as the standalone Lua
  // interpreter would: `arg` holds hostArgs at negative indexes, the path
  // at 0 and scriptArgs from 1, and the chunk receives scriptArgs as `...`.
  // Returns true on success; else errorText is the failure's text.
  bool RunFile(const std::string& path, const std::vector<std::string>& hostArgs,
               const std::vector<std::string>& scriptArgs, std::string& errorText);
  // Runs Lua text; chunkName names it in messages.
  bool RunString(std::string_view code, const std::string& chunkName, std::string& errorText);

  // Ends the state as described above; the destructor calls it.
  void Close();

 private:
  bool Call(int argCount, std::string& errorText);

  LuaAllocator allocator_;  // outlives the state, which Close ends first
  HostState host_;
};

// Registers the classes the host offers without a library file: the
// platform's (ADODB, WScript.Shell) and, in test builds, the test objects.
// Safe to call more than once.
void RegisterHostClasses();

// Lets class activation read HKEY_CLASSES_ROOT from the process registry
// store.
void UseProcessRegistryForClasses();

}  // namespace tarnel::host
