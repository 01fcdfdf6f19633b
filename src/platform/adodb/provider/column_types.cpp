// The per-type Field metadata table: byte sizes and ADO's precisions for the
// fixed types, long-column sizes for unbounded text and binary, and the
// attribute bits that follow from them.
#include "platform/adodb/provider/column_types.h"

namespace tarnel::adodb::provider {

namespace {

struct Fixed {
  DataTypeEnum type;
  std::int32_t size;
  std::uint8_t precision;
  std::uint8_t scale;
};

constexpr Fixed kFixed[] = {
    {adBoolean, 2, kNotApplicable, kNotApplicable},
    {adTinyInt, 1, 3, 0},
    {adUnsignedTinyInt, 1, 3, 0},
    {adSmallInt, 2, 5, 0},
    {adUnsignedSmallInt, 2, 5, 0},
    {adInteger, 4, 10, 0},
    {adUnsignedInt, 4, 10, 0},
    {adBigInt, 8, 19, 0},
    {adUnsignedBigInt, 8, 20, 0},
    {adSingle, 4, 7, kNotApplicable},
    {adDouble, 8, 15, kNotApplicable},
    {adCurrency, 8, 19, kNotApplicable},
    {adDate, 8, kNotApplicable, kNotApplicable},
    {adDBDate, 6, 10, kNotApplicable},
    {adDBTime, 6, 8, kNotApplicable},
    {adDBTimeStamp, 16, 23, 3},
    {adGUID, 16, kNotApplicable, kNotApplicable},
};

}  // namespace

bool IsDateType(DataTypeEnum type) {
  return type == adDate || type == adDBDate || type == adDBTime || type == adDBTimeStamp;
}

ColumnInfo DescribeColumn(std::string name, DataTypeEnum type, std::int32_t size, int precision, int scale) {
  ColumnInfo c;
  c.name = std::move(name);
  c.type = type;
  for (const Fixed& f : kFixed) {
    if (f.type == type) {
      c.definedSize = f.size;
      c.precision = f.precision;
      c.numericScale = f.scale;
      c.attributes |= adFldFixed;
      return c;
    }
  }
  switch (type) {
    case adNumeric:
    case adDecimal:
    case adVarNumeric:
      c.definedSize = 19;
      c.precision = static_cast<std::uint8_t>(precision > 0 && precision <= 255 ? precision : 18);
      c.numericScale = static_cast<std::uint8_t>(scale >= 0 && scale <= c.precision ? scale : 0);
      c.attributes |= adFldFixed;
      break;
    case adChar:
    case adWChar:
    case adBinary:
      c.definedSize = size > 0 ? size : 1;
      c.attributes |= adFldFixed;
      break;
    case adVarChar:
    case adVarWChar:
      if (size > 0) {
        c.definedSize = size;
      } else {
        c.type = type == adVarChar ? adLongVarChar : adLongVarWChar;
        c.definedSize = kLongTextSize;
        c.attributes |= adFldLong;
      }
      break;
    case adVarBinary:
      if (size > 0) {
        c.definedSize = size;
      } else {
        c.type = adLongVarBinary;
        c.definedSize = kLongBinarySize;
        c.attributes |= adFldLong;
      }
      break;
    case adLongVarChar:
    case adLongVarWChar:
      c.definedSize = kLongTextSize;
      c.attributes |= adFldLong;
      break;
    case adLongVarBinary:
      c.definedSize = kLongBinarySize;
      c.attributes |= adFldLong;
      break;
    default:
      c.definedSize = size;
      break;
  }
  return c;
}

}  // namespace tarnel::adodb::provider
