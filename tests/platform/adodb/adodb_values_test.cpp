// Values between Variants and the providers: exact decimals in both
// directions, the Variant type a cell gets from its column's data type,
// and values a column type cannot take.
#include "adodb_test_support.h"

namespace tarnel::adodb::testing {
namespace {

TEST(AdodbValuesTest, DecimalTextRoundTrips) {
  const char* cases[] = {"0", "1", "-1", "12.340", "-0.005", "79228162514264337593543950335",
                         "7.9228162514264337593543950335", "123456789012345678.5"};
  for (const char* text : cases) {
    Decimal d;
    ASSERT_TRUE(ParseDecimal(text, d)) << text;
    EXPECT_EQ(DecimalToText(d), text);
  }
  Decimal d;
  EXPECT_FALSE(ParseDecimal("79228162514264337593543950336", d)) << "beyond 96 bits";
  EXPECT_FALSE(ParseDecimal("1.2.3", d));
  EXPECT_FALSE(ParseDecimal("", d));
  EXPECT_FALSE(ParseDecimal("-", d));
  EXPECT_FALSE(ParseDecimal("1e5", d));
  ASSERT_TRUE(ParseDecimal("-0.000", d));
  EXPECT_EQ(d.sign, 0) << "no negative zero";
}

TEST(AdodbValuesTest, CellsTakeTheVariantTypeOfTheirColumn) {
  using provider::Value;
  EXPECT_EQ(ValueVariant(Value::Int(5), adSmallInt).vt(), VT_I2);
  EXPECT_EQ(ValueVariant(Value::Int(5), adInteger).vt(), VT_I4);
  EXPECT_EQ(ValueVariant(Value::Int(std::int64_t{1} << 40), adInteger).vt(), VT_I8) << "too big for a Long";
  EXPECT_EQ(ValueVariant(Value::Int(5), adBigInt).vt(), VT_I8);
  EXPECT_EQ(ValueVariant(Value::Int(1), adBoolean).vt(), VT_BOOL);
  EXPECT_EQ(ValueVariant(Value::Int(3), adCurrency).vt(), VT_CY);
  EXPECT_EQ(ValueVariant(Value::Real(2.5), adNumeric).vt(), VT_DECIMAL);
  EXPECT_EQ(ValueVariant(Value::Real(2.5), adSingle).vt(), VT_R4);
  EXPECT_EQ(ValueVariant(Value::OleDate(2.5), adVarWChar).vt(), VT_DATE);
  EXPECT_EQ(ValueVariant(Value::Decimal("99999999999999999999999999999999.5"), adNumeric).vt(), VT_R8)
      << "more digits than a Decimal holds";
  EXPECT_EQ(ValueVariant(Value::Binary(std::string("\0\1", 2)), adVarBinary).vt(), VT_ARRAY | VT_UI1);
  EXPECT_TRUE(ValueVariant(Value::Null(), adInteger).IsNull());
  EXPECT_TRUE(ValueVariant(Value::Empty(), adInteger).IsEmpty());
}

TEST(AdodbValuesTest, StoredCellsGiveTheSameVariantsAsValues) {
  // Field.Value reads cells straight from the store; it must agree with the
  // general conversion for every kind of cell in every kind of column.
  using provider::Value;
  const DataTypeEnum types[] = {adInteger, adSmallInt, adBigInt,  adDouble,      adSingle, adCurrency,
                                adNumeric, adBoolean,  adVarWChar, adDBTimeStamp, adVarBinary};
  const Value values[] = {Value::Int(7),          Value::Int(std::int64_t{1} << 40), Value::Real(2.25),
                          Value::Bool(true),      Value::Money(12345),               Value::OleDate(45000.5),
                          Value::Text("héllo"),   Value::Decimal("-12.340"),         Value::Binary("\x01\x02"),
                          Value::Null(),          Value::Empty()};
  std::vector<provider::ColumnInfo> columns;
  for (DataTypeEnum t : types) columns.push_back({.name = "c", .type = t});
  provider::RowStore store(columns);
  for (const Value& v : values) {
    const std::size_t row = store.AppendRow();
    for (std::size_t c = 0; c < columns.size(); ++c) store.Set(row, c, v);
  }
  for (std::size_t r = 0; r < store.RowCount(); ++r) {
    for (std::size_t c = 0; c < columns.size(); ++c) {
      SCOPED_TRACE(::testing::Message() << "row " << r << ", type " << types[c]);
      const Variant cell = CellVariant(store, r, c);
      const Variant value = ValueVariant(values[r], types[c]);
      ASSERT_EQ(cell.vt(), value.vt());
      if (cell.IsArray()) {
        EXPECT_EQ(BytesOfArray(cell), BytesOfArray(value));
      } else if (cell.vt() == VT_DATE) {
        EXPECT_EQ(cell.dblVal(), value.dblVal());  // some are beyond the dates text can show
      } else if (!cell.IsNull() && !cell.IsEmpty()) {
        EXPECT_EQ(Str(cell), Str(value));
      }
    }
  }
}

TEST(AdodbValuesTest, VariantsBecomeTheColumnsType) {
  using provider::CellKind;
  EXPECT_EQ(ProviderValue(Variant(u"42"), adInteger), provider::Value::Int(42));
  EXPECT_EQ(ProviderValue(Variant(2.5), adNumeric).bytes, "2.5");
  EXPECT_EQ(ProviderValue(Variant(std::int32_t{7}), adVarWChar), provider::Value::Text("7"));
  EXPECT_EQ(ProviderValue(Variant(true), adEmpty).kind, CellKind::Boolean) << "adEmpty takes the Variant's type";
  EXPECT_TRUE(ProviderValue(Variant::Null(), adInteger).IsNull());
  EXPECT_TRUE(ProviderValue(Variant::Missing(), adInteger).IsNull());
  EXPECT_EQ(ErrorOf([] { ProviderValue(Variant(u"abc"), adInteger); }), adErrDataConversion);
  EXPECT_EQ(ErrorOf([] { ProviderValue(Variant(1e300), adCurrency); }), adErrDataConversion);
  EXPECT_EQ(ErrorOf([] { ProviderValue(Variant(u"x"), adIDispatch); }), adErrDataConversion);
}

}  // namespace
}  // namespace tarnel::adodb::testing
