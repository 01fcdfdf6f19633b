// The library's own file: its absolute path, which registration writes as
// the in-process server, and its base name, which begins every diagnostic
// line. Both are found from the address of the library's own code, so they
// follow whatever name the file was given.
// Computed once; safe on any thread.
#pragma once
#include <string>
#include <string_view>

#include "platform/automation/ustring.h"

namespace tarnel {

// The absolute path of the file that holds this code.
const std::string& ModuleFilePath();
// Its file name without folder and extension: "TarnelTools".
const UString& ModuleBaseName();
// The file name of path without folder and last extension.
UString BaseNameOf(std::string_view path);

}  // namespace tarnel
