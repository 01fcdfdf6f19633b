// Dates between the engines' ISO text ("2024-03-01 12:30:00.250") and OLE
// dates (days since 1899-12-30, the fraction being the time of day), the
// form ADO's date fields and parameters carry. Pure functions; any thread.
#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace tarnel::adodb::provider {

// Parses "YYYY-MM-DD", "YYYY-MM-DD[ T]HH:MM[:SS[.fraction]]" (a trailing
// zone such as "+02", "+05:30" or "Z" is ignored: the time is kept as
// written) or "HH:MM[:SS[.fraction]]". Nothing for any other text, for
// years outside 100..9999 and for invalid days or times.
std::optional<double> OleDateFromIso(std::string_view text);

enum class DateTextForm { DateTime, Date, Time };
// "YYYY-MM-DD HH:MM:SS[.mmm]" (milliseconds only when not zero), the date or
// the time alone. Nothing for values outside years 100..9999 or NaN.
std::optional<std::string> IsoFromOleDate(double oleDate, DateTextForm form = DateTextForm::DateTime);

}  // namespace tarnel::adodb::provider
