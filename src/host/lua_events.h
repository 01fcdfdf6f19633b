// Events in the script host: ConnectEvents(obj, handlers) advises a sink on
// the connection point of the object's event interface; the sink calls the
// handler named like the event with one table of the event's arguments by
// name, and writes the values the handler assigned to by-reference
// arguments back through their references when it returns. A handler's
// error fails the sink's Invoke (DISP_E_EXCEPTION) and is raised in the
// script when the host call that led to the event returns.
// Used on the script's thread.
#pragma once
#include <lua.hpp>

#include "host/host_state.h"

namespace tarnel::host {

// ConnectEvents(obj, handlers) and DisconnectEvents(obj) as Lua functions.
int LuaConnectEvents(lua_State* L);
int LuaDisconnectEvents(lua_State* L);

// Ends every connection (at host shutdown, before the Lua state closes).
void DisconnectAll(lua_State* L, HostState& host);

// Stores value through the reference ref (VT_BYREF|T or VT_BYREF|VT_VARIANT),
// converting it to T. DISP_E_TYPEMISMATCH, DISP_E_OVERFLOW or
// DISP_E_BADVARTYPE when it cannot; the target is then unchanged.
HRESULT StoreThroughReference(const Variant& ref, const Variant& value);

}  // namespace tarnel::host
