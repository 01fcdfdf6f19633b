// The debugger output, the stand-in for OutputDebugStringA/W: a line goes
// to the in-process debugger when one is attached (the host's
// --debug-output), otherwise as one datagram to the per-user monitor socket
// (the host's --monitor), otherwise it is lost. Writing never blocks and
// never fails.
//
// Thread rule: every function here may be called from any thread. There is
// one debugger sink per process; the sink is called on the thread that
// writes, possibly on several threads at once, and must be safe for that. A
// line being written while DetachDebugger runs may still reach the old sink
// (it is kept alive until that call returns).
#pragma once
#include <cstddef>
#include <functional>
#include <string_view>

#include "platform/automation/ustring.h"

namespace tarnel {

// The largest datagram sent to the monitor; a longer line goes out in
// consecutive datagrams of at most this size.
inline constexpr std::size_t kMaxDebugDatagram = 65536;

// Receives each line exactly as converted: no terminator is added.
using DebuggerSink = std::function<void(std::string_view bytes)>;

// Writes one line of debugger output: the text up to its first NUL,
// converted to the user's code page (Locale::User().ansiCodePage;
// unmappable characters become '?').
void OutputDebugLine(UStringView line) noexcept;

// The same for text already in the code page (OutputDebugStringA's form);
// it also ends at the first NUL.
void OutputDebugBytes(std::string_view bytes) noexcept;

// Attaches the in-process debugger; it replaces any earlier one. An empty
// function detaches.
void AttachDebugger(DebuggerSink sink);
void DetachDebugger();
bool IsDebuggerAttached();

}  // namespace tarnel
