// Failure codes and run-time error numbers: the mapping both ways and the
// standard descriptions, including the fallbacks for numbers without text.
#include <gtest/gtest.h>

#include "platform/automation/hresult.h"
#include "platform/automation/ustring.h"

namespace tarnel {
namespace {

TEST(ErrorNumbers, StandardCodesMapToVbNumbers) {
  struct Case {
    HRESULT hr;
    std::int32_t number;
  };
  const Case cases[] = {
      {E_NOTIMPL, 445},          {E_NOINTERFACE, 430},          {E_ABORT, 287},
      {E_ACCESSDENIED, 70},      {E_OUTOFMEMORY, 7},            {E_INVALIDARG, 5},
      {DISP_E_UNKNOWNINTERFACE, 438}, {DISP_E_MEMBERNOTFOUND, 438}, {DISP_E_PARAMNOTFOUND, 448},
      {DISP_E_TYPEMISMATCH, 13}, {DISP_E_UNKNOWNNAME, 438},     {DISP_E_NONAMEDARGS, 446},
      {DISP_E_BADVARTYPE, 458},  {DISP_E_OVERFLOW, 6},          {DISP_E_BADINDEX, 9},
      {DISP_E_ARRAYISLOCKED, 10}, {DISP_E_BADPARAMCOUNT, 450},  {DISP_E_PARAMNOTOPTIONAL, 449},
      {DISP_E_DIVBYZERO, 11},    {REGDB_E_CLASSNOTREG, 429},    {CO_E_CLASSSTRING, 429},
      {MakeHResult(0x800706BA), 462}, {MakeHResult(0x80028CA0), 13},
  };
  for (const Case& c : cases) EXPECT_EQ(ErrorNumberFromHResult(c.hr), c.number) << std::hex << c.hr;
}

TEST(ErrorNumbers, ControlFacilityGivesTheLowWordOthersStaySigned) {
  EXPECT_EQ(ErrorNumberFromHResult(MakeHResult(0x800A01C9)), 457);
  EXPECT_EQ(ErrorNumberFromHResult(MakeHResult(0x80040E14)), -2147217900);
  EXPECT_EQ(ErrorNumberFromHResult(MakeHResult(0x80070002)), -2147024894);
  EXPECT_EQ(ErrorNumberFromHResult(E_FAIL), -2147467259);
  EXPECT_EQ(ErrorNumberFromHResult(kObjectErrorBase + 513), kObjectErrorBase + 513);
  EXPECT_EQ(ErrorNumberFromHResult(DISP_E_EXCEPTION), DISP_E_EXCEPTION);
  EXPECT_EQ(ErrorNumberFromHResult(S_OK), 0);
}

TEST(ErrorNumbers, NumbersToCodesAndBack) {
  EXPECT_EQ(HResultFromErrorNumber(5), -2146828283);
  EXPECT_EQ(HResultFromErrorNumber(13), -2146828275);
  EXPECT_EQ(HResultFromErrorNumber(91), MakeHResult(0x800A005B));
  EXPECT_EQ(HResultFromErrorNumber(457), -2146827831);
  EXPECT_EQ(HResultFromErrorNumber(kObjectErrorBase + 513), MakeHResult(0x80040201));
  EXPECT_EQ(HResultFromErrorNumber(0), S_OK);
  EXPECT_TRUE(Failed(HResultFromErrorNumber(70000)));  // never a success code
  for (std::int32_t n = 1; n <= 0xFFFF; ++n) {
    ASSERT_EQ(ErrorNumberFromHResult(HResultFromErrorNumber(n)), n);
  }
}

TEST(ErrorText, StandardTextsAndFallbacks) {
  auto text = [](std::int32_t n) { return ToUtf8(StandardErrorDescription(n)); };
  EXPECT_EQ(text(5), "Invalid procedure call or argument");
  EXPECT_EQ(text(13), "Type mismatch");
  EXPECT_EQ(text(94), "Invalid use of Null");
  EXPECT_EQ(text(438), "Object doesn't support this property or method");
  EXPECT_EQ(text(457), "This key is already associated with an element of this collection");
  EXPECT_EQ(text(DISP_E_TYPEMISMATCH), "Type mismatch");
  EXPECT_EQ(text(ControlError(91)), "Object variable or With block variable not set");
  EXPECT_EQ(text(287), "Application-defined or object-defined error");
  EXPECT_EQ(text(E_ABORT), "Application-defined or object-defined error");
  EXPECT_EQ(text(1000), "Application-defined or object-defined error");
  EXPECT_EQ(text(kObjectErrorBase + 1000), "Application-defined or object-defined error");
  EXPECT_EQ(text(ControlError(31000)), "Application-defined or object-defined error");
  EXPECT_EQ(text(E_FAIL), "Automation error");
  EXPECT_EQ(text(MakeHResult(0x80070002)), "Automation error");
  EXPECT_EQ(text(CONNECT_E_NOCONNECTION), "Automation error");
}

}  // namespace
}  // namespace tarnel
