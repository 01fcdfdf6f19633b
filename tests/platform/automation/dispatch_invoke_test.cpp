// The table-driven Invoke: argument count checks, coercion to the declared
// types with the failing argument's position, optional arguments with and
// without defaults, by-reference write-back only after a successful call,
// name lookup, and a member's error as exception information.
#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "platform/automation/com_error.h"
#include "platform/automation/dispatch_object.h"
#include "platform/automation/member_binding.h"

namespace tarnel {
namespace {

class Calculator final : public DispatchObject<Calculator> {
 public:
  static const TypeInfo& Type() {
    static const TypeInfo type(
        u"_Calculator", MakeGuid("5A1B2C3D-0000-4000-8000-000000000001"), TypeKind::Dispatch,
        {
            {1, u"Add", MemberKind::Method, {{u"a", VT_I4, false}, {u"b", VT_I4, false}}, VT_I4,
             Bind<&Calculator::Add>()},
            {2, u"Bump", MemberKind::Method, {{u"n", VT_I4}, {u"by", VT_I4, true, true, true, 1}}, VT_I4,
             Bind<&Calculator::Bump>()},
            {3, u"Rename", MemberKind::Method, {{u"text", VT_BSTR}, {u"fail", VT_VARIANT, false, true}}, VT_EMPTY,
             Bind<&Calculator::Rename>()},
            {4, u"Total", MemberKind::Get, {}, VT_I4, Bind<&Calculator::Total>()},
            {5, u"Limit", MemberKind::Get, {}, VT_I4, Bind<&Calculator::GetLimit>()},
            {5, u"Limit", MemberKind::Let, {{u"value", VT_I4, false}}, VT_EMPTY, Bind<&Calculator::LetLimit>()},
            {6, u"Broken", MemberKind::Method, {}, VT_EMPTY, Bind<&Calculator::Broken>()},
            {7, u"Unbuilt", MemberKind::Method, {}, VT_EMPTY, nullptr},
        });
    return type;
  }
  static const CoClassInfo* Class() {
    static const CoClassInfo info{u"Calculator", MakeGuid("5A1B2C3D-0000-4000-8000-000000000002"), u"Test.Calculator",
                                  &Type(), nullptr};
    return &info;
  }

  std::int32_t Add(std::int32_t& a, std::int32_t& b) { return total_ = a + b; }
  std::int32_t Bump(std::int32_t& n, std::int32_t& by) { return n += by; }
  void Rename(UString& text, Variant& fail) {
    text += u"!";
    if (fail.vt() == VT_BOOL && fail.boolVal()) RaiseError(5, u"renaming failed");
    lastFailMissing_ = fail.IsMissing();
  }
  std::int32_t Total() { return total_; }
  std::int32_t GetLimit() { return limit_; }
  void LetLimit(std::int32_t& v) { limit_ = v; }
  void Broken() { throw std::runtime_error("plain failure"); }

  bool lastFailMissing_ = false;

