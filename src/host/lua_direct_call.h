// A script's method call made directly: when the object offers DirectCall
// and every argument already has its parameter's declared type (a whole
// Lua number that fits a Long for a Long, a Lua string for a String), the
// member is called on the arguments themselves, without Variants and
// without Invoke's argument block. What the script sees is what the call
// through Invoke gives: the same result, the same final values of the
// arguments, the same errors. Used on the script's thread.
#pragma once
#include <lua.hpp>

#include "host/lua_object.h"

namespace tarnel::host {

// The member a method closure calls directly, or null when it has no direct
// form: for the closure's upvalue, found once per (interface, DISPID).
const MemberDesc* DirectMember(const TypeInfo* type, DispId id);

// obj:Method(...) with the object at 1 and the arguments above it, called
// directly where it can be; any other call goes through InvokeAndPush.
// Returns what InvokeAndPush returns.
int DirectCallAndPush(lua_State* L, const ObjectBox& box, const MemberDesc& member, DispId id,
                      const CallName& name);

}  // namespace tarnel::host
