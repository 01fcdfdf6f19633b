// Conversion of UTF-16 text to an ANSI code page, as the debugger output
// needs it (what WideCharToMultiByte does for OutputDebugStringW): each
// character the code page has becomes its bytes, every other one becomes
// '?'. Pure functions; safe on any thread.
#pragma once
#include <string>
#include <string_view>

#include "platform/automation/ustring.h"

namespace tarnel {

// Converts `text` to the code page `codePage`: "CP1252" (also
// "windows-1252" or "1252", converted by a built-in table) or any character
// set name iconv knows ("CP1250", "ISO-8859-2"; a bare number n means
// "CPn"). The mapping is exact: no best-fit look-alikes. A character the code
// page lacks becomes '?', a surrogate pair one '?', an unpaired surrogate
// '?'. In CP1252 the five undefined bytes 0x81, 0x8D, 0x8F, 0x90 and 0x9D
// round-trip from U+0081 etc. NUL characters are converted like any other.
// Throws std::system_error (EINVAL) when the code page is unknown.
std::string ToAnsi(UStringView text, const std::string& codePage);

}  // namespace tarnel
