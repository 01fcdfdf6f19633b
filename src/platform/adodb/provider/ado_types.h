// The ADO enumeration values that the database providers and the ADODB object
// model share: data types, parameter directions, field attributes and connect
// modes, with the numbers of the ADO 2.8 type library.
// Constants only; safe on any thread.
#pragma once
#include <cstdint>

namespace tarnel::adodb {

enum DataTypeEnum : std::int32_t {
  adEmpty = 0,
  adSmallInt = 2,
  adInteger = 3,
  adSingle = 4,
  adDouble = 5,
  adCurrency = 6,
  adDate = 7,
  adBSTR = 8,
  adIDispatch = 9,
  adError = 10,
  adBoolean = 11,
  adVariant = 12,
  adIUnknown = 13,
  adDecimal = 14,
  adTinyInt = 16,
  adUnsignedTinyInt = 17,
  adUnsignedSmallInt = 18,
  adUnsignedInt = 19,
  adBigInt = 20,
  adUnsignedBigInt = 21,
  adFileTime = 64,
  adGUID = 72,
  adBinary = 128,
  adChar = 129,
  adWChar = 130,
  adNumeric = 131,
  adUserDefined = 132,
  adDBDate = 133,
  adDBTime = 134,
  adDBTimeStamp = 135,
  adChapter = 136,
  adPropVariant = 138,
  adVarNumeric = 139,
  adVarChar = 200,
  adLongVarChar = 201,
  adVarWChar = 202,
  adLongVarWChar = 203,
  adVarBinary = 204,
  adLongVarBinary = 205,
};

enum ParameterDirectionEnum : std::int32_t {
  adParamUnknown = 0,
  adParamInput = 1,
  adParamOutput = 2,
  adParamInputOutput = 3,
  adParamReturnValue = 4,
};

enum FieldAttributeEnum : std::int32_t {
  adFldUnspecified = -1,
  adFldMayDefer = 0x2,
  adFldUpdatable = 0x4,
  adFldUnknownUpdatable = 0x8,
  adFldFixed = 0x10,
  adFldIsNullable = 0x20,
  adFldMayBeNull = 0x40,
  adFldLong = 0x80,
  adFldRowID = 0x100,
  adFldKeyColumn = 0x8000,
};

enum ConnectModeEnum : std::int32_t {
  adModeUnknown = 0,
  adModeRead = 1,
  adModeWrite = 2,
  adModeReadWrite = 3,
};

enum CommandTypeEnum : std::int32_t {
  adCmdUnspecified = -1,
  adCmdText = 1,
  adCmdTable = 2,
  adCmdStoredProc = 4,
  adCmdUnknown = 8,
};

// Precision and NumericScale reported where they do not apply (OLE DB's ~0
// in a byte).
constexpr std::uint8_t kNotApplicable = 255;
// DefinedSize of long text (characters) and long binary (bytes) columns.
constexpr std::int32_t kLongTextSize = 1073741823;
constexpr std::int32_t kLongBinarySize = 2147483647;

}  // namespace tarnel::adodb
