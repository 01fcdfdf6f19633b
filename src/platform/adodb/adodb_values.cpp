// Conversions between Variants and provider values. Reading a cell is on
// the hot path of Field.Value, so the common kinds (integers, doubles, text)
// go straight from the store's slot to the Variant without intermediate
// copies.
#include "platform/adodb/adodb_values.h"

#include <cstring>
#include <limits>

#include "platform/adodb/adodb_error.h"
#include "platform/automation/variant_convert.h"

namespace tarnel::adodb {
namespace {

using provider::CellKind;
// Decimal's 96-bit magnitude fits a 128-bit integer (a compiler extension).
__extension__ typedef unsigned __int128 U128;
using provider::Value;

bool Fits32(std::int64_t v) {
  return v >= std::numeric_limits<std::int32_t>::min() && v <= std::numeric_limits<std::int32_t>::max();
}

Variant IntegerVariant(std::int64_t v, DataTypeEnum type) {
  switch (type) {
    case adSmallInt:
    case adTinyInt:
      if (v >= -32768 && v <= 32767) return Variant::I2(static_cast<std::int16_t>(v));
      break;
    case adUnsignedTinyInt:
      if (v >= 0 && v <= 255) return Variant::UI1(static_cast<std::uint8_t>(v));
      break;
    case adBigInt:
    case adUnsignedBigInt:
      return Variant::I8(v);
    case adBoolean:
      return Variant(v != 0);
    case adSingle:
      return Variant::R4(static_cast<float>(v));
    case adDouble:
      return Variant(static_cast<double>(v));
    case adCurrency:
      if (v > std::numeric_limits<std::int64_t>::max() / 10000 || v < std::numeric_limits<std::int64_t>::min() / 10000)
        break;
      return Variant::Cy(Currency{v * 10000});
    case adDecimal:
    case adNumeric:
    case adVarNumeric: {
      Decimal d;
      d.sign = v < 0 ? 0x80 : 0;
      d.lo64 = v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
      return Variant::Dec(d);
    }
    case adDate:
    case adDBDate:
    case adDBTimeStamp:
      return Variant::FromDate(static_cast<double>(v));
    default:
      break;
  }
  if (Fits32(v)) return Variant(static_cast<std::int32_t>(v));
  return Variant::I8(v);
}

Variant DoubleVariant(double v, CellKind kind, DataTypeEnum type) {
  if (kind == CellKind::Date) return Variant::FromDate(v);
  switch (type) {
    case adSingle: return Variant::R4(static_cast<float>(v));
    case adDecimal:
    case adNumeric:
    case adVarNumeric:
    case adCurrency: {
      // An engine that stores exact numbers as doubles (SQLite) still gives
      // the column's type; a value out of its range stays a double.
      Variant exact;
      if (Succeeded(ChangeType(exact, Variant(v), 0, type == adCurrency ? VT_CY : VT_DECIMAL))) return exact;
      return Variant(v);
    }
    case adDate:
    case adDBDate:
    case adDBTime:
    case adDBTimeStamp: return Variant::FromDate(v);
    default: return Variant(v);
  }
}

Variant NumericVariant(std::string_view text) {
  Decimal d;
  if (ParseDecimal(text, d)) return Variant::Dec(d);
  // More digits than a Decimal holds: the nearest double.
  std::string copy(text);
  char* end = nullptr;
  double v = std::strtod(copy.c_str(), &end);
  if (end && *end == '\0' && !copy.empty()) return Variant(v);
  return Variant(provider::Utf8ToUtf16(text));
}

Variant KindVariant(CellKind kind, std::int64_t integer, double real, std::string_view bytes, DataTypeEnum type) {
  switch (kind) {
    case CellKind::Empty: return Variant();
    case CellKind::Null: return Variant::Null();
    case CellKind::Integer: return IntegerVariant(integer, type);
    case CellKind::Boolean: return Variant(integer != 0);
    case CellKind::Currency: return Variant::Cy(Currency{integer});
    case CellKind::Double:
    case CellKind::Date: return DoubleVariant(real, kind, type);
    case CellKind::Text:
      return Variant(provider::Utf8ToUtf16(bytes));
    case CellKind::Numeric: return NumericVariant(bytes);
    case CellKind::Blob: return ByteArray(bytes);
  }
  return Variant();
}

[[noreturn]] void CannotConvert() { RaiseAdo(adErrDataConversion, nullptr); }

Variant Coerced(const Variant& value, VarType vt) {
  Variant out;
  if (Failed(ChangeType(out, value, 0, vt))) CannotConvert();
  return out;
}

bool IsTextType(DataTypeEnum type) {
  switch (type) {
    case adBSTR:
    case adChar:
    case adWChar:
    case adVarChar:
    case adVarWChar:
    case adLongVarChar:
    case adLongVarWChar:
    case adGUID:
      return true;
    default:
      return false;
  }
}

}  // namespace

Variant CellVariant(const provider::RowStore& store, std::size_t row, std::size_t col) {
  const CellKind kind = store.Kind(row, col);
  const DataTypeEnum type = store.Columns()[col].type;
  switch (kind) {
    case CellKind::Integer:
      // The common column types straight to their Variant.
      if (type == adInteger) {
        const std::int64_t v = store.Integer(row, col);
        if (Fits32(v)) return Variant(static_cast<std::int32_t>(v));
      }
      return IntegerVariant(store.Integer(row, col), type);
    case CellKind::Boolean:
    case CellKind::Currency:
      return KindVariant(kind, store.Integer(row, col), 0, {}, type);
    case CellKind::Double:
      if (type == adDouble) return Variant(store.Double(row, col));
      return DoubleVariant(store.Double(row, col), kind, type);
    case CellKind::Date:
      return Variant::FromDate(store.Double(row, col));
    case CellKind::Text:
      return Variant(provider::Utf8ToUtf16(store.Bytes(row, col)));
    case CellKind::Numeric:
    case CellKind::Blob:
      return KindVariant(kind, 0, 0, store.Bytes(row, col), type);
    default:
      return KindVariant(kind, 0, 0, {}, type);
  }
}

UString CellText(const provider::RowStore& store, std::size_t row, std::size_t col) {
  switch (store.Kind(row, col)) {
    case CellKind::Text: return provider::Utf8ToUtf16(store.Bytes(row, col));
    case CellKind::Integer:
      if (store.Columns()[col].type == adInteger) {
        const std::int64_t v = store.Integer(row, col);
        if (Fits32(v)) return DecimalText(static_cast<std::int32_t>(v));
      }
      break;
    default: break;
  }
  return TextOf(CellVariant(store, row, col));
}

Variant ValueVariant(const provider::Value& value, DataTypeEnum type) {
  return KindVariant(value.kind, value.integer, value.real, value.bytes, type);
}

DataTypeEnum DataTypeOfVariant(const Variant& value) {
  const Variant v = value.Deref();
  if (v.IsArray()) return v.BaseType() == VT_UI1 ? adVarBinary : adVariant;
  switch (v.vt()) {
    case VT_EMPTY:
    case VT_NULL: return adEmpty;
    case VT_I1: return adTinyInt;
    case VT_I2: return adSmallInt;
    case VT_I4:
    case VT_INT: return adInteger;
    case VT_UI1: return adUnsignedTinyInt;
    case VT_UI2: return adUnsignedSmallInt;
    case VT_UI4:
    case VT_UINT: return adUnsignedInt;
    case VT_I8: return adBigInt;
    case VT_UI8: return adUnsignedBigInt;
    case VT_R4: return adSingle;
    case VT_R8: return adDouble;
    case VT_CY: return adCurrency;
    case VT_DATE: return adDate;
    case VT_BOOL: return adBoolean;
    case VT_DECIMAL: return adDecimal;
    case VT_BSTR: return adVarWChar;
    default: return adVariant;
  }
}

Value ProviderValue(const Variant& value, DataTypeEnum type) {
  const Variant v = value.Deref();
  if (v.IsEmpty() || v.IsNull() || v.IsMissing()) return Value::Null();
  if (type == adEmpty || type == adVariant) type = DataTypeOfVariant(v);
  switch (type) {
    case adTinyInt:
    case adSmallInt:
    case adInteger:
    case adBigInt:
    case adUnsignedTinyInt:
    case adUnsignedSmallInt:
    case adUnsignedInt:
    case adUnsignedBigInt:
      return Value::Int(Coerced(v, VT_I8).llVal());
    case adSingle:
    case adDouble:
      return Value::Real(Coerced(v, VT_R8).dblVal());
    case adBoolean:
      return Value::Bool(Coerced(v, VT_BOOL).boolVal() != 0);
    case adCurrency:
      return Value::Money(Coerced(v, VT_CY).cyVal().int64);
    case adDate:
    case adDBDate:
    case adDBTime:
    case adDBTimeStamp:
    case adFileTime:
      return Value::OleDate(Coerced(v, VT_DATE).date());
    case adDecimal:
    case adNumeric:
    case adVarNumeric:
      return Value::Decimal(DecimalToText(Coerced(v, VT_DECIMAL).decVal()));
    case adBinary:
    case adVarBinary:
    case adLongVarBinary:
      if (v.vt() == VT_BSTR) return Value::Binary(ToUtf8(v.bstrVal()));
      return Value::Binary(BytesOfArray(v));
    default:
      if (IsTextType(type) || type == adVariant) {
        if (v.IsArray() || v.IsObject()) CannotConvert();
        return Value::Text(ToUtf8(Coerced(v, VT_BSTR).bstrVal()));
      }
      CannotConvert();
  }
}

std::string DecimalToText(const Decimal& d) {
  U128 m = (static_cast<U128>(d.hi32) << 64) | d.lo64;
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(m % 10)));
    m /= 10;
  } while (m != 0);
  const std::size_t scale = d.scale > 28 ? 28 : d.scale;
  if (digits.size() <= scale) digits.insert(digits.begin(), scale + 1 - digits.size(), '0');
  if (scale > 0) digits.insert(digits.end() - static_cast<std::ptrdiff_t>(scale), '.');
  const bool zero = d.lo64 == 0 && d.hi32 == 0;
  if ((d.sign & 0x80) && !zero) digits.insert(digits.begin(), '-');
  return digits;
}

