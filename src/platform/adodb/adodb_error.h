// How the data access objects raise their own errors: the error numbers of
// the object model (3704 "object closed", 3021 "no current record", ...)
// with their descriptions, raised as control-facility failure codes whose
// source is the ProgID of the object that raised them. Pure functions;
// callable on any thread, raised on the apartment thread.
#pragma once
#include "platform/automation/com_error.h"
#include "platform/adodb/adodb_enums.h"

namespace tarnel::adodb {

// The sources that the objects name in their errors.
inline constexpr const char16_t* kSrcConnection = u"ADODB.Connection";
inline constexpr const char16_t* kSrcRecordset = u"ADODB.Recordset";
inline constexpr const char16_t* kSrcCommand = u"ADODB.Command";
inline constexpr const char16_t* kSrcParameter = u"ADODB.Parameter";
inline constexpr const char16_t* kSrcParameters = u"ADODB.Parameters";
inline constexpr const char16_t* kSrcField = u"ADODB.Field";
inline constexpr const char16_t* kSrcFields = u"ADODB.Fields";
inline constexpr const char16_t* kSrcErrors = u"ADODB.Errors";
inline constexpr const char16_t* kSrcProperties = u"ADODB.Properties";
inline constexpr const char16_t* kSrcStream = u"ADODB.Stream";
inline constexpr const char16_t* kSrcRecord = u"ADODB.Record";

// The description of one of the object model's error numbers; a generic
// text for numbers it does not know.
const char16_t* AdoErrorText(int number);

// Raises error `number` (0x800A0000 + number) with its description.
[[noreturn]] void RaiseAdo(int number, const char16_t* source);
// The same with a description of the caller's.
[[noreturn]] void RaiseAdo(int number, const char16_t* source, UString description);

// The ComError for an error number, for code that hands errors on instead
// of throwing them (completion events).
ComError AdoError(int number, const char16_t* source);

}  // namespace tarnel::adodb
