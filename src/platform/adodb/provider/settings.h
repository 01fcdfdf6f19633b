// Helpers the providers share to read their connection-string settings:
// the ADO keywords every provider accepts, the check for keywords a
// provider does not know, and the parsing of yes/no and number values.
// Pure functions; any thread.
#pragma once
#include <chrono>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "platform/adodb/provider/connection_string.h"
#include "platform/adodb/provider/error.h"

namespace tarnel::adodb::provider {

// Fails with 3001 naming the first keyword that is neither one of `known`
// nor one of the general ADO / OLE DB keywords every provider accepts
// (Provider, Persist Security Info, Connect Timeout, Mode, ...).
Status CheckKeywords(const ConnectionString& cs, std::initializer_list<std::string_view> known,
                     std::string_view providerName);

// "True/False", "Yes/No", "On/Off", "1/0" (any case). Nothing otherwise.
std::optional<bool> ParseBoolean(std::string_view text);

// A whole number in 0..limit. Nothing otherwise.
std::optional<long long> ParseCount(std::string_view text, long long limit);

// The connection time-out from "Connect Timeout" / "Connection Timeout" /
// "Timeout" (seconds; 0 = wait for ever) or `fallback`; 3001 when the value
// is not a number.
Status ReadConnectTimeout(const ConnectionString& cs, std::chrono::milliseconds fallback,
                          std::chrono::milliseconds* out);

// Whether the "Mode" keyword (or the Mode property) asks for read-only
// access: Mode=Read or Mode=1. 3001 for a value that is not a mode.
Status ReadReadOnlyMode(const ConnectionString& cs, int modeProperty, bool* readOnly);

}  // namespace tarnel::adodb::provider
