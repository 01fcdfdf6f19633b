// The shell object "WScript.Shell": a built-in class of the platform whose
// RegRead, RegWrite and RegDelete read, write and delete values of the
// process's registry store by name ("HKCU\Software\App\Value", or
// "HKCU\Software\App\" for the key itself and its default value). Roots are
// HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT (also HKCU, HKLM,
// HKCR), HKEY_USERS and HKEY_CURRENT_CONFIG, in any letter case.
// Registry data becomes automation values and back as the Windows Script
// Host's shell object converts them; failures are raised with its error
// numbers, messages and sources ("WshShell.RegRead" etc.).
// Thread rule: a shell object belongs to the apartment thread that created
// it; the store underneath may be used from any thread.
#pragma once
#include "platform/automation/dispatch.h"
#include "platform/automation/type_info.h"

namespace tarnel {

// Registers "WScript.Shell" as a built-in class; the host calls it once at
// start-up. Calling it again changes nothing.
void RegisterShellClasses();

// The class and the dispatch interface of the shell object.
const CoClassInfo& ShellClass();
const TypeInfo& ShellInterface();

// A new shell object with one reference.
ComPtr<Dispatch> CreateShellObject();

}  // namespace tarnel
