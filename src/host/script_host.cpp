// ScriptHost: creating the Lua state with the host's API, running scripts in
// protected mode, and the orderly end: connections, state, waiting
// messages, libraries.
#include "host/script_host.h"

#include <exception>
#include <new>

#include "host/host_api.h"
#include "host/lua_events.h"
#include "platform/apartment/apartment.h"
#include "platform/automation/activation.h"

namespace tarnel::host {
namespace {

int OpenAll(lua_State* L) {
  luaL_openlibs(L);
  OpenHostLibrary(L);
  return 0;
}

// Adds a traceback to Lua's own errors (strings); error values of host
// calls stay as they are.
int MessageHandler(lua_State* L) {
  if (lua_type(L, 1) == LUA_TSTRING) luaL_traceback(L, L, lua_tostring(L, 1), 1);
  return 1;
}

struct ArgTable {
  const std::string* path;
  const std::vector<std::string>* hostArgs;
  const std::vector<std::string>* scriptArgs;
};

int SetArgTable(lua_State* L) {
  const auto* a = static_cast<const ArgTable*>(lua_touserdata(L, 1));
  const auto hostCount = static_cast<lua_Integer>(a->hostArgs->size());
  lua_createtable(L, static_cast<int>(a->scriptArgs->size()), static_cast<int>(hostCount) + 1);
  for (lua_Integer i = 0; i < hostCount; ++i) {
    const std::string& s = (*a->hostArgs)[static_cast<std::size_t>(i)];
    lua_pushlstring(L, s.data(), s.size());
    lua_rawseti(L, -2, i - hostCount);
  }
  lua_pushlstring(L, a->path->data(), a->path->size());
  lua_rawseti(L, -2, 0);
  lua_Integer n = 0;
  for (const std::string& s : *a->scriptArgs) {
    lua_pushlstring(L, s.data(), s.size());
    lua_rawseti(L, -2, ++n);
  }
  lua_setglobal(L, "arg");
  return 0;
}

}  // namespace

ScriptHost::ScriptHost() {
  // An exception from a queued message becomes a script error, raised when
  // the host call that ran the message returns.
  std::weak_ptr<HostLink> link = host_.link;
  Apartment::Current().SetErrorHandler([link](std::exception_ptr error) {
    auto shared = link.lock();
    HostState* host = shared ? shared->host : nullptr;
    try {
      std::rethrow_exception(error);
    } catch (...) {
      ScriptError e = ErrorFromCurrentException();
      if (host && host->pendingErrorRef == LUA_NOREF && !host->pendingNative) host->pendingNative = std::move(e);
    }
  });
  lua_State* L = allocator_.NewState();
  if (!L) throw std::bad_alloc();
  // Scripts make many short-lived strings (every value read from a
  // record), which the generational collector frees for less work than
  // full incremental cycles.
  lua_gc(L, LUA_GCGEN, 0, 0);
  host_.main = L;
  host_.link->host = &host_;
  SetHostOf(L, &host_);
  lua_pushcfunction(L, OpenAll);
  if (lua_pcall(L, 0, 0, 0) != LUA_OK) {
    Close();
    throw std::bad_alloc();
  }
}

ScriptHost::~ScriptHost() { Close(); }

bool ScriptHost::Call(int argCount, std::string& errorText) {
  lua_State* L = host_.main;
  const int base = lua_gettop(L) - argCount;
  lua_pushcfunction(L, MessageHandler);
  lua_insert(L, base);
  int status = lua_pcall(L, argCount, 0, base);
  lua_remove(L, base);
  if (status == LUA_OK) {
    // An error that no host call returned through (normally none).
    if (!TakePendingError(L)) return true;
  }
  errorText = ErrorValueText(L, -1);
  lua_pop(L, 1);
  return false;
}

bool ScriptHost::RunFile(const std::string& path, const std::vector<std::string>& hostArgs,
                         const std::vector<std::string>& scriptArgs, std::string& errorText) {
  lua_State* L = host_.main;
  ArgTable table{&path, &hostArgs, &scriptArgs};
  lua_pushcfunction(L, SetArgTable);
  lua_pushlightuserdata(L, &table);
  if (lua_pcall(L, 1, 0, 0) != LUA_OK) {
    errorText = ErrorValueText(L, -1);
    lua_pop(L, 1);
    return false;
  }
  int status = luaL_loadfilex(L, path == "-" ? nullptr : path.c_str(), "t");
  if (status != LUA_OK) {
    errorText = ErrorValueText(L, -1);
    if (status == LUA_ERRFILE) errorText = "53: File not found (" + errorText + ")";
    lua_pop(L, 1);
    return false;
  }
  if (!lua_checkstack(L, static_cast<int>(scriptArgs.size()) + 4)) {
    lua_pop(L, 1);
    errorText = "7: Out of memory (too many script arguments)";
    return false;
  }
  for (const std::string& s : scriptArgs) lua_pushlstring(L, s.data(), s.size());
  return Call(static_cast<int>(scriptArgs.size()), errorText);
}

bool ScriptHost::RunString(std::string_view code, const std::string& chunkName, std::string& errorText) {
  lua_State* L = host_.main;
  if (luaL_loadbufferx(L, code.data(), code.size(), ("=" + chunkName).c_str(), "t") != LUA_OK) {
    errorText = ErrorValueText(L, -1);
    lua_pop(L, 1);
    return false;
  }
  return Call(0, errorText);
}

void ScriptHost::Close() {
  lua_State* L = host_.main;
  if (!L) return;
  DisconnectAll(L, host_);
  if (host_.pendingErrorRef != LUA_NOREF) luaL_unref(L, LUA_REGISTRYINDEX, host_.pendingErrorRef);
  host_.pendingErrorRef = LUA_NOREF;
  host_.pendingNative.reset();
  host_.link->host = nullptr;  // sinks still held by objects call nothing now
  lua_close(L);                // releases every object the script held
  host_.main = nullptr;
  host_.current = nullptr;
  try {
    Apartment& apartment = Apartment::Current();
    apartment.SetErrorHandler({});
    // Messages the objects left (completions, releases) run once more, so
    // nothing of a library stays queued when it is unloaded.
    for (int round = 0; round < 16 && apartment.PendingCount() > 0; ++round) apartment.ProcessPending();
  } catch (...) {
    // The thread's apartment is already gone: nothing is waiting.
  }
  FreeUnusedLibraries();
}

}  // namespace tarnel::host
