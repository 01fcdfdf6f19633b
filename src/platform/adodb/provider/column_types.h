// The Field metadata ADO reports for each DataTypeEnum (DefinedSize,
// Precision, NumericScale and the fixed / long attributes), in one table
// both providers use, so a type looks the same whichever engine produced it.
// Pure functions; any thread.
#pragma once
#include <string>

#include "platform/adodb/provider/row_store.h"

namespace tarnel::adodb::provider {

// A column of `type`. `size` is the declared length for character and
// binary types (characters / bytes; 0 = none declared, which makes
// adVarWChar / adVarBinary long); `precision` / `scale` apply to adNumeric
// and adDecimal. Fixed types get their byte size and ADO's precision;
// non-numeric types report 255 for NumericScale (and Precision).
ColumnInfo DescribeColumn(std::string name, DataTypeEnum type, std::int32_t size = 0, int precision = 0,
                          int scale = 0);

// Whether values of `type` are dates or times (an OLE date in the store).
bool IsDateType(DataTypeEnum type);

}  // namespace tarnel::adodb::provider
