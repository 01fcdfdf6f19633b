// Conversions between automation types with the automation rules
// (VariantChangeType): overflow, type mismatch, Null, objects through their
// default member; the text form of a value under the user's locale; and the
// type name of a value as the VB runtime gives it (TypeName).
// Pure functions apart from reading the locale from the process environment
// once; safe on any thread for values that hold no objects.
#pragma once
#include "platform/automation/locale.h"
#include "platform/automation/variant.h"

namespace tarnel {

// Flags of ChangeType (VariantChangeType's).
enum ChangeTypeFlags : std::uint16_t {
  kNoValueProp = 0x01,  // do not read an object's default member
  kAlphaBool = 0x02,    // Boolean to text as "True"/"False"
  kLocalBool = 0x10,    // Boolean to text in the locale's language
};

// Converts src (following a reference) to type vt into dst. dst may be src.
// Failures: DISP_E_TYPEMISMATCH (no conversion, Null to a non-Variant type,
// text that is no number), DISP_E_OVERFLOW (out of the target's range),
// DISP_E_BADVARTYPE (invalid type). dst is unchanged on failure.
HRESULT ChangeType(Variant& dst, const Variant& src, std::uint16_t flags, VarType vt,
                   const Locale& locale = Locale::User());

// The text form of a value as the platform's VARIANT-to-string conversion
// gives it under the locale (numbers with the locale's decimal separator,
// dates in its short date and time formats, Booleans as "True"/"False" in
// the locale's language, Empty as "", an object as its default member's
// value). Throws ComError: error 94 for Null, 13 for arrays, error values
// and Unknowns, 91 for Nothing, 438 for an object without a default member.
UString TextOf(const Variant& value, const Locale& locale = Locale::User());

// TypeName: "Long", "String", "Nothing", the class name of an object from
// its type information ("Recordset"), "Object" when it has none, element
// name plus "()" for arrays. Throws ComError 458 for a type a Variant cannot
// hold, 13 for a reference without target.
UString TypeName(const Variant& value);
UString TypeNameOfObject(Unknown* object);

// Numeric helpers used by the dispatch layer and the controls; each throws
// ComError with the VB number (6 overflow, 13 type mismatch, 94 Null).
std::int32_t ToInt32(const Variant& value);
double ToDouble(const Variant& value);
bool ToBool(const Variant& value);

}  // namespace tarnel
