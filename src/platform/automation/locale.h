// The user's locale as the conversions need it: decimal separator, short
// date and time pictures, and the words for True and False. Taken from the
// process environment (LC_ALL, then LC_NUMERIC / LC_TIME, then LANG) once;
// en-US when nothing is set or the name is unknown. Known locales: en-US,
// en-GB, de-DE, de-AT, de-CH, fr-FR, es-ES, it-IT, nl-NL, and "C"/"POSIX"
// (treated as en-US). Immutable after creation; safe on any thread.
#pragma once
#include <string>
#include <string_view>

#include "platform/automation/ustring.h"

namespace tarnel {

struct Locale {
  std::string name;          // "en-US"
  char16_t decimalSeparator = u'.';
  UString shortDate;         // Windows picture, "M/d/yyyy"
  UString timeFormat;        // Windows picture, "h:mm:ss tt"
  UString amDesignator = u"AM";
  UString pmDesignator = u"PM";
  UString trueWord = u"True";
  UString falseWord = u"False";
  // The character set that the debugger output converts to ("CP1252").
  std::string ansiCodePage = "CP1252";

  // The locale of the process environment (computed once).
  static const Locale& User();
  // The locale the process environment names now (not cached).
  static Locale FromEnvironment();
  // A locale by name ("de-DE", "de_DE.UTF-8", "en_US"); en-US when unknown.
  static Locale Named(std::string_view name);
};

}  // namespace tarnel
