// Late-bound calls that the handle-based database methods make on the ADO
// objects in their slots: reading and writing a property by name and taking
// a call's result as an object reference. Each raises the callee's error
// (ComError with its number and description) when the call fails.
// Apartment thread only, like the objects they call.
#pragma once
#include <vector>

#include "platform/automation/dispatch.h"

namespace tarnel {

// The value of the property `name` of `object`.
Variant GetProperty(Dispatch* object, UStringView name);
// Lets the property `name` of `object` to `value`.
void LetProperty(Dispatch* object, UStringView name, Variant value);
// Sets the object property `name` of `object` to `value` (by reference).
void SetProperty(Dispatch* object, UStringView name, Dispatch* value);
// The object reference a value holds; empty for Nothing. Anything that is
// no object fails with error 424 (object required).
ComPtr<Dispatch> ObjectOf(const Variant& value);

}  // namespace tarnel
