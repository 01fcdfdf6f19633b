// The shell object's registry operations on a registry store: the name
// syntax (a root, key names, and after the last backslash the value name,
// empty for the key's default value), the conversion of registry data into
// automation values and back, and the shell object's errors. Internal to the
// wshell folder; the functions throw ComError with the source
// "WshShell.RegRead", "WshShell.RegWrite" or "WshShell.RegDelete".
// Safe on any thread for values that hold no objects.
#pragma once
#include "platform/automation/variant.h"
#include "platform/registry/registry_store.h"

namespace tarnel {

// REG_SZ and REG_EXPAND_SZ as strings (REG_EXPAND_SZ unexpanded), REG_DWORD
// as Long, REG_BINARY as an array of Variants holding Bytes, REG_MULTI_SZ as
// an array of Variants holding Strings; any other type fails with a type
// mismatch.
Variant ShellRegRead(RegistryStore& store, UStringView name);

// type is "REG_SZ", "REG_EXPAND_SZ", "REG_DWORD" or "REG_BINARY" (exactly,
// in capitals), or missing for REG_SZ. Text types take the value's text,
// REG_DWORD a 32-bit integer, REG_BINARY a 32-bit integer written as four
// little-endian bytes. Missing keys are created with their parents.
void ShellRegWrite(RegistryStore& store, UStringView name, const Variant& value, const Variant& type);

// "Key\" deletes the key (not when it has subkeys); "Key\Value" the value.
void ShellRegDelete(RegistryStore& store, UStringView name);

}  // namespace tarnel