bool ParseDecimal(std::string_view text, Decimal& out) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  U128 m = 0;
  constexpr U128 kMax = (static_cast<U128>(1) << 96) - 1;
  int scale = 0;
  bool point = false;
  bool any = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '.' && !point) {
      point = true;
      continue;
    }
    if (c < '0' || c > '9') return false;
    any = true;
    if (point) {
      // Fraction digits beyond what a Decimal keeps: drop trailing zeros,
      // refuse anything else (the caller falls back to a double).
      if (scale == 28 || m * 10 + static_cast<unsigned>(c - '0') > kMax) {
        if (c != '0') return false;
        continue;
      }
      ++scale;
    }
    m = m * 10 + static_cast<unsigned>(c - '0');
    if (m > kMax) return false;
  }
  if (!any) return false;
  out = Decimal{};
  out.scale = static_cast<std::uint8_t>(scale);
  out.sign = negative && m != 0 ? 0x80 : 0;
  out.hi32 = static_cast<std::uint32_t>(m >> 64);
  out.lo64 = static_cast<std::uint64_t>(m);
  return true;
}

Variant ByteArray(std::string_view bytes) {
  std::vector<Variant> elements;
  elements.reserve(bytes.size());
  for (char c : bytes) elements.push_back(Variant::UI1(static_cast<std::uint8_t>(c)));
  return Variant::Array(SafeArray::Vector(VT_UI1, std::move(elements)));
}

std::string BytesOfArray(const Variant& value) {
  const Variant& v = value.Target();
  SafeArray* array = nullptr;
  if (v.vt() == (VT_ARRAY | VT_UI1)) array = v.parray();
  if (v.vt() == (VT_BYREF | VT_ARRAY | VT_UI1) && v.byref()) array = *static_cast<SafeArray**>(v.byref());
  if (!array) CannotConvert();
  std::string out;
  out.reserve(array->ElementCount());
  for (const Variant& e : array->Elements()) {
    Variant copy = e;
    out.push_back(static_cast<char>(copy.bVal()));
  }
  return out;
}

}  // namespace tarnel::adodb
