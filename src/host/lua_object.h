// Automation objects as Lua values: a userdata holding one reference, whose
// metatable turns obj.Name into a property read, obj.Name = v into a
// property let or set, obj:Method(...) into a method call that returns the
// result followed by the final values of all arguments, obj(...) and
// obj[key] into calls of the default member. DISPIDs and member kinds are
// looked up once per (interface, name) and kept in Lua tables shared by all
// objects of that interface, so a repeated call does no name lookup.
// Used on the script's thread.
#pragma once
#include <cstdint>
#include <string_view>

#include <lua.hpp>

#include "platform/automation/dispatch.h"
#include "platform/automation/type_info.h"

namespace tarnel::host {

struct ObjectBox {
  Dispatch* object;        // one reference; null once collected
  const TypeInfo* type;    // the object's interface (may be null)
  DirectCall* direct;      // the same object's direct calls, or null; no reference of its own
};

// Creates the metatable of objects; once per state.
void RegisterObjectType(lua_State* L);
// Pushes an object (adding a reference), or Nothing for null. With
// ownMethods an object with type information gets a method table of its
// own, in which obj:Method finds its closure without a call into the host:
// for the objects a script creates and calls most.
void PushObject(lua_State* L, Dispatch* object, bool ownMethods = false);
// The object at index, or null when the value is no host object.
ObjectBox* ToObjectBox(lua_State* L, int index);

// The name a call gives in its errors: the text, or the Lua string at a
// stack index (a method closure's upvalue), read only when it is needed.
struct CallName {
  std::string_view text;
  int index = 0;
  std::string_view Text(lua_State* L) const;
};

// Calls member id of object with the Lua values at [first, first+count) and
// pushes the result, then (with returnArgs) the final values of the
// arguments. With byRef every argument is passed as a reference to a
// host-owned Variant. Property puts pass flags PUT or PUTREF and the new
// value as the last argument. Returns the number of values pushed, or
// kRaise with the error value on top.
int InvokeAndPush(lua_State* L, Dispatch* object, DispId id, std::uint16_t flags, int first, int count,
                  bool byRef, bool returnArgs, const CallName& name);

}  // namespace tarnel::host