 private:
  std::int32_t total_ = 0;
  std::int32_t limit_ = 10;
};

// Invokes with arguments given first-to-last (reversed into rgvarg here).
struct Call {
  HRESULT hr = S_OK;
  Variant result;
  ExcepInfo excep;
  std::uint32_t argErr = 0xFFFFFFFF;
};

Call InvokeWith(Dispatch* object, DispId id, std::uint16_t flags, std::vector<Variant> args, bool put = false) {
  std::vector<Variant> reversed(args.rbegin(), args.rend());
  static const DispId kPut = DISPID_PROPERTYPUT;
  DispParams params;
  params.rgvarg = reversed.data();
  params.cArgs = static_cast<std::uint32_t>(reversed.size());
  if (put) {
    params.rgdispidNamedArgs = &kPut;
    params.cNamedArgs = 1;
  }
  Call c;
  c.hr = object->Invoke(id, flags, &params, &c.result, &c.excep, &c.argErr);
  return c;
}

class DispatchInvoke : public ::testing::Test {
 protected:
  ComPtr<Calculator> calc = MakeObject<Calculator>();
};

TEST_F(DispatchInvoke, ChecksTheArgumentCount) {
  EXPECT_EQ(InvokeWith(calc.get(), 1, DISPATCH_METHOD, {Variant(1)}).hr, DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(InvokeWith(calc.get(), 1, DISPATCH_METHOD, {Variant(1), Variant(2), Variant(3)}).hr, DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(InvokeWith(calc.get(), 4, DISPATCH_PROPERTYGET, {Variant(1)}).hr, DISP_E_BADPARAMCOUNT);
  Call ok = InvokeWith(calc.get(), 1, DISPATCH_METHOD, {Variant(2), Variant(3)});
  ASSERT_EQ(ok.hr, S_OK);
  EXPECT_EQ(ok.result.lVal(), 5);
}

TEST_F(DispatchInvoke, CoercesArgumentsAndNamesTheOneThatDoesNotFit) {
  Call text = InvokeWith(calc.get(), 1, DISPATCH_METHOD, {Variant(u"40"), Variant(2.0)});
  ASSERT_EQ(text.hr, S_OK);
  EXPECT_EQ(text.result.lVal(), 42);

  // argErr is the rgvarg index: the first of two arguments is index 1.
  Call bad = InvokeWith(calc.get(), 1, DISPATCH_METHOD, {Variant(u"forty"), Variant(2)});
  EXPECT_EQ(bad.hr, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(bad.argErr, 1u);
  Call second = InvokeWith(calc.get(), 1, DISPATCH_METHOD, {Variant(1), Variant(u"x")});
  EXPECT_EQ(second.hr, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(second.argErr, 0u);

  Call overflow = InvokeWith(calc.get(), 1, DISPATCH_METHOD, {Variant(1e12), Variant(1)});
  EXPECT_EQ(overflow.hr, DISP_E_OVERFLOW);
  EXPECT_EQ(overflow.argErr, 1u);
  EXPECT_EQ(InvokeWith(calc.get(), 1, DISPATCH_METHOD, {Variant::Null(), Variant(1)}).hr, DISP_E_TYPEMISMATCH);
}

TEST_F(DispatchInvoke, WritesByReferenceArgumentsBackOnlyAfterSuccess) {
  Variant n(5);
  Call ok = InvokeWith(calc.get(), 2, DISPATCH_METHOD, {Variant::Ref(&n), Variant(3)});
  ASSERT_EQ(ok.hr, S_OK);
  EXPECT_EQ(n.vt(), VT_I4);
  EXPECT_EQ(n.lVal(), 8);

  // A typed reference receives the result converted to its own type.
  std::int16_t small = 4;
  ASSERT_EQ(InvokeWith(calc.get(), 2, DISPATCH_METHOD, {Variant::RefTyped(VT_I2, &small)}).hr, S_OK);
  EXPECT_EQ(small, 5);

  // A by-value argument is never changed.
  Variant byValue(7);
  ASSERT_EQ(InvokeWith(calc.get(), 2, DISPATCH_METHOD, {byValue}).hr, S_OK);
  EXPECT_EQ(byValue.lVal(), 7);

  // The member changed its argument and then failed: the caller keeps its value.
  Variant text(u"name");
  Call failed = InvokeWith(calc.get(), 3, DISPATCH_METHOD, {Variant::Ref(&text), Variant(true)});
  EXPECT_EQ(failed.hr, DISP_E_EXCEPTION);
  EXPECT_EQ(text.bstrVal(), u"name");
  ASSERT_EQ(InvokeWith(calc.get(), 3, DISPATCH_METHOD, {Variant::Ref(&text), Variant(false)}).hr, S_OK);
  EXPECT_EQ(text.bstrVal(), u"name!");
}

TEST_F(DispatchInvoke, ReferencesOfEveryFormReceiveTheResults) {
  // A typed string reference: its string receives the member's text, and
  // keeps its own when the member fails.
  UString typed = u"typed";
  Call failed = InvokeWith(calc.get(), 3, DISPATCH_METHOD, {Variant::RefTyped(VT_BSTR, &typed), Variant(true)});
  EXPECT_EQ(failed.hr, DISP_E_EXCEPTION);
  EXPECT_EQ(typed, u"typed");
  ASSERT_EQ(InvokeWith(calc.get(), 3, DISPATCH_METHOD, {Variant::RefTyped(VT_BSTR, &typed)}).hr, S_OK);
  EXPECT_EQ(typed, u"typed!");

  // A reference to a Variant of another type gets the declared type back.
  Variant number(2.0);
  ASSERT_EQ(InvokeWith(calc.get(), 2, DISPATCH_METHOD, {Variant::Ref(&number), Variant(40)}).hr, S_OK);
  ASSERT_EQ(number.vt(), VT_I4);
  EXPECT_EQ(number.lVal(), 42);

  // One variable passed for two parameters: the results are written back in
  // parameter order, so the last parameter's final value is what it keeps.
  Variant both(2);
  ASSERT_EQ(InvokeWith(calc.get(), 2, DISPATCH_METHOD, {Variant::Ref(&both), Variant::Ref(&both)}).hr, S_OK);
  EXPECT_EQ(both.lVal(), 2) << "'n' became 4, then 'by' (unchanged, 2) was written";

  // A reference without target has no value of the declared type.
  Call dangling = InvokeWith(calc.get(), 1, DISPATCH_METHOD, {Variant(1), Variant::Ref(nullptr)});
  EXPECT_EQ(dangling.hr, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(dangling.argErr, 0u);
}

// A caller whose by-reference arguments are its own temporaries lets the
// member work on them in place: the results arrive the same way, a failed
// member's change is then left in them, and arguments that need coercion
// still go through a copy of the declared type.
TEST_F(DispatchInvoke, ArgumentsInPlaceGiveTheSameResults) {
  const auto inPlace = static_cast<std::uint16_t>(DISPATCH_METHOD | DISPATCH_ARGS_IN_PLACE);
  Variant n(5);
  Variant by(3);
  Call ok = InvokeWith(calc.get(), 2, inPlace, {Variant::Ref(&n), Variant::Ref(&by)});
  ASSERT_EQ(ok.hr, S_OK);
  EXPECT_EQ(ok.result.lVal(), 8);
  EXPECT_EQ(n.lVal(), 8);

  Variant text(u"name");
  Variant fail(true);
  EXPECT_EQ(InvokeWith(calc.get(), 3, inPlace, {Variant::Ref(&text), Variant::Ref(&fail)}).hr, DISP_E_EXCEPTION);
  EXPECT_EQ(text.bstrVal(), u"name!") << "worked on in place before the member failed";

  // Coerced, defaulted and by-value arguments behave as without the flag.
  Variant number(2.0);
  ASSERT_EQ(InvokeWith(calc.get(), 2, inPlace, {Variant::Ref(&number)}).hr, S_OK);
  ASSERT_EQ(number.vt(), VT_I4);
  EXPECT_EQ(number.lVal(), 3);
  Variant byValue(7);
  ASSERT_EQ(InvokeWith(calc.get(), 2, inPlace, {byValue, Variant(1)}).hr, S_OK);
  EXPECT_EQ(byValue.lVal(), 7);
  Variant missing = Variant::Missing();
  Variant renamed(u"x");
  ASSERT_EQ(InvokeWith(calc.get(), 3, inPlace, {Variant::Ref(&renamed), Variant::Ref(&missing)}).hr, S_OK);
  EXPECT_EQ(renamed.bstrVal(), u"x!");
  EXPECT_TRUE(calc->lastFailMissing_);
  EXPECT_EQ(InvokeWith(calc.get(), 1, inPlace, {Variant(u"forty"), Variant(2)}).argErr, 1u);
}

TEST_F(DispatchInvoke, FillsOmittedOptionalArguments) {
  Variant n(1);
  ASSERT_EQ(InvokeWith(calc.get(), 2, DISPATCH_METHOD, {Variant::Ref(&n)}).hr, S_OK);
  EXPECT_EQ(n.lVal(), 2) << "the default of 'by' is 1";
  // Missing in the middle of the list is the same as omitted.
  ASSERT_EQ(InvokeWith(calc.get(), 2, DISPATCH_METHOD, {Variant::Ref(&n), Variant::Missing()}).hr, S_OK);
  EXPECT_EQ(n.lVal(), 3);

  Variant text(u"a");
  ASSERT_EQ(InvokeWith(calc.get(), 3, DISPATCH_METHOD, {Variant::Ref(&text)}).hr, S_OK);
  EXPECT_TRUE(calc->lastFailMissing_) << "an optional Variant without default arrives as missing";

  // A required argument passed as missing.
  Call missing = InvokeWith(calc.get(), 1, DISPATCH_METHOD, {Variant::Missing(), Variant(1)});
  EXPECT_EQ(missing.hr, DISP_E_PARAMNOTOPTIONAL);
  EXPECT_EQ(missing.argErr, 1u);
}

TEST_F(DispatchInvoke, SelectsMembersByKind) {
  // A method answers a property-get call as well (VB's x = o.M(a)).
  EXPECT_EQ(InvokeWith(calc.get(), 1, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {Variant(1), Variant(1)}).hr, S_OK);
  EXPECT_EQ(InvokeWith(calc.get(), 4, DISPATCH_PROPERTYPUT, {Variant(1)}, true).hr, DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(InvokeWith(calc.get(), 99, DISPATCH_METHOD, {}).hr, DISP_E_MEMBERNOTFOUND);

  ASSERT_EQ(InvokeWith(calc.get(), 5, DISPATCH_PROPERTYPUT, {Variant(u"25")}, true).hr, S_OK);
  EXPECT_EQ(InvokeWith(calc.get(), 5, DISPATCH_PROPERTYGET, {}).result.lVal(), 25);
  // A put needs its value as the named DISPID_PROPERTYPUT argument.
  EXPECT_EQ(InvokeWith(calc.get(), 5, DISPATCH_PROPERTYPUT, {Variant(1)}, false).hr, DISP_E_PARAMNOTFOUND);
  EXPECT_EQ(InvokeWith(calc.get(), 1, DISPATCH_METHOD, {Variant(1), Variant(1)}, true).hr, DISP_E_NONAMEDARGS);

  DispParams broken;
  broken.cArgs = 2;  // arguments claimed, none given
  Variant result;
  EXPECT_EQ(calc->Invoke(1, DISPATCH_METHOD, &broken, &result, nullptr, nullptr), E_POINTER);
}

TEST_F(DispatchInvoke, LooksUpNamesWithoutRegardToCase) {
  UString names[] = {u"bUMP", u"BY", u"n"};
  DispId ids[3] = {};
  ASSERT_EQ(calc->GetIDsOfNames(names, 3, ids), S_OK);
  EXPECT_EQ(ids[0], 2);
  EXPECT_EQ(ids[1], 1) << "parameter DISPIDs are their positions";
  EXPECT_EQ(ids[2], 0);

  UString unknown[] = {u"Subtract"};
  DispId id = 0;
  EXPECT_EQ(calc->GetIDsOfNames(unknown, 1, &id), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(id, DISPID_UNKNOWN);
  UString badParam[] = {u"Add", u"c"};
  DispId two[2] = {};
  EXPECT_EQ(calc->GetIDsOfNames(badParam, 2, two), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(two[0], 1);
  EXPECT_EQ(two[1], DISPID_UNKNOWN);
}

TEST_F(DispatchInvoke, ReportsAMembersErrorAsExceptionInformation) {
  Variant text(u"x");
  Call failed = InvokeWith(calc.get(), 3, DISPATCH_METHOD, {Variant::Ref(&text), Variant(true)});
  ASSERT_EQ(failed.hr, DISP_E_EXCEPTION);
  EXPECT_EQ(failed.excep.scode, ControlError(5));
  EXPECT_EQ(failed.excep.bstrDescription, u"renaming failed");
  EXPECT_EQ(failed.excep.bstrSource, u"Test.Calculator") << "the class's ProgID when the error names no source";

  Call plain = InvokeWith(calc.get(), 6, DISPATCH_METHOD, {});
  ASSERT_EQ(plain.hr, DISP_E_EXCEPTION);
  EXPECT_EQ(plain.excep.scode, E_FAIL);
  EXPECT_EQ(plain.excep.bstrDescription, u"plain failure");

  Call unbuilt = InvokeWith(calc.get(), 7, DISPATCH_METHOD, {});
  ASSERT_EQ(unbuilt.hr, DISP_E_EXCEPTION);
  EXPECT_EQ(unbuilt.excep.scode, E_NOTIMPL);
}

TEST_F(DispatchInvoke, CallByNameRaisesWhatAScriptSees) {
  EXPECT_EQ(CallByName(calc.get(), u"add", DISPATCH_METHOD, {Variant(20), Variant(22)}).lVal(), 42);
  try {
    CallByName(calc.get(), u"Add", DISPATCH_METHOD, {Variant(u"x"), Variant(1)});
    FAIL() << "no error";
  } catch (const ComError& e) {
    EXPECT_EQ(e.Number(), 13);
    EXPECT_NE(e.Description().find(u"argument 1 of 'Add'"), UString::npos);
  }
  try {
    CallByName(calc.get(), u"Nope", DISPATCH_METHOD);
    FAIL() << "no error";
  } catch (const ComError& e) {
    EXPECT_EQ(e.Number(), 438);
  }
  try {
    CallByName(calc.get(), u"Add", DISPATCH_METHOD, {Variant(1)});
    FAIL() << "no error";
  } catch (const ComError& e) {
    EXPECT_EQ(e.Number(), 450);
  }
  try {
    Variant text(u"x");
    CallByName(calc.get(), u"Rename", DISPATCH_METHOD, {Variant::Ref(&text), Variant(true)});
    FAIL() << "no error";
  } catch (const ComError& e) {
    EXPECT_EQ(e.Number(), 5);
    EXPECT_EQ(e.Description(), u"renaming failed");
    EXPECT_EQ(e.Source(), u"Test.Calculator");
  }
}

}  // namespace
}  // namespace tarnel
