// The state the script host keeps for one Lua state: which Lua thread is
// running host code right now (event handlers run on it), the error of an
// event handler waiting to be raised in the script, and the event
// connections made with ConnectEvents. Also the pattern every Lua entry
// point follows: all C++ work happens in a function that returns a result
// count or kRaise (with the error value pushed), and lua_error is called
// only from the entry's own frame, which owns no C++ objects.
// Owned by the ScriptHost; used on the apartment thread that runs the script.
#pragma once
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <lua.hpp>

#include "host/script_error.h"
#include "platform/automation/connection_point.h"
#include "platform/automation/dispatch.h"

namespace tarnel::host {

// Shared with event sinks, which may outlive the host: host is cleared when
// the host closes, after which sinks call nothing.
struct HostLink {
  struct HostState* host = nullptr;
};

struct EventConnection {
  ComPtr<Unknown> identity;      // the object's IUnknown, to find it again
  ComPtr<Unknown> container;     // keeps the point's owner alive
  ConnectionPoint* point = nullptr;
  std::uint32_t cookie = 0;
  ComPtr<Dispatch> sink;         // a LuaEventSink
  int handlersRef = LUA_NOREF;   // registry reference to the handlers table
};

struct HostState {
  lua_State* main = nullptr;
  lua_State* current = nullptr;      // the Lua thread inside host code, if any
  int pendingErrorRef = LUA_NOREF;   // an event handler's error, not yet raised
  std::optional<ScriptError> pendingNative;  // a queued message's error, not yet raised
  std::vector<EventConnection> connections;
  std::shared_ptr<HostLink> link = std::make_shared<HostLink>();
};

// The host of a Lua state (kept in the state's extra space, which every
// coroutine inherits).
inline HostState* HostOf(lua_State* L) { return *static_cast<HostState**>(lua_getextraspace(L)); }
inline void SetHostOf(lua_State* L, HostState* host) { *static_cast<HostState**>(lua_getextraspace(L)) = host; }

// Marks L as the Lua thread running host code for the life of the scope.
class CurrentThreadScope {
 public:
  explicit CurrentThreadScope(lua_State* L) : host_(HostOf(L)), saved_(host_ ? host_->current : nullptr) {
    if (host_) host_->current = L;
  }
  ~CurrentThreadScope() {
    if (host_) host_->current = saved_;
  }
  CurrentThreadScope(const CurrentThreadScope&) = delete;
  CurrentThreadScope& operator=(const CurrentThreadScope&) = delete;

 private:
  HostState* host_;
  lua_State* saved_;
};

// What an entry's working function returns when the error value is on the
// stack and the entry must raise it.
constexpr int kRaise = -1;

// Raises the value on top of the stack when n is kRaise, else returns n.
// Called from the entry's own frame.
inline int FinishEntry(lua_State* L, int n) { return n == kRaise ? lua_error(L) : n; }

// Pushes the event handler error waiting to be raised, if any, and returns
// true; the script then sees it at the host call that is returning.
bool TakeWaitingError(lua_State* L);
inline bool TakePendingError(lua_State* L) {
  const HostState* host = HostOf(L);
  return host && (host->pendingErrorRef != LUA_NOREF || host->pendingNative) && TakeWaitingError(L);
}

// Runs work, which pushes its results and returns their count or throws,
// with L as the current thread; turns an exception, or an error waiting
// from an event handler, into the error value and kRaise.
template <class Work>
int Guarded(lua_State* L, Work&& work) noexcept {
  std::optional<ScriptError> error;  // made only when the work fails
  {
    CurrentThreadScope scope(L);
    try {
      int n = work();
      if (n != kRaise && TakePendingError(L)) return kRaise;
      return n;
    } catch (...) {
      error = ErrorFromCurrentException();
    }
  }
  if (TakePendingError(L)) return kRaise;
  PushError(L, *error);
  return kRaise;
}

}  // namespace tarnel::host
