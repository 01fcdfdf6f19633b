// The globals a script gets from the host: CreateObject, ConnectEvents,
// DisconnectEvents, DoEvents, Sleep, ControlFace, ResizeControl, Null and
// Nothing, and the metatables of objects and error values.
// Used on the script's thread.
#pragma once
#include <lua.hpp>

namespace tarnel::host {

// Registers the host's globals and types in L (whose host must be set).
void OpenHostLibrary(lua_State* L);

}  // namespace tarnel::host
