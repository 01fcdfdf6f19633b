// Values between the automation layer and the providers: a Variant becomes
// the provider Value that a parameter or a field write binds (coerced to
// the column's or parameter's data type), and a row-store cell or an output
// Value becomes the Variant that Field.Value and Parameter.Value give (the
// automation type that matches the data type). Pure functions; any thread
// for values that hold no objects.
#pragma once
#include <string>
#include <string_view>

#include "platform/adodb/provider/row_store.h"
#include "platform/automation/variant.h"

namespace tarnel::adodb {

// The Variant of a stored cell; `type` is the column's DataTypeEnum.
Variant CellVariant(const provider::RowStore& store, std::size_t row, std::size_t col);
// The text of that value as TextOf gives it under the user's locale
// (raising as TextOf does for a value without one, such as Null); text and
// whole-number cells without making the Variant.
UString CellText(const provider::RowStore& store, std::size_t row, std::size_t col);
// The Variant of a provider value of data type `type`.
Variant ValueVariant(const provider::Value& value, DataTypeEnum type);

// The provider value for `value` (references followed) as data type
// `type`; adEmpty / adVariant take the Variant's own type. Empty, Null and
// a missing argument become Null. Throws ComError 3421 (wrong type for the
// operation) when the value cannot be converted.
provider::Value ProviderValue(const Variant& value, DataTypeEnum type);

// The data type that a Variant's own type suggests (adInteger for Long,
// adVarWChar for String, ...); adEmpty for Empty and Null.
DataTypeEnum DataTypeOfVariant(const Variant& value);

// Exact decimal text and Decimal (96-bit magnitude, scale 0..28): "-12.340"
// <-> {sign, scale 3, 12340}. Parsing fails (false) for malformed text and
// for more digits than a Decimal holds.
std::string DecimalToText(const Decimal& d);
bool ParseDecimal(std::string_view text, Decimal& out);

// A byte array (VT_ARRAY|VT_UI1) from bytes and back; BytesOfArray throws
// ComError 3421 for other values.
Variant ByteArray(std::string_view bytes);
std::string BytesOfArray(const Variant& value);

}  // namespace tarnel::adodb
