// Internal to the conversion files (variant_convert, variant_text,
// number_*, date_text): a by-value view of a Variant's payload, the exact
// number form that conversions between numeric types go through, and the
// text and parsing primitives. Not part of the platform's interface.
// Pure functions; safe on any thread.
#pragma once
#include <cstdint>

#include "platform/automation/dispatch.h"
#include "platform/automation/locale.h"
#include "platform/automation/variant.h"

namespace tarnel::convert {

__extension__ typedef unsigned __int128 U128;

// The payload of a Variant after following one level of reference. Strings,
// objects and arrays are borrowed from the Variant (or its target).
struct Scalar {
  VarType type = VT_EMPTY;
  bool array = false;
  std::int64_t i = 0;   // I1, I2, I4, I8, INT, BOOL (the raw VARIANT_BOOL), CY
  std::uint64_t u = 0;  // UI1, UI2, UI4, UI8, UINT
  double d = 0;         // R8, DATE; R4 widened exactly
  Decimal dec;
  HRESULT scode = S_OK;
  const UString* str = nullptr;
  Dispatch* disp = nullptr;
  Unknown* unk = nullptr;
  SafeArray* arr = nullptr;
};

// Reads v into s. DISP_E_BADVARTYPE for a type a Variant cannot hold,
// DISP_E_TYPEMISMATCH for a reference without target or a reference to a
// reference.
HRESULT ReadScalar(const Variant& v, Scalar& s);
// True for the types a Variant may hold as a value (not VT_VARIANT).
bool IsValueType(std::uint16_t vt);

// An exact decimal: magnitude (below 2^96), scale 0..28, sign.
struct Dec {
  U128 mag = 0;
  int scale = 0;
  bool neg = false;
};
constexpr U128 kDecMax = (U128(1) << 96) - 1;
U128 Pow10(int n);  // n in 0..38

// A number on its way between types: exact integers, exact decimals
// (Currency, Decimal, most parsed text) and binary reals (Single, Double,
// Date). `digits` is the precision a real carries (15, or 7 for Single),
// which decides its conversion to Decimal.
struct Number {
  enum Kind { kInt, kUInt, kReal, kDec } kind = kInt;
  std::int64_t i = 0;
  std::uint64_t u = 0;
  double d = 0;
  int digits = 15;
  Dec dec;
  // A real parsed from text too long or too small for an exact decimal
  // also carries the text rounded to a decimal, for conversions to Decimal.
  bool realHasDec = false;
};

// The number a scalar stands for; strings are parsed with the locale's
// decimal separator. DISP_E_TYPEMISMATCH for non-numeric values and text,
// E_INVALIDARG for a malformed Decimal.
HRESULT NumberOf(const Scalar& s, const Locale& locale, Number& n);

// Conversions of a number to a target range. Reals and decimals round half
// to even. DISP_E_OVERFLOW when out of range.
HRESULT ToSigned(const Number& n, std::int64_t lo, std::int64_t hi, std::int64_t& out);
HRESULT ToUnsigned(const Number& n, std::uint64_t hi, std::uint64_t& out);
double ToReal(const Number& n);
HRESULT ToCurrency(const Number& n, std::int64_t& out);
HRESULT ToDec(const Number& n, Dec& out);
bool IsZero(const Number& n);

Dec DecOfCurrency(std::int64_t cy);
// Decimal <-> Dec; a malformed Decimal (scale > 28, stray sign bits) gives
// false.
bool DecFromDecimal(const Decimal& d, Dec& out);
Decimal DecimalFromDec(const Dec& d);

// Parses number text: blanks around it, a sign, digits with the locale's
// decimal separator, an exponent ("1,5E+3"), or "&H"/"&O" hex and octal.
HRESULT ParseNumber(UStringView text, char16_t decimalSeparator, Number& out);
// "True"/"False" in English or in the locale's language, any case.
bool ParseBoolWord(UStringView text, const Locale& locale, bool& value);
// Leading and trailing blanks removed.
UStringView TrimBlanks(UStringView text);

// Text of numbers as the platform's number-to-string conversions give it.
void AppendSigned(UString& out, std::int64_t v);
void AppendUnsigned(UString& out, std::uint64_t v);
// significantDigits 15 for Double, 7 for Single.
void AppendReal(UString& out, double v, int significantDigits, char16_t decimalSeparator);
void AppendDec(UString& out, const Dec& d, char16_t decimalSeparator);

// Dates: the valid range of a Date (0100-01-01 to 9999-12-31 23:59:59),
// its text in the locale's short date and time pictures (E_INVALIDARG
// outside the range), and date text to a Date.
bool DateInRange(double d);
HRESULT AppendDate(UString& out, double date, const Locale& locale);
bool ParseDate(UStringView text, const Locale& locale, double& out);

// The value of an object's default member (DISPID_VALUE, property get).
HRESULT ReadDefaultValue(Dispatch* object, Variant& out, ExcepInfo& excep);
// How deep default members are followed (an object whose default member
// returns an object, ...) before the value counts as having none.
constexpr int kMaxDefaultDepth = 8;

// Reads a value as a script's conversions see it: references followed,
// objects replaced by their default member's value (kept alive in holder).
// Throws ComError: 91 for Nothing, 438 for an object without a default
// member (or the member's own error), 94 for Null, 458 for a bad type.
void ReadForScript(const Variant& v, Variant& holder, Scalar& s);
// Throws the run-time error that a failed conversion stands for
// (13 type mismatch, 6 overflow, 5 invalid argument, ...).
[[noreturn]] void RaiseConversionFailure(HRESULT hr);

// The text of a scalar for ChangeType(..., VT_BSTR) with its flags
// (objects resolved already).
HRESULT TextOfScalar(const Scalar& s, std::uint16_t flags, const Locale& locale, UString& out);

}  // namespace tarnel::convert
