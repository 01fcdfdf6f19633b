// The library's registration in HKEY_CLASSES_ROOT: for each control class
// its CLSID key (in-process server, threading model, ProgID, control flag,
// miscellaneous status, toolbox bitmap, type library and version), its
// ProgID key, the type library key and the keys of its interfaces.
// Unregistration removes exactly these keys again.
// Apartment-thread only (the registry store itself is thread-safe).
#pragma once
#include <string>

#include "platform/automation/hresult.h"
#include "platform/registry/registry_store.h"

namespace tarnel {

// Writes the registration into store, naming serverPath as the library
// file; all of it lands, or nothing when an error occurs (RegistryError).
void RegisterLibrary(RegistryStore& store, const std::string& serverPath);
// Removes what RegisterLibrary writes; keys that are already gone are skipped.
void UnregisterLibrary(RegistryStore& store);

}  // namespace tarnel
