// ChangeType between the automation types and the script-level helpers
// ToInt32/ToDouble/ToBool: ranges and overflow, rounding half to even,
// parsing under the locale, Null/Empty, objects through their default
// member, arrays, references and invalid types.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "conversion_fakes.h"
#include "platform/automation/variant_convert.h"

namespace tarnel {
namespace {

using testing::ErrorOf;
using testing::FakeObject;

using testing::DeDe;
using testing::EnUs;

// Converts and returns the HRESULT; the result in out.
HRESULT To(VarType vt, const Variant& v, Variant& out, const Locale& l = EnUs(), std::uint16_t flags = 0) {
  return ChangeType(out, v, flags, vt, l);
}

std::int64_t I8Of(const Variant& v) {
  Variant out;
  EXPECT_EQ(To(VT_I8, v, out), S_OK);
  return out.llVal();
}

TEST(IntegerConversion, RealsRoundHalfToEven) {
  struct Case {
    double value;
    std::int32_t expected;
  };
  const Case cases[] = {{0.5, 0},   {1.5, 2},   {2.5, 2},  {3.5, 4},   {-0.5, 0},
                        {-1.5, -2}, {-2.5, -2}, {2.4999, 2}, {2.5000001, 3}, {-2.6, -3}};
  for (const Case& c : cases) {
    Variant out;
    ASSERT_EQ(To(VT_I4, Variant(c.value), out), S_OK) << c.value;
    EXPECT_EQ(out.vt(), VT_I4);
    EXPECT_EQ(out.lVal(), c.expected) << c.value;
  }
  Variant out;
  ASSERT_EQ(To(VT_I2, Variant::Cy(Currency{25000}), out), S_OK);
  EXPECT_EQ(out.iVal(), 2);
  ASSERT_EQ(To(VT_I2, Variant::Cy(Currency{35000}), out), S_OK);
  EXPECT_EQ(out.iVal(), 4);
  ASSERT_EQ(To(VT_I4, Variant(u"2.5"), out), S_OK);
  EXPECT_EQ(out.lVal(), 2);
  ASSERT_EQ(To(VT_I4, Variant(u"2.50000000000000000001"), out), S_OK);
  EXPECT_EQ(out.lVal(), 3);
}

TEST(IntegerConversion, RangeEdgesOverflow) {
  Variant out;
  EXPECT_EQ(To(VT_I2, Variant(32767.4), out), S_OK);
  EXPECT_EQ(To(VT_I2, Variant(32767.5), out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(VT_I2, Variant(-32768.5), out), S_OK);
  EXPECT_EQ(out.iVal(), -32768);
  EXPECT_EQ(To(VT_I2, Variant(40000), out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(VT_I4, Variant(2147483647.5), out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(VT_I4, Variant(-2147483648.5), out), S_OK);
  EXPECT_EQ(out.lVal(), INT32_MIN);
  EXPECT_EQ(To(VT_I4, Variant::I8(INT64_MIN), out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(VT_UI1, Variant(256), out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(VT_UI1, Variant(-1), out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(VT_UI1, Variant(255), out), S_OK);
  EXPECT_EQ(out.vt(), VT_UI1);
  EXPECT_EQ(To(VT_I1, Variant(128), out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(VT_UI4, Variant(-1), out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(VT_UI4, Variant(-0.4), out), S_OK);  // rounds to zero
  Variant big = Variant::OfType(VT_UI8);
  big.ullVal() = UINT64_MAX;
  EXPECT_EQ(To(VT_I8, big, out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(VT_UI8, Variant(1.8446744073709552e19), out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(VT_I8, Variant(9.2233720368547758e18), out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(VT_I4, Variant(std::numeric_limits<double>::infinity()), out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(VT_I4, Variant(std::numeric_limits<double>::quiet_NaN()), out), DISP_E_OVERFLOW);
  // Failure leaves the destination alone.
  Variant keep(u"kept");
  EXPECT_EQ(To(VT_I2, Variant(1e9), keep), DISP_E_OVERFLOW);
  EXPECT_EQ(keep.vt(), VT_BSTR);
}

TEST(IntegerConversion, BooleansAreMinusOneOrTheirBitPattern) {
  Variant out;
  ASSERT_EQ(To(VT_I2, Variant(true), out), S_OK);
  EXPECT_EQ(out.iVal(), -1);
  ASSERT_EQ(To(VT_UI1, Variant(true), out), S_OK);
  EXPECT_EQ(out.bVal(), 255);
  ASSERT_EQ(To(VT_R8, Variant(true), out), S_OK);
  EXPECT_EQ(out.dblVal(), -1.0);
  ASSERT_EQ(To(VT_CY, Variant(true), out), S_OK);
  EXPECT_EQ(out.cyVal().int64, -10000);
  ASSERT_EQ(To(VT_I4, Variant(false), out), S_OK);
  EXPECT_EQ(out.lVal(), 0);
}

TEST(RealConversion, SingleRangeAndExactDecimals) {
  Variant out;
  EXPECT_EQ(To(VT_R4, Variant(1e39), out), DISP_E_OVERFLOW);
  ASSERT_EQ(To(VT_R4, Variant(1e38), out), S_OK);
  EXPECT_EQ(out.vt(), VT_R4);
  Decimal max;
  max.lo64 = ~0ull;
  max.hi32 = ~0u;
  max.scale = 28;
  ASSERT_EQ(To(VT_R8, Variant::Dec(max), out), S_OK);
  EXPECT_DOUBLE_EQ(out.dblVal(), 7.9228162514264337593543950335);
  ASSERT_EQ(To(VT_R8, Variant(u" 0.1 "), out), S_OK);
  EXPECT_EQ(out.dblVal(), 0.1);  // correctly rounded, not accumulated
  ASSERT_EQ(To(VT_R8, Variant::I8(INT64_MIN), out), S_OK);
  EXPECT_EQ(out.dblVal(), -9223372036854775808.0);
}

TEST(CurrencyConversion, FourDecimalsRoundedHalfToEven) {
  Variant out;
  ASSERT_EQ(To(VT_CY, Variant(u"0.00015"), out), S_OK);
  EXPECT_EQ(out.cyVal().int64, 2);
  ASSERT_EQ(To(VT_CY, Variant(u"0.00025"), out), S_OK);
  EXPECT_EQ(out.cyVal().int64, 2);
  ASSERT_EQ(To(VT_CY, Variant(1.23456), out), S_OK);
  EXPECT_EQ(out.cyVal().int64, 12346);
  ASSERT_EQ(To(VT_CY, Variant::I8(922337203685477), out), S_OK);
  EXPECT_EQ(To(VT_CY, Variant::I8(922337203685478), out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(VT_CY, Variant(1e15), out), DISP_E_OVERFLOW);
  ASSERT_EQ(To(VT_CY, Variant(u"-922337203685477.5808"), out), S_OK);
  EXPECT_EQ(out.cyVal().int64, INT64_MIN);
  EXPECT_EQ(To(VT_CY, Variant(u"922337203685477.5808"), out), DISP_E_OVERFLOW);
}

TEST(DecimalConversion, FromRealsWithTheirSignificantDigits) {
  Variant out;
  ASSERT_EQ(To(VT_DECIMAL, Variant(0.1), out), S_OK);
  EXPECT_EQ(out.decVal().lo64, 1u);
  EXPECT_EQ(out.decVal().scale, 1);
  ASSERT_EQ(To(VT_DECIMAL, Variant(1.0 / 3), out), S_OK);
  EXPECT_EQ(out.decVal().lo64, 333333333333333u);
  EXPECT_EQ(out.decVal().scale, 15);
  ASSERT_EQ(To(VT_DECIMAL, Variant::R4(0.1f), out), S_OK);
  EXPECT_EQ(out.decVal().lo64, 1u);
  ASSERT_EQ(To(VT_DECIMAL, Variant(-2.5e20), out), S_OK);
  EXPECT_EQ(out.decVal().sign, 0x80);
  EXPECT_EQ(out.decVal().scale, 0);
  EXPECT_EQ(To(VT_DECIMAL, Variant(1e29), out), DISP_E_OVERFLOW);
  ASSERT_EQ(To(VT_DECIMAL, Variant(1e-30), out), S_OK);  // below the smallest step: zero
  EXPECT_EQ(out.decVal().lo64, 0u);
  ASSERT_EQ(To(VT_DECIMAL, Variant(u"79228162514264337593543950335"), out), S_OK);
  EXPECT_EQ(out.decVal().hi32, ~0u);
  EXPECT_EQ(To(VT_DECIMAL, Variant(u"79228162514264337593543950336"), out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(VT_DECIMAL, Variant(u"-1e29"), out), DISP_E_OVERFLOW);
  // Text beyond a decimal's precision is rounded to 28 places, half to even.
  ASSERT_EQ(To(VT_DECIMAL, Variant(u"0.00000000000000000000000000015"), out), S_OK);
  EXPECT_EQ(out.decVal().lo64, 2u);
  EXPECT_EQ(out.decVal().scale, 28);
  ASSERT_EQ(To(VT_DECIMAL, Variant(u"0.00000000000000000000000000025"), out), S_OK);
  EXPECT_EQ(out.decVal().lo64, 2u);
  ASSERT_EQ(To(VT_DECIMAL, Variant(u"1.99999999999999999999999999999"), out), S_OK);
  EXPECT_EQ(ToUtf8(TextOf(out, EnUs())), "2");
  ASSERT_EQ(To(VT_DECIMAL, Variant(u"1e-40"), out), S_OK);
  EXPECT_EQ(out.decVal().lo64, 0u);
  ASSERT_EQ(To(VT_R8, Variant(u"1e-40"), out), S_OK);
  EXPECT_EQ(out.dblVal(), 1e-40);
  ASSERT_EQ(To(VT_I4, Variant::Dec(Decimal{1, 0x80, 0, 25}), out), S_OK);  // -2.5
  EXPECT_EQ(out.lVal(), -2);
}

TEST(TextToNumber, BlanksSignsExponentsAndTheLocalesSeparator) {
  EXPECT_EQ(I8Of(Variant(u"  12 ")), 12);
  EXPECT_EQ(I8Of(Variant(u"+7")), 7);
  EXPECT_EQ(I8Of(Variant(u"-1.5E3")), -1500);
  EXPECT_EQ(I8Of(Variant(u"15e-1")), 2);
  EXPECT_EQ(I8Of(Variant(u"-9223372036854775808")), INT64_MIN);
  EXPECT_EQ(I8Of(Variant(u"&HFF")), 255);
  EXPECT_EQ(I8Of(Variant(u"&hFFFF")), -1);  // an Integer's bit pattern, as the literal
  EXPECT_EQ(I8Of(Variant(u"&H10000")), 65536);
  EXPECT_EQ(I8Of(Variant(u"&O17")), 15);
  Variant out;
  ASSERT_EQ(To(VT_R8, Variant(u"1,5"), out, DeDe()), S_OK);
  EXPECT_EQ(out.dblVal(), 1.5);
  ASSERT_EQ(To(VT_R8, Variant(u".5"), out), S_OK);
  EXPECT_EQ(out.dblVal(), 0.5);
  ASSERT_EQ(To(VT_R8, Variant(u"1e-400"), out), S_OK);
  EXPECT_EQ(out.dblVal(), 0.0);
  ASSERT_EQ(To(VT_R8, Variant(u"123456789012345678901234567890123"), out), S_OK);
  EXPECT_DOUBLE_EQ(out.dblVal(), 1.23456789012345678901234567890123e32);
}

TEST(TextToNumber, WhatIsNoNumberIsATypeMismatch) {
  Variant out;
  for (const char16_t* text : {u"", u"   ", u"abc", u"1e", u"1x", u".", u"-", u"1 2", u"&H", u"&HG", u"&X1", u"1,5"}) {
    EXPECT_EQ(To(VT_I4, Variant(text), out), DISP_E_TYPEMISMATCH) << ToUtf8(text);
  }
  // Under de-DE "." is no decimal separator (and grouping is not accepted).
  EXPECT_EQ(To(VT_R8, Variant(u"1.5"), out, DeDe()), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(To(VT_I4, Variant(u"1e400"), out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(VT_R8, Variant(u"1e400"), out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(VT_I8, Variant(u"99999999999999999999"), out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(VT_I4, Variant(u"&H10000000000000000"), out), DISP_E_OVERFLOW);
}

TEST(BooleanConversion, WordsAndNumbers) {
  Variant out;
  auto boolOf = [&](const Variant& v, const Locale& l) {
    EXPECT_EQ(To(VT_BOOL, v, out, l), S_OK);
    return out.boolVal();
  };
  EXPECT_EQ(boolOf(Variant(u"True"), EnUs()), VARIANT_TRUE);
  EXPECT_EQ(boolOf(Variant(u" false "), EnUs()), VARIANT_FALSE);
  EXPECT_EQ(boolOf(Variant(u"Wahr"), DeDe()), VARIANT_TRUE);
  EXPECT_EQ(boolOf(Variant(u"TRUE"), DeDe()), VARIANT_TRUE);
  EXPECT_EQ(boolOf(Variant(u"0"), EnUs()), VARIANT_FALSE);
  EXPECT_EQ(boolOf(Variant(u"-2"), EnUs()), VARIANT_TRUE);
  EXPECT_EQ(boolOf(Variant(0.1), EnUs()), VARIANT_TRUE);
  EXPECT_EQ(boolOf(Variant(0.0), EnUs()), VARIANT_FALSE);
  EXPECT_EQ(boolOf(Variant(), EnUs()), VARIANT_FALSE);
  EXPECT_EQ(To(VT_BOOL, Variant(u"yes"), out), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(To(VT_BOOL, Variant(u"Wahr"), out, EnUs()), DISP_E_TYPEMISMATCH);
}

TEST(DateConversion, TextInTheLocalesFormsAndNumbersInRange) {
  Variant out;
  ASSERT_EQ(To(VT_DATE, Variant(u"3/15/2023"), out), S_OK);
  EXPECT_EQ(out.vt(), VT_DATE);
  EXPECT_EQ(out.dblVal(), 45000.0);
  ASSERT_EQ(To(VT_DATE, Variant(u"15.03.2023 12:00:00"), out, DeDe()), S_OK);
  EXPECT_EQ(out.dblVal(), 45000.5);
  ASSERT_EQ(To(VT_DATE, Variant(u"2023-03-15 18:00"), out, DeDe()), S_OK);
  EXPECT_EQ(out.dblVal(), 45000.75);
  ASSERT_EQ(To(VT_DATE, Variant(u"12:00:00 PM"), out), S_OK);
  EXPECT_EQ(out.dblVal(), 0.5);
  ASSERT_EQ(To(VT_DATE, Variant(u"12/29/1899 6:00:00 AM"), out), S_OK);
  EXPECT_EQ(out.dblVal(), -1.25);
  ASSERT_EQ(To(VT_DATE, Variant(u"1/1/30"), out), S_OK);
  EXPECT_EQ(out.dblVal(), 10959.0);  // 1930-01-01
  EXPECT_EQ(To(VT_DATE, Variant(u"2/30/2023"), out), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(To(VT_DATE, Variant(u"13:00 PM"), out), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(To(VT_DATE, Variant(3e6), out), DISP_E_OVERFLOW);
  ASSERT_EQ(To(VT_DATE, Variant(45000), out), S_OK);
  EXPECT_EQ(out.dblVal(), 45000.0);
  // Text and back for the whole range of the table.
  for (double d : {-657434.0, -1.25, 0.75, 3.34, 45000.5, 2958465.0}) {
    Variant text;
    ASSERT_EQ(To(VT_BSTR, Variant::FromDate(d), text, DeDe()), S_OK);
    ASSERT_EQ(To(VT_DATE, text, out, DeDe()), S_OK) << ToUtf8(text.bstrVal());
    EXPECT_NEAR(out.dblVal(), d, 0.5 / 86400) << ToUtf8(text.bstrVal());
  }
}

TEST(NullAndEmpty, NullConvertsOnlyToVariantsEmptyToZero) {
  Variant out;
  for (VarType vt : {VT_I2, VT_I4, VT_R8, VT_BSTR, VT_BOOL, VT_DATE, VT_CY, VT_DECIMAL, VT_EMPTY, VT_DISPATCH}) {
    EXPECT_EQ(To(vt, Variant::Null(), out), DISP_E_TYPEMISMATCH) << vt;
  }
  ASSERT_EQ(To(VT_NULL, Variant::Null(), out), S_OK);
  EXPECT_TRUE(out.IsNull());
  ASSERT_EQ(To(VT_VARIANT, Variant::Null(), out), S_OK);
  EXPECT_TRUE(out.IsNull());
  ASSERT_EQ(To(VT_I4, Variant(), out), S_OK);
  EXPECT_EQ(out.lVal(), 0);
  ASSERT_EQ(To(VT_R8, Variant(), out), S_OK);
  EXPECT_EQ(out.dblVal(), 0.0);
  ASSERT_EQ(To(VT_BSTR, Variant(), out), S_OK);
  EXPECT_EQ(out.bstrVal(), u"");
}

TEST(VariantsAndArrays, VariantCopiesArraysOnlyToTheirOwnType) {
  Variant out;
  Variant s(u"text");
  ASSERT_EQ(To(VT_VARIANT, s, out), S_OK);
  s.bstrVal() = u"changed";
  EXPECT_EQ(out.bstrVal(), u"text");
  Variant target(5);
  ASSERT_EQ(To(VT_VARIANT, Variant::Ref(&target), out), S_OK);
  EXPECT_EQ(out.vt(), VT_I4);  // the value, not the reference
  Variant array = Variant::Array(SafeArray::Vector(VT_I4, {Variant(1), Variant(2)}));
  ASSERT_EQ(To(static_cast<VarType>(VT_ARRAY | VT_I4), array, out), S_OK);
  ASSERT_EQ(out.vt(), VT_ARRAY | VT_I4);
  EXPECT_NE(out.parray(), array.parray());
  EXPECT_EQ(out.parray()->ElementCount(), 2u);
  EXPECT_EQ(To(static_cast<VarType>(VT_ARRAY | VT_BSTR), array, out), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(To(VT_I4, array, out), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(To(static_cast<VarType>(VT_ARRAY | VT_I4), Variant(1), out), DISP_E_TYPEMISMATCH);
  ASSERT_EQ(To(VT_VARIANT, array, out), S_OK);
  EXPECT_EQ(out.vt(), VT_ARRAY | VT_I4);
}

TEST(InvalidTypes, BadTypesAndBrokenReferences) {
  Variant out;
  EXPECT_EQ(To(VT_I4, Variant::OfType(static_cast<VarType>(15)), out), DISP_E_BADVARTYPE);
  EXPECT_EQ(To(VT_I4, Variant::OfType(VT_VARIANT), out), DISP_E_BADVARTYPE);
  EXPECT_EQ(To(static_cast<VarType>(15), Variant(1), out), DISP_E_BADVARTYPE);
  EXPECT_EQ(To(VT_VOID, Variant(1), out), DISP_E_BADVARTYPE);
  EXPECT_EQ(To(static_cast<VarType>(VT_BYREF | VT_I4), Variant(1), out), DISP_E_BADVARTYPE);
  EXPECT_EQ(To(static_cast<VarType>(VT_ARRAY | VT_EMPTY), Variant(1), out), DISP_E_BADVARTYPE);
  EXPECT_EQ(To(VT_I4, Variant::RefTyped(VT_EMPTY, &out), out), DISP_E_BADVARTYPE);
  EXPECT_EQ(To(VT_I4, Variant::RefTyped(VT_I4, nullptr), out), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(To(VT_I4, Variant::Ref(nullptr), out), DISP_E_TYPEMISMATCH);
  Variant inner(1);
  Variant ref = Variant::Ref(&inner);
  EXPECT_EQ(To(VT_I4, Variant::Ref(&ref), out), DISP_E_TYPEMISMATCH);  // one level only
}

TEST(References, TypedReferencesReadTheCallersStorage) {
  Variant out;
  double d = 2.5;
  ASSERT_EQ(To(VT_I4, Variant::RefTyped(VT_R8, &d), out), S_OK);
  EXPECT_EQ(out.lVal(), 2);
  VariantBool b = VARIANT_TRUE;
  ASSERT_EQ(To(VT_BSTR, Variant::RefTyped(VT_BOOL, &b), out, EnUs(), kAlphaBool), S_OK);
  EXPECT_EQ(out.bstrVal(), u"True");
  Currency cy{15000};
  ASSERT_EQ(To(VT_R8, Variant::RefTyped(VT_CY, &cy), out), S_OK);
  EXPECT_EQ(out.dblVal(), 1.5);
}

TEST(InPlace, DestinationMayBeTheSource) {
  Variant v(42);
  ASSERT_EQ(ChangeType(v, v, 0, VT_BSTR, EnUs()), S_OK);
  EXPECT_EQ(v.bstrVal(), u"42");
  ASSERT_EQ(ChangeType(v, v, 0, VT_R8, EnUs()), S_OK);
  EXPECT_EQ(v.dblVal(), 42.0);
  Variant text(u"abc");
  EXPECT_EQ(ChangeType(text, text, 0, VT_I4, EnUs()), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(text.bstrVal(), u"abc");
}

TEST(Objects, ConvertThroughTheDefaultMember) {
  auto obj = MakeObject<FakeObject>();
  obj->defaultValue = Variant(u"41.6");
  Variant out;
  ASSERT_EQ(To(VT_I4, obj->AsVariant(), out), S_OK);
  EXPECT_EQ(out.lVal(), 42);
  EXPECT_EQ(obj->invokes, 1);
  EXPECT_EQ(To(VT_I4, obj->AsVariant(), out, EnUs(), kNoValueProp), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(obj->invokes, 1);
  ASSERT_EQ(To(VT_DISPATCH, obj->AsVariant(), out), S_OK);
  EXPECT_EQ(out.pdispVal(), static_cast<Dispatch*>(obj.get()));
  EXPECT_EQ(obj->invokes, 1);
  ASSERT_EQ(To(VT_UNKNOWN, obj->AsVariant(), out), S_OK);
  ASSERT_EQ(out.vt(), VT_UNKNOWN);
  Variant back;
  ASSERT_EQ(To(VT_DISPATCH, out, back), S_OK);
  EXPECT_EQ(back.pdispVal(), static_cast<Dispatch*>(obj.get()));
  obj->failure = DISP_E_MEMBERNOTFOUND;
  EXPECT_EQ(To(VT_I4, obj->AsVariant(), out), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(To(VT_I4, Variant(static_cast<Dispatch*>(nullptr)), out), DISP_E_TYPEMISMATCH);
  auto plain = MakeObject<testing::FakeUnknown>();
  EXPECT_EQ(To(VT_DISPATCH, Variant::Unk(plain.get()), out), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(To(VT_I4, Variant::Unk(plain.get()), out), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(To(VT_DISPATCH, Variant(1), out), DISP_E_TYPEMISMATCH);
}

TEST(ScriptHelpers, RaiseTheScriptsErrorNumbers) {
  EXPECT_EQ(ToInt32(Variant(u"12")), 12);
  EXPECT_EQ(ToInt32(Variant(2.5)), 2);
  EXPECT_EQ(ToInt32(Variant()), 0);
  EXPECT_EQ(ErrorOf([] { ToInt32(Variant::Null()); }), 94);
  EXPECT_EQ(ErrorOf([] { ToInt32(Variant(u"abc")); }), 13);
  EXPECT_EQ(ErrorOf([] { ToInt32(Variant(3e9)); }), 6);
  EXPECT_EQ(ErrorOf([] { ToInt32(Variant::Missing()); }), 13);
  EXPECT_EQ(ErrorOf([] { ToInt32(Variant(static_cast<Dispatch*>(nullptr))); }), 91);
  EXPECT_EQ(ErrorOf([] { ToInt32(Variant::Array(SafeArray::Vector(VT_I4, {}))); }), 13);
  EXPECT_EQ(ToDouble(Variant(u"-12")), -12.0);
  EXPECT_EQ(ToDouble(Variant::Cy(Currency{15000})), 1.5);
  EXPECT_EQ(ErrorOf([] { ToDouble(Variant::Null()); }), 94);
  EXPECT_EQ(ErrorOf([] { ToDouble(Variant(u"1e999")); }), 6);
  EXPECT_TRUE(ToBool(Variant(u"True")));
  EXPECT_FALSE(ToBool(Variant(u"0")));
  EXPECT_TRUE(ToBool(Variant(-3)));
  EXPECT_FALSE(ToBool(Variant()));
  EXPECT_EQ(ErrorOf([] { ToBool(Variant::Null()); }), 94);
  EXPECT_EQ(ErrorOf([] { ToBool(Variant(u"maybe")); }), 13);
  auto obj = MakeObject<FakeObject>();
  obj->defaultValue = Variant(7);
  EXPECT_EQ(ToInt32(obj->AsVariant()), 7);
  obj->failure = DISP_E_MEMBERNOTFOUND;
  EXPECT_EQ(ErrorOf([&] { ToInt32(obj->AsVariant()); }), 438);
}

}  // namespace
}  // namespace tarnel
