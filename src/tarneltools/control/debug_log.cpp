// DebugLog: the one way the ADO control writes a diagnostic line. The caller
// forms the whole text; whether it is written is decided here, by the
// control's debug mode. A caller on a hot path may skip forming a line
// when DebugModeOn() says it would not be written, as long as forming it
// cannot fail (a text form that may raise is formed in any case, since the
// failure is what the caller sees). The line goes to the debugger output
// prefixed with the library file's base name and ".ocx ", with nothing
// added after it.
#include "platform/debugout/debug_output.h"
#include "tarneltools/control/ado_control.h"
#include "tarneltools/control/module_file.h"

namespace tarnel {

void AdoControl::DebugLog(const UString& line) {
  if (GetDebugMode() == 0) return;
  // The debugger output converts the text to the user's code page.
  OutputDebugLine(ModuleBaseName() + u".ocx " + line);
}

}  // namespace tarnel
