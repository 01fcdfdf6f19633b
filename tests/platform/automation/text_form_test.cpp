// The text form of values (TextOf and ChangeType to String) against the
// platform's own outputs: doubles, singles, currency, decimals, dates in
// en-US and de-DE, Booleans by flag and locale, and the values that have no
// text form.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "conversion_fakes.h"
#include "platform/automation/variant_convert.h"

namespace tarnel {
namespace {

using testing::ErrorOf;
using testing::FakeObject;
using testing::FakeUnknown;

using testing::DeDe;
using testing::EnUs;

std::string Text(const Variant& v, const Locale& l = EnUs()) { return ToUtf8(TextOf(v, l)); }

std::string Converted(const Variant& v, std::uint16_t flags, const Locale& l = EnUs()) {
  Variant out;
  HRESULT hr = ChangeType(out, v, flags, VT_BSTR, l);
  if (Failed(hr)) return "failed " + std::to_string(hr);
  EXPECT_EQ(out.vt(), VT_BSTR);
  return ToUtf8(out.bstrVal());
}

Variant Dec(std::uint64_t lo, std::uint32_t hi, std::uint8_t scale, bool negative = false) {
  Decimal d;
  d.lo64 = lo;
  d.hi32 = hi;
  d.scale = scale;
  d.sign = negative ? 0x80 : 0;
  return Variant::Dec(d);
}

TEST(DoubleText, UsesFifteenDigitsAndFixedNotationWhileItNeedsAtMostFifteenDecimals) {
  struct Case {
    double value;
    const char* text;
  };
  const Case cases[] = {
      {0.1 + 0.2, "0.3"},
      {1.0 / 3, "0.333333333333333"},
      {2.0 / 3, "0.666666666666667"},
      {100.0 / 3, "33.3333333333333"},
      {3.141592653589793, "3.14159265358979"},
      {12.345678901234567, "12.3456789012346"},
      {999999999999999.0, "999999999999999"},
      {1e15, "1E+15"},
      {1.2e15, "1.2E+15"},
      {1.234e16, "1.234E+16"},
      {1e20, "1E+20"},
      {1e100, "1E+100"},
      {123456789012345678.0, "1.23456789012346E+17"},
      {1e-5, "0.00001"},
      {1.0 / 3000, "0.000333333333333333"},
      {1.5e-7, "0.00000015"},
      {5.6789e-11, "0.000000000056789"},
      {5.6789e-12, "5.6789E-12"},
      {-0.0, "0"},
      {-1e-20, "-1E-20"},
      {-2.5, "-2.5"},
      {12345.678, "12345.678"},
      {1e8, "100000000"},
  };
  for (const Case& c : cases) EXPECT_EQ(Text(Variant(c.value)), c.text) << c.value;
}

TEST(DoubleText, SingleUsesSevenDigits) {
  struct Case {
    float value;
    const char* text;
  };
  const Case cases[] = {
      {0.1f, "0.1"},         {1e8f, "1E+08"},          {1234567.0f, "1234567"},
      {12345678.0f, "1.234568E+07"}, {3.1415926f, "3.141593"}, {5e-6f, "0.000005"},
      {5e-7f, "5E-07"},      {-0.0f, "0"},
  };
  for (const Case& c : cases) EXPECT_EQ(Text(Variant::R4(c.value)), c.text) << c.value;
}

TEST(DoubleText, DecimalSeparatorFollowsTheLocaleAndNothingIsGrouped) {
  EXPECT_EQ(Text(Variant(0.5), DeDe()), "0,5");
  EXPECT_EQ(Text(Variant(1234.567890123456789), DeDe()), "1234,56789012346");
  EXPECT_EQ(Text(Variant(1.2e15), DeDe()), "1,2E+15");
  EXPECT_EQ(Text(Variant(1234.5), DeDe()), "1234,5");
  EXPECT_EQ(Text(Variant(0.5), Locale::Named("es-ES")), "0,5");
  EXPECT_EQ(Text(Variant::R4(2.5f), DeDe()), "2,5");
}

TEST(ExactText, CurrencyIsExactWithoutTrailingZeros) {
  auto cy = [](std::int64_t v) { return Variant::Cy(Currency{v}); };
  EXPECT_EQ(Text(cy(0)), "0");
  EXPECT_EQ(Text(cy(10000)), "1");
  EXPECT_EQ(Text(cy(15000)), "1.5");
  EXPECT_EQ(Text(cy(-15000)), "-1.5");
  EXPECT_EQ(Text(cy(9)), "0.0009");
  EXPECT_EQ(Text(cy(-9)), "-0.0009");
  EXPECT_EQ(Text(cy(INT64_MAX)), "922337203685477.5807");
  EXPECT_EQ(Text(cy(INT64_MIN)), "-922337203685477.5808");
  EXPECT_EQ(Text(cy(9), DeDe()), "0,0009");
  EXPECT_EQ(Text(cy(15000), DeDe()), "1,5");
}

TEST(ExactText, DecimalIsExactNeverExponentForm) {
  EXPECT_EQ(Text(Dec(100, 0, 2)), "1");
  EXPECT_EQ(Text(Dec(15, 0, 1, true)), "-1.5");
  EXPECT_EQ(Text(Dec(~0ull, ~0u, 0)), "79228162514264337593543950335");
  EXPECT_EQ(Text(Dec(~0ull, ~0u, 28)), "7.9228162514264337593543950335");
  EXPECT_EQ(Text(Dec(1, 0, 28)), "0.0000000000000000000000000001");
  EXPECT_EQ(Text(Dec(9, 0, 4), DeDe()), "0,0009");
  EXPECT_EQ(Text(Dec(0, 0, 5, true)), "0");
  EXPECT_EQ(Text(Dec(1000, 0, 0)), "1000");
}

TEST(ExactText, MalformedDecimalIsAnInvalidArgument) {
  Variant out;
  EXPECT_EQ(ChangeType(out, Dec(1, 0, 29), 0, VT_BSTR, EnUs()), E_INVALIDARG);
  Variant badSign = Dec(1, 0, 0);
  badSign.decVal().sign = 0x01;
  EXPECT_EQ(ChangeType(out, badSign, 0, VT_BSTR, EnUs()), E_INVALIDARG);
  EXPECT_EQ(ErrorOf([&] { TextOf(badSign, EnUs()); }), 5);
}

TEST(IntegerText, PlainDigitsForEveryIntegerType) {
  EXPECT_EQ(Text(Variant(INT32_MIN)), "-2147483648");
  EXPECT_EQ(Text(Variant::I2(-32768)), "-32768");
  EXPECT_EQ(Text(Variant::I8(INT64_MIN)), "-9223372036854775808");
  EXPECT_EQ(Text(Variant::UI1(255)), "255");
  Variant ui8 = Variant::OfType(VT_UI8);
  ui8.ullVal() = UINT64_MAX;
  EXPECT_EQ(Text(ui8), "18446744073709551615");
  Variant i1 = Variant::OfType(VT_I1);
  i1.cVal() = -128;
  EXPECT_EQ(Text(i1), "-128");
  Variant ui4 = Variant::OfType(VT_UI4);
  ui4.ulVal() = 4000000000u;
  EXPECT_EQ(Text(ui4, DeDe()), "4000000000");
}

struct DateCase {
  double date;
  const char* enUs;
  const char* deDe;
};

TEST(DateText, ShortDateAndTimeWithTheDayAndTimeRules) {
  const DateCase cases[] = {
      {0.0, "12:00:00 AM", "00:00:00"},
      {0.75, "6:00:00 PM", "18:00:00"},
      {1.0, "12/31/1899", "31.12.1899"},
      {2.0, "1/1/1900", "01.01.1900"},
      {3.34, "1/2/1900 8:09:36 AM", "02.01.1900 08:09:36"},
      {365.0, "12/30/1900", "30.12.1900"},
      {36526.0, "1/1/2000", "01.01.2000"},
      {45000.5, "3/15/2023 12:00:00 PM", "15.03.2023 12:00:00"},
      {-1.25, "12/29/1899 6:00:00 AM", "29.12.1899 06:00:00"},
      {-49192.24, "4/24/1765 5:45:36 AM", "24.04.1765 05:45:36"},
      {-657434.0, "1/1/100", "01.01.100"},
      {2958465.0, "12/31/9999", "31.12.9999"},
  };
  for (const DateCase& c : cases) {
    EXPECT_EQ(Text(Variant::FromDate(c.date)), c.enUs) << c.date;
    EXPECT_EQ(Text(Variant::FromDate(c.date), DeDe()), c.deDe) << c.date;
  }
}

TEST(DateText, SecondsAreRoundedAndCarryIntoTheNextDay) {
  EXPECT_EQ(Text(Variant::FromDate(45000.5 + 0.4 / 86400)), "3/15/2023 12:00:00 PM");
  EXPECT_EQ(Text(Variant::FromDate(45000.5 + 0.6 / 86400)), "3/15/2023 12:00:01 PM");
  EXPECT_EQ(Text(Variant::FromDate(2.0 - 0.2 / 86400)), "1/1/1900 12:00:00 AM");
  EXPECT_EQ(Text(Variant::FromDate(2958465.0 + 86399.0 / 86400)), "12/31/9999 11:59:59 PM");
}

TEST(DateText, OutOfRangeDatesHaveNoText) {
  Variant out;
  for (double d : {2958466.0, -657435.0, 1e300, std::numeric_limits<double>::quiet_NaN()}) {
    EXPECT_EQ(ChangeType(out, Variant::FromDate(d), 0, VT_BSTR, EnUs()), E_INVALIDARG) << d;
    EXPECT_EQ(ErrorOf([&] { TextOf(Variant::FromDate(d), EnUs()); }), 5) << d;
  }
}

TEST(BooleanText, TextOfUsesTheLocalesWords) {
  EXPECT_EQ(Text(Variant(true)), "True");
  EXPECT_EQ(Text(Variant(false)), "False");
  EXPECT_EQ(Text(Variant(true), DeDe()), "Wahr");
  EXPECT_EQ(Text(Variant(false), DeDe()), "Falsch");
  EXPECT_EQ(Text(Variant(true), Locale::Named("fr-FR")), "Vrai");
}

TEST(BooleanText, ChangeTypeFlagsChooseDigitsEnglishOrLocalWords) {
  EXPECT_EQ(Converted(Variant(true), 0, DeDe()), "-1");
  EXPECT_EQ(Converted(Variant(false), 0, DeDe()), "0");
  Variant odd = Variant::OfType(VT_BOOL);
  odd.boolVal() = 1;  // a non-canonical True prints as the Integer it is
  EXPECT_EQ(Converted(odd, 0), "1");
  EXPECT_EQ(Converted(odd, kAlphaBool), "True");
  EXPECT_EQ(Converted(Variant(true), kAlphaBool, DeDe()), "True");
  EXPECT_EQ(Converted(Variant(false), kAlphaBool, DeDe()), "False");
  EXPECT_EQ(Converted(Variant(true), kLocalBool, DeDe()), "Wahr");
  EXPECT_EQ(Converted(Variant(false), kLocalBool | kAlphaBool, DeDe()), "Falsch");
  EXPECT_EQ(Converted(Variant(true), kLocalBool, EnUs()), "True");
}

TEST(SimpleText, EmptyStringsAndReferences) {
  EXPECT_EQ(Text(Variant()), "");
  EXPECT_EQ(Converted(Variant(), 0), "");
  EXPECT_EQ(Text(Variant(u"héllo")), "héllo");
  Variant target(2.5);
  EXPECT_EQ(Text(Variant::Ref(&target), DeDe()), "2,5");
  std::int32_t n = -7;
  EXPECT_EQ(Text(Variant::RefTyped(VT_I4, &n)), "-7");
  UString s = u"by ref";
  EXPECT_EQ(Text(Variant::RefTyped(VT_BSTR, &s)), "by ref");
}

TEST(NoTextForm, NullErrorsArraysAndUnknownsFail) {
  Variant out;
  EXPECT_EQ(ChangeType(out, Variant::Null(), 0, VT_BSTR, EnUs()), DISP_E_TYPEMISMATCH);
  try {
    TextOf(Variant::Null(), EnUs());
    ADD_FAILURE() << "Null has a text form";
  } catch (const ComError& e) {
    EXPECT_EQ(e.Number(), 94);
    EXPECT_EQ(ToUtf8(e.Description()), "Invalid use of Null");
  }
  EXPECT_EQ(ErrorOf([] { TextOf(Variant::Error(ControlError(5)), EnUs()); }), 13);
  EXPECT_EQ(ErrorOf([] { TextOf(Variant::Missing(), EnUs()); }), 13);
  Variant array = Variant::Array(SafeArray::Vector(VT_UI1, {Variant::UI1(65)}));
  EXPECT_EQ(ChangeType(out, array, 0, VT_BSTR, EnUs()), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(ErrorOf([&] { TextOf(array, EnUs()); }), 13);
  auto unknown = MakeObject<testing::FakeUnknown>();
  EXPECT_EQ(ErrorOf([&] { TextOf(Variant::Unk(unknown.get()), EnUs()); }), 13);
  EXPECT_EQ(ErrorOf([] { TextOf(Variant::RefTyped(VT_I4, nullptr), EnUs()); }), 13);
}

TEST(ObjectText, TextOfTheDefaultMember) {
  auto obj = MakeObject<FakeObject>();
  obj->defaultValue = Variant(1.5);
  EXPECT_EQ(Text(obj->AsVariant(), DeDe()), "1,5");
  EXPECT_EQ(Converted(obj->AsVariant(), 0, DeDe()), "1,5");
  EXPECT_EQ(Converted(obj->AsVariant(), kNoValueProp), "failed " + std::to_string(DISP_E_TYPEMISMATCH));
  obj->defaultValue = Variant::Null();
  EXPECT_EQ(ErrorOf([&] { TextOf(obj->AsVariant(), EnUs()); }), 94);
}

TEST(ObjectText, ObjectsWithoutAValueRaiseTheScriptsErrors) {
  EXPECT_EQ(ErrorOf([] { TextOf(Variant(static_cast<Dispatch*>(nullptr)), EnUs()); }), 91);
  auto obj = MakeObject<FakeObject>();
  obj->failure = DISP_E_MEMBERNOTFOUND;
  EXPECT_EQ(ErrorOf([&] { TextOf(obj->AsVariant(), EnUs()); }), 438);
  Variant out;
  EXPECT_EQ(ChangeType(out, obj->AsVariant(), 0, VT_BSTR, EnUs()), DISP_E_TYPEMISMATCH);
  // The default member's own error reaches the caller.
  obj->failure = DISP_E_EXCEPTION;
  obj->exception.scode = ControlError(3001);
  obj->exception.bstrDescription = u"Arguments are of the wrong type";
  try {
    TextOf(obj->AsVariant(), EnUs());
    ADD_FAILURE() << "no error";
  } catch (const ComError& e) {
    EXPECT_EQ(e.Number(), 3001);
    EXPECT_EQ(ToUtf8(e.Description()), "Arguments are of the wrong type");
  }
}

TEST(ObjectText, ADefaultMemberReturningItsOwnObjectDoesNotLoop) {
  auto obj = MakeObject<FakeObject>();
  obj->defaultIsSelf = true;
  EXPECT_EQ(ErrorOf([&] { TextOf(obj->AsVariant(), EnUs()); }), 438);
  EXPECT_LE(obj->invokes, 16);
  obj->invokes = 0;
  Variant out;
  EXPECT_EQ(ChangeType(out, obj->AsVariant(), 0, VT_BSTR, EnUs()), DISP_E_TYPEMISMATCH);
  EXPECT_LE(obj->invokes, 16);
}

}  // namespace
}  // namespace tarnel
