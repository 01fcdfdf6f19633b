// Direct calls of table members: which members have a direct form, the
// arguments worked on in place, errors as exception information exactly as
// Invoke reports them, and the entries an object refuses.
#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/automation/com_error.h"
#include "platform/automation/dispatch_object.h"
#include "platform/automation/member_binding.h"

namespace tarnel {
namespace {

class Counter final : public DispatchObject<Counter> {
 public:
  static const TypeInfo& Type() {
    static const TypeInfo type(
        u"_Counter", MakeGuid("6B2C3D4E-0000-4000-8000-000000000001"), TypeKind::Dispatch,
        {
            {1, u"Label", MemberKind::Method, {{u"text", VT_BSTR}, {u"n", VT_I4}}, VT_BSTR, Bind<&Counter::Label>()},
            {2, u"Store", MemberKind::Method, {{u"value", VT_VARIANT}}, VT_EMPTY, Bind<&Counter::Store>()},
            // Declares a String where the function takes a Long.
            {3, u"Misdeclared", MemberKind::Method, {{u"n", VT_BSTR}}, VT_I4, Bind<&Counter::Twice>()},
            {4, u"Twice", MemberKind::Method, {{u"n", VT_I4}}, VT_I4, Bind<&Counter::Twice>()},
            {5, u"Broken", MemberKind::Method, {}, VT_EMPTY, Bind<&Counter::Broken>()},
        });
    return type;
  }
  static const CoClassInfo* Class() {
    static const CoClassInfo info{u"Counter", MakeGuid("6B2C3D4E-0000-4000-8000-000000000002"), u"Test.Counter",
                                  &Type(), nullptr};
    return &info;
  }

  UString Label(UString& text, std::int32_t& n) {
    text += u"!";
    n *= 2;
    if (n < 0) RaiseError(5, u"negative");
    return text + u"#" + DecimalText(n);
  }
  void Store(Variant& value) { stored_ = value; }
  std::int32_t Twice(std::int32_t& n) { return n * 2; }
  void Broken() { throw std::runtime_error("plain failure"); }

 private:
  Variant stored_;
};

const MemberDesc& MemberOf(DispId id) { return *Counter::Type().Find(id, DISPATCH_METHOD); }

// The object's direct calls, as a caller finds them.
DirectCall* DirectOf(Counter* object) {
  void* out = nullptr;
  EXPECT_EQ(object->QueryInterface(IID_DirectCall, &out), S_OK);
  auto* direct = static_cast<DirectCall*>(out);
  if (direct) direct->Release();
  return direct;
}

TEST(DirectCall, OnlyMembersOfLongsAndStringsAsDeclaredHaveADirectForm) {
  EXPECT_NE(MemberOf(1).handler.direct, nullptr);
  EXPECT_NE(MemberOf(4).handler.direct, nullptr);
  EXPECT_NE(MemberOf(5).handler.direct, nullptr) << "no parameters at all";
  EXPECT_EQ(MemberOf(2).handler.direct, nullptr) << "a Variant parameter";
  EXPECT_EQ(MemberOf(3).handler.direct, nullptr) << "the table and the function disagree";
  // The misdeclared entry still reports the misfit through Invoke.
  ComPtr<Counter> counter = MakeObject<Counter>();
  Variant n(u"4");
  DispParams params;
  params.rgvarg = &n;
  params.cArgs = 1;
  ExcepInfo excep;
  EXPECT_EQ(counter->Invoke(3, DISPATCH_METHOD, &params, nullptr, &excep, nullptr), DISP_E_EXCEPTION);
  EXPECT_EQ(excep.scode, E_UNEXPECTED);
}

TEST(DirectCall, WorksOnTheArgumentsInPlace) {
  ComPtr<Counter> counter = MakeObject<Counter>();
  DirectCall* direct = DirectOf(counter.get());
  ASSERT_NE(direct, nullptr);
  UString text = u"ab";
  DirectArg args[2] = {{0, &text}, {21, nullptr}};
  DirectResult result;
  ExcepInfo excep;
  ASSERT_EQ(direct->CallDirect(MemberOf(1), args, &result, &excep), S_OK);
  ASSERT_TRUE(result.isText) << "a String result comes as text";
  EXPECT_EQ(result.text, u"ab!#42");
  EXPECT_EQ(text, u"ab!");
  EXPECT_EQ(args[1].lVal, 42);
  DirectArg n{5, nullptr};
  DirectResult twice;
  ASSERT_EQ(direct->CallDirect(MemberOf(4), &n, &twice, &excep), S_OK);
  EXPECT_FALSE(twice.isText);
  EXPECT_EQ(twice.value.vt(), VT_I4);
  EXPECT_EQ(twice.value.lVal(), 10);
  // Without a result the call still runs.
  EXPECT_EQ(direct->CallDirect(MemberOf(4), &n, nullptr, &excep), S_OK);
}

TEST(DirectCall, ReportsErrorsAsInvokeDoes) {
  ComPtr<Counter> counter = MakeObject<Counter>();
  DirectCall* direct = DirectOf(counter.get());
  UString text = u"x";
  DirectArg args[2] = {{0, &text}, {-1, nullptr}};
  DirectResult result;
  ExcepInfo excep;
  ASSERT_EQ(direct->CallDirect(MemberOf(1), args, &result, &excep), DISP_E_EXCEPTION);
  EXPECT_EQ(excep.scode, ControlError(5));
  EXPECT_EQ(excep.bstrDescription, u"negative");
  EXPECT_EQ(excep.bstrSource, u"Test.Counter");

  // The same call through Invoke gives the same exception information.
  Variant textAgain(u"x");
  Variant minusOne(-1);
  Variant refs[2] = {Variant::Ref(&minusOne), Variant::Ref(&textAgain)};  // last first
  DispParams params;
  params.rgvarg = refs;
  params.cArgs = 2;
  ExcepInfo invoked;
  ASSERT_EQ(counter->Invoke(1, DISPATCH_METHOD, &params, nullptr, &invoked, nullptr), DISP_E_EXCEPTION);
  EXPECT_EQ(invoked.scode, excep.scode);
  EXPECT_EQ(invoked.bstrDescription, excep.bstrDescription);
  EXPECT_EQ(invoked.bstrSource, excep.bstrSource);

  ExcepInfo plain;
  EXPECT_EQ(direct->CallDirect(MemberOf(5), nullptr, nullptr, &plain), DISP_E_EXCEPTION);
  EXPECT_EQ(plain.scode, E_FAIL);
  EXPECT_EQ(plain.bstrDescription, u"plain failure");
}

TEST(DirectCall, RefusesEntriesThatAreNotItsOwnDirectOnes) {
  ComPtr<Counter> counter = MakeObject<Counter>();
  DirectCall* direct = DirectOf(counter.get());
  DirectResult result;
  ExcepInfo excep;
  // A copy of an entry is not the object's own entry, whatever it holds.
  const MemberDesc copy = MemberOf(4);
  DirectArg n{5, nullptr};
  EXPECT_EQ(direct->CallDirect(copy, &n, &result, &excep), E_INVALIDARG);
  EXPECT_EQ(direct->CallDirect(MemberOf(2), &n, &result, &excep), E_INVALIDARG) << "no direct form";
  EXPECT_EQ(result.value.vt(), VT_EMPTY) << "nothing ran";
  EXPECT_FALSE(result.isText);
}

}  // namespace
}  // namespace tarnel
