// Calls from Lua into objects: methods with the final argument values,
// optional arguments, properties (let, set, get, default member), value
// mapping both ways, objects and arrays coming back, and the error values
// of failed calls, including every kind of bad input.
#include "host_test_support.h"

#include "platform/automation/activation.h"
#include "platform/automation/com_error.h"

namespace tarnel::host::testing {
namespace {

class HostCalls : public InProcessHost {};

TEST_F(HostCalls, MethodsReturnTheResultThenEveryArgument) {
  EXPECT_EQ(Run(R"(
    local o = CreateObject("Tarnel.TestObject")
    local r, n, step = o:Increment(5, 2)
    eq(r, 7, "result"); eq(n, 7, "n written back"); eq(step, 2, "step")
    local r2, n2 = o:Increment(41)
    eq(r2, 42); eq(n2, 42); eq(select("#", o:Increment(1)), 2, "only passed arguments come back")
    local nothing, a, b = o:Swap("left", 2.5)
    eq(nothing, nil); eq(a, 2.5); eq(b, "left")
    eq(o:Add(20, 22), 42)
    eq(o:add(1, 1), 2, "names without regard to case")
  )"), "");
}

TEST_F(HostCalls, OptionalArgumentsTakeTheirDefaults) {
  EXPECT_EQ(Run(R"(
    local o = CreateObject("Tarnel.TestObject")
    eq(o:Describe(1), "b=7 c=missing")
    eq(o:Describe(1, 3), "b=3 c=missing")
    eq(o:Describe(1, 3, "x"), "b=3 c=present")
    local r, a = o:Describe("original")
    eq(a, "described", "by-reference change after success")
    -- A failed call leaves the script's values as they were.
    local e = fails(o.Describe, o, "original", "not a number")
    eq(e.number, 13)
  )"), "");
}

TEST_F(HostCalls, PropertiesLetSetAndGet) {
  EXPECT_EQ(Run(R"(
    local o = CreateObject("Tarnel.TestObject")
    eq(o.Name, "test")
    o.Name = "renamed"; eq(o.Name, "renamed")
    o.name = 12; eq(o.Name, "12", "let converts to the declared type")
    eq(o.ReadOnly, 42)
    local child = o:CreateChild("kid")
    o.Child = child
    eq(o.Child.Name, "kid")
    eq(o.Child, child, "the same object compares equal")
    o.Child = Nothing
    eq(o.Child, Nothing)
    -- Picture has only a set accessor: a plain value goes to it and fails there.
    eq(fails(function() o.Picture = 5 end).number, 13)
    o.Picture = child; eq(o.Picture.Name, "kid")
    -- WriteOnly has only a let accessor.
    o.WriteOnly = 9; eq(o.LastCount, 9)
    eq(fails(function() return o.WriteOnly end).number, 438)
    eq(fails(function() o.ReadOnly = 1 end).number, 438)
    eq(fails(function() o.Name = "" end).number, 5, "the member's own error")
  )"), "");
}

TEST_F(HostCalls, DefaultMemberAndParameterisedProperties) {
  EXPECT_EQ(Run(R"(
    local o = CreateObject("Tarnel.TestObject")
    o.Value = "v"; eq(o.Value, "v"); eq(o(), "v", "calling the object reads its default member")
    eq(fails(function() o[1] = "indexed" end).number, 450)
    eq(fails(function() return o[1] end).number, 450, "the default member takes no index")
    eq(o:Item(3), "item3")
    eq(fails(o.Item, o, 0).number, 9)
  )"), "");
}

TEST_F(HostCalls, ValuesMapBothWays) {
  EXPECT_EQ(Run(R"(
    local o = CreateObject("Tarnel.TestObject")
    eq(math.type(o:Echo(5)), "integer")
    eq(o:Echo(2^31), 2147483648.0, "integers beyond 32 bits become doubles")
    eq(math.type(o:Echo(2147483647)), "integer")
    eq(math.type(o:Echo(1.5)), "float")
    eq(o:Echo(true), true); eq(o:Echo(false), false)
    eq(o:Echo(nil), nil)
    eq(o:Echo(Null), Null); eq(tostring(Null), "Null")
    eq(o:Echo(Nothing), Nothing); eq(tostring(Nothing), "Nothing")
    eq(o:Echo("grüße €"), "grüße €", "UTF-8 round trip")
    eq(o:Length("grüße €"), 7, "UTF-16 units")
    eq(o:Echo(o), o)
  )"), "");
}

TEST_F(HostCalls, ArraysBecomeTables) {
  EXPECT_EQ(Run(R"(
    local o = CreateObject("Tarnel.TestObject")
    local items = o:Items(3)
    eq(#items, 3); eq(items[1], "item1"); eq(items[3], "item3")
    eq(#o:Items(0), 0)
    local m = o:Matrix(2, 3)
    eq(#m, 2, "first dimension outermost"); eq(#m[1], 3)
    eq(m[1][1], 0); eq(m[2][3], 12); eq(m[1][2], 1)
  )"), "");
}

TEST_F(HostCalls, ErrorsCarryNumberDescriptionAndSource) {
  EXPECT_EQ(Run(R"(
    local o = CreateObject("Tarnel.TestObject")
    local e = fails(o.Fail, o, 9, "custom text")
    eq(e.number, 9); eq(e.description, "custom text"); eq(e.source, "Tarnel.TestObject")
    eq(tostring(e), "9: custom text")
    eq(fails(o.Fail, o, 11).description, "Division by zero", "the standard text when none is given")
    eq(fails(o.Fail, o, -2147217900, "sql").number, -2147217900, "other failure codes stay negative")
    eq(fails(o.Fail, o, -2147352571).number, 13, "a dispatch type mismatch is 13")
    local e2 = fails(CreateObject, "No.Such.Class")
    eq(e2.number, 429); eq(e2.description, "ActiveX component can't create object")
  )"), "");
  EXPECT_EQ(Run("CreateObject('Tarnel.TestObject'):Fail(5, 'boom')"), "5: boom");
}

TEST_F(HostCalls, BadCallsGetClearErrors) {
  EXPECT_EQ(Run(R"(
    local o = CreateObject("Tarnel.TestObject")
    local e = fails(o.Add, o, 1)
    eq(e.number, 450); assert(e.description:find("'Add'"), e.description)
    eq(fails(o.Add, o, 1, 2, 3).number, 450)
    e = fails(o.Add, o, "x", 1)
    eq(e.number, 13); assert(e.description:find("argument 1 of 'Add'"), e.description)
    e = fails(o.Add, o, {}, 1)
    eq(e.number, 13); assert(e.description:find("table"), e.description)
    eq(fails(o.Add, o, print, 1).number, 13)
    eq(fails(o.Add, o, 2^40, 1).number, 6, "overflow")
    eq(fails(o.Add, o, 2147483647, 1).number, 6, "the member's overflow")
    e = fails(function() return o.NoSuchMember end)
    eq(e.number, 438); assert(e.description:find("NoSuchMember"), e.description)
    eq(fails(function() o.NoSuchMember = 1 end).number, 438)
    eq(fails(function() return o["bad\0name"] end).number, 438)
    eq(fails(function() return o["\xff\xfe"] end).number, 438)
    eq(fails(function() return o.Add(1, 2) end).number, 424, "a method called without ':'")
    eq(fails(o.Add, CreateObject("WScript.Shell"), 1, 2).number, 438, "a method of another interface")
    eq(fails(CreateObject).number, 450)
    eq(fails(CreateObject, 5).number, 13)
    eq(fails(CreateObject, "a", "b").number, 450)
    eq(fails(Sleep, "x").number, 13)
    eq(fails(Sleep, -1).number, 5)
    eq(fails(DoEvents, 1).number, 450)
    eq(fails(ConnectEvents, 1, {}).number, 424)
    eq(fails(ConnectEvents, o, 1).number, 13)
    eq(fails(ControlFace, "x").number, 424)
    eq(fails(ResizeControl, o, -1, 5).number, 5)
    eq(fails(ResizeControl, o, 1.5, 5).number, 5)
    eq(fails(ResizeControl, o, 1e12, 5).number, 6)
  )"), "");
}

TEST_F(HostCalls, HugeAndOddStringsCrossIntact) {
  EXPECT_EQ(Run(R"(
    local o = CreateObject("Tarnel.TestObject")
    local big = string.rep("x", 4 * 1024 * 1024)
    eq(o:Length(big), 4 * 1024 * 1024)
    eq(#o:Echo(big), #big)
    local nul = "a\0b\0"
    eq(o:Length(nul), 4, "embedded NULs are characters")
    eq(o:Echo(nul), nul)
    -- Ill-formed UTF-8 becomes U+FFFD, one per bad sequence.
    eq(o:Echo("a\xffb"), "a\u{FFFD}b")
    eq(o:Length("\xc3"), 1)
    o.Name = "\xe2\x82"; eq(o.Name, "\u{FFFD}")
  )"), "");
}

TEST_F(HostCalls, ArgumentsComeBackAsTheyWereOrAsTheMemberLeftThem) {
  EXPECT_EQ(Run(R"(
    local o = CreateObject("Tarnel.TestObject")
    -- Unchanged text comes back as the same string, ill-formed text as the
    -- automation layer holds it.
    local n, text = o:Length("plain"); eq(n, 5); eq(text, "plain")
    n, text = o:Length(""); eq(n, 0); eq(text, "")
    n, text = o:Length("gr\u{FC}\u{DF}e"); eq(n, 5); eq(text, "gr\u{FC}\u{DF}e")
    n, text = o:Length("a\xffb"); eq(n, 3); eq(text, "a\u{FFFD}b")
    -- Changed arguments come back changed, whatever they were before.
    local _, a, b = o:Swap("left", "right"); eq(a, "right"); eq(b, "left")
    _, a, b = o:Swap(12, "12"); eq(a, "12"); eq(b, 12); eq(math.type(b), "integer")
    _, a, b = o:Swap("same", "same"); eq(a, "same"); eq(b, "same")
    _, a, b = o:Swap("x", Null); eq(a, Null); eq(b, "x")
  )"), "");
}

TEST_F(HostCalls, CallsOfExactTypesGiveWhatCallsThroughInvokeGive) {
  // Rewrite(text As String ByRef, count As Long ByVal, n As Long ByRef)
  // changes all three and fails when n has become negative. A Lua integer
  // for a Long and a string for a String reach it directly; anything else
  // (a string for a Long) goes through Invoke's coercion.
  EXPECT_EQ(Run(R"(
    local o = CreateObject("Tarnel.TestObject")
    local r, t, c, n = o:Rewrite("ab", 3, 21)
    eq(r, "ab!/-3"); eq(t, "ab!"); eq(c, 3, "a by-value argument keeps its value"); eq(n, 42)
    eq(math.type(n), "integer")
    local r2, t2, c2, n2 = o:Rewrite("ab", "3", "21")
    eq(r2, r); eq(t2, t); eq(c2, "3", "kept as the script passed it"); eq(n2, 42)
    eq(math.type(n2), "integer", "written back in the parameter's type")
    r, t = o:Rewrite("gr\u{FC}\u{DF}e", 1, 1); eq(r, "gr\u{FC}\u{DF}e!/-1"); eq(t, "gr\u{FC}\u{DF}e!")
    local big = string.rep("y", 1000000)
    r, t = o:Rewrite(big, 0, 0); eq(#r, 1000003); eq(t, big .. "!")
    -- Errors are the same either way.
    local direct, invoked = fails(o.Rewrite, o, "x", 1, -1), fails(o.Rewrite, o, "x", 1, "-1")
    eq(direct.number, 5); eq(direct.description, "n must not be negative")
    eq(invoked.number, direct.number); eq(invoked.description, direct.description)
    eq(invoked.source, direct.source)
    -- Out of a Long's range, too few or too many arguments: Invoke decides.
    eq(fails(o.Rewrite, o, "x", 1, 2^31).number, 6)
    eq(fails(o.Rewrite, o, "x", 1).number, 450)
    eq(fails(o.Rewrite, o, "x", 1, 2, 3).number, 450)
    eq(fails(o.Rewrite, o, {}, 1, 2).number, 13)
    -- Through another object's closure of the same interface, and a shared one.
    local child = o:CreateChild("c")
    eq(o.Rewrite(child, "k", 1, 1), "k!/-1")
    eq(child.Rewrite(o, "k", 1, 1), "k!/-1")
  )"), "");
}

TEST_F(HostCalls, MethodsAreCachedAndCheckTheirObject) {
  EXPECT_EQ(Run(R"(
    local a = CreateObject("Tarnel.TestObject")
    local b = CreateObject("Tarnel.TestObject")
    eq(a.Add, a.Add, "a created object keeps its method closures")
    assert(a.Add ~= b.Add, "each created object has its own")
    local c, d = a:CreateChild("c"), a:CreateChild("d")
    eq(c.Add, d.Add, "other objects share one closure per interface and name")
    eq(c:Add(1, 2), 3)
    local add = a.Add
    eq(add(b, 2, 3), 5, "the closure works on any object of the interface")
    eq(c.Add(a, 4, 5), 9, "the shared closure too")
    eq(fails(add, 7, 1, 2).number, 424)
    eq(fails(add, nil, 1, 2).number, 424)
    eq(fails(add, {}, 1, 2).number, 424)
    eq(getmetatable(a), "tarnel.object")
    assert(tostring(a):find("^TestObject: "), tostring(a))
    local t = {}; t[a] = true; eq(t[b], nil, "different objects")
  )"), "");
}

TEST_F(HostCalls, ObjectsOutliveTheirCreator) {
  EXPECT_EQ(Run(R"(
    local child
    do
      local o = CreateObject("Tarnel.TestObject")
      child = o:CreateChild("survivor")
    end
    collectgarbage(); collectgarbage()
    eq(child.Name, "survivor")
    for i = 1, 2000 do CreateObject("Tarnel.TestObject"):Add(i, 1) end
    collectgarbage()
  )"), "");
}

// An object without type information: names resolve through its own
// GetIDsOfNames, and a name is read as a property unless that fails.
class Untyped final : public RefCounted<Dispatch> {
 public:
  HRESULT QueryInterface(const Guid& iid, void** out) override {
    if (iid != IID_IUnknown && iid != IID_IDispatch) return E_NOINTERFACE;
    *out = static_cast<Dispatch*>(this);
    AddRef();
    return S_OK;
  }
  const TypeInfo* GetTypeInfo() override { return nullptr; }
  HRESULT GetIDsOfNames(const UString* names, std::uint32_t, DispId* ids) override {
    *ids = EqualsNoCase(names[0], u"Value") ? 1 : EqualsNoCase(names[0], u"Twice") ? 2 : DISPID_UNKNOWN;
    return *ids == DISPID_UNKNOWN ? DISP_E_UNKNOWNNAME : S_OK;
  }
  HRESULT Invoke(DispId id, std::uint16_t flags, DispParams* params, Variant* result, ExcepInfo*,
                 std::uint32_t*) override {
    if (id == 1 && (flags & DISPATCH_PROPERTYGET) && params->cArgs == 0) {
      *result = value_;
      return S_OK;
    }
    if (id == 1 && (flags & DISPATCH_PROPERTYPUT) && params->cArgs == 1) {
      value_ = params->rgvarg[0].Deref();
      return S_OK;
    }
    if (id == 2 && params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
    if (id == 2) {
      *result = Variant(params->rgvarg[0].Deref().lVal() * 2);
      return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
  }

 private:
  Variant value_{std::int32_t{5}};
};

TEST_F(HostCalls, ObjectsWithoutTypeInformationWork) {
  static const CoClassInfo info{u"Untyped", MakeGuid("7D000000-0000-4000-8000-000000000002"), u"Test.Untyped",
                                nullptr, nullptr};
  RegisterBuiltinClass(info, [] { return ComPtr<Dispatch>::Adopt(new Untyped); });
  EXPECT_EQ(Run(R"(
    local u = CreateObject("Test.Untyped")
    eq(u.Value, 5)
    u.Value = 8; eq(u.value, 8)
    eq(u:Twice(21), 42)
    eq(fails(function() return u.Missing end).number, 438)
  )"), "");
}

}  // namespace
}  // namespace tarnel::host::testing
