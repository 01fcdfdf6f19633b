// The Registry control: reading single and multi-element values with the
// element count written back, handing out elements one per call, the value
// kept from the last successful read, writing and deleting, the shell
// object's errors reaching the caller unchanged, and the control's size.
#include "tarneltools/registry/registry_control.h"

#include <gtest/gtest.h>

#include "platform/automation/com_error.h"
#include "platform/wshell/wshell.h"
#include "test_objects.h"

namespace tarnel {
namespace {

constexpr const char16_t* kKey = u"HKEY_CURRENT_USER\\Software\\TarnelTest";

class RegistryControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterShellClasses();
    control = RegistryControl::Create();
    RegistryStore& store = registry.Store();
    store.SetValue(kKey, u"Name", RegValue::String(u"Tarnel"));
    store.SetValue(kKey, u"Count", RegValue::Dword(42));
    store.SetValue(kKey, u"Three", RegValue::MultiString({u"one", u"two", u"three"}));
    store.SetValue(kKey, u"None", RegValue::Binary(std::vector<std::uint8_t>{0, 0}, REG_MULTI_SZ));
    store.SetValue(kKey, u"Bytes", RegValue::Binary(std::vector<std::uint8_t>{0xDE, 0xAD, 0x01}));
  }

  // RegRead as a script calls it: nElements by reference.
  Variant Read(const UString& name, std::int32_t& nElements) {
    return CallByName(control->AsDispatch(), u"RegRead", DISPATCH_METHOD,
                      {Variant(u"HKCU\\Software\\TarnelTest\\" + name), Variant::RefTyped(VT_I4, &nElements)});
  }
  Variant Element(std::int32_t index) {
    return CallByName(control->AsDispatch(), u"RegReadElement", DISPATCH_METHOD, {Variant(index)});
  }
  // The error a call fails with.
  static ComError ErrorOf(const std::function<void()>& call) {
    try {
      call();
    } catch (const ComError& e) {
      return e;
    }
    ADD_FAILURE() << "the call did not fail";
    return ComError(S_OK, u"");
  }

  ScopedRegistry registry;
  ComPtr<RegistryControl> control;
};

TEST_F(RegistryControlTest, ReadingASingleValueReturnsItWithNoElements) {
  std::int32_t n = 99;
  Variant name = Read(u"Name", n);
  EXPECT_EQ(name.vt(), VT_BSTR);
  EXPECT_EQ(name.bstrVal(), u"Tarnel");
  EXPECT_EQ(n, 0);
  n = 99;
  Variant count = Read(u"Count", n);
  EXPECT_EQ(count.vt(), VT_I4);
  EXPECT_EQ(count.lVal(), 42);
  EXPECT_EQ(n, 0);
}

TEST_F(RegistryControlTest, MultiStringIsHandedOutOneElementPerCall) {
  std::int32_t n = 0;
  EXPECT_TRUE(Read(u"Three", n).IsEmpty());
  EXPECT_EQ(n, 3);
  EXPECT_EQ(Element(0).bstrVal(), u"one");
  EXPECT_EQ(Element(1).bstrVal(), u"two");
  EXPECT_EQ(Element(2).bstrVal(), u"three");
  EXPECT_EQ(Element(2).bstrVal(), u"three") << "reading an element changes nothing";
  for (std::int32_t bad : {3, -1, -2147483647 - 1, 2147483647}) {
    ComError e = ErrorOf([&] { Element(bad); });
    EXPECT_EQ(e.Number(), 9) << bad;
    EXPECT_EQ(e.Description(), u"Subscript out of range");
    EXPECT_EQ(e.Source(), u"TarnelTools.Registry");
  }
}

TEST_F(RegistryControlTest, BinaryValueIsReadAsBytes) {
  std::int32_t n = 0;
  EXPECT_TRUE(Read(u"Bytes", n).IsEmpty());
  EXPECT_EQ(n, 3);
  Variant b = Element(0);
  EXPECT_EQ(b.vt(), VT_UI1);
  EXPECT_EQ(b.bVal(), 0xDE);
  EXPECT_EQ(Element(2).bVal(), 0x01);
}

TEST_F(RegistryControlTest, MultiStringWithoutElementsGivesZeroAndEmpty) {
  std::int32_t n = 7;
  EXPECT_TRUE(Read(u"None", n).IsEmpty());
  EXPECT_EQ(n, 0);
  EXPECT_EQ(ErrorOf([&] { Element(0); }).Number(), 9);
}

TEST_F(RegistryControlTest, ElementWithoutAnArrayIsATypeMismatch) {
  ComError before = ErrorOf([&] { Element(0); });
  EXPECT_EQ(before.Number(), 13);
  EXPECT_EQ(before.Description(), u"Type mismatch");
  std::int32_t n = 0;
  Read(u"Three", n);
  Read(u"Name", n);
  EXPECT_EQ(ErrorOf([&] { Element(0); }).Number(), 13) << "a single value replaced the array";
}

TEST_F(RegistryControlTest, FailedReadKeepsTheStoredArrayAndTheCount) {
  std::int32_t n = 0;
  Read(u"Three", n);
  n = 12345;
  ComError missing = ErrorOf([&] { Read(u"Missing", n); });
  EXPECT_EQ(missing.Number(), -2147024894);
  EXPECT_EQ(missing.Description(), u"Unable to open registry key \"HKCU\\Software\\TarnelTest\\Missing\" for reading.");
  EXPECT_EQ(missing.Source(), u"WshShell.RegRead");
  EXPECT_EQ(n, 12345) << "nElements is not written back";
  EXPECT_EQ(Element(1).bstrVal(), u"two");

  ComError root = ErrorOf([&] {
    CallByName(control->AsDispatch(), u"RegRead", DISPATCH_METHOD,
               {Variant(u"HKU\\Software\\x"), Variant::RefTyped(VT_I4, &n)});
  });
  EXPECT_EQ(root.Number(), -2147024893);
  EXPECT_EQ(root.Description(), u"Invalid root in registry key \"HKU\\Software\\x\".");
  EXPECT_EQ(n, 12345);
  EXPECT_EQ(Element(2).bstrVal(), u"three");
}

TEST_F(RegistryControlTest, WriteAndDeleteReturnEmptyAndLeaveTheStoredValue) {
  std::int32_t n = 0;
  Read(u"Three", n);
  Variant w = CallByName(control->AsDispatch(), u"RegWrite", DISPATCH_METHOD,
                         {Variant(u"HKCU\\Software\\TarnelTest\\New"), Variant(17), Variant(u"REG_DWORD")});
  EXPECT_TRUE(w.IsEmpty());
  EXPECT_EQ(registry.Store().GetValue(kKey, u"New")->AsDword(), 17u);
  EXPECT_EQ(Element(0).bstrVal(), u"one");

  // A value passed by reference is written as the value it refers to.
  Variant target(u"by reference");
  CallByName(control->AsDispatch(), u"RegWrite", DISPATCH_METHOD,
             {Variant(u"HKCU\\Software\\TarnelTest\\Ref"), Variant::Ref(&target), Variant(u"REG_SZ")});
  EXPECT_EQ(registry.Store().GetValue(kKey, u"Ref")->AsString(), u"by reference");

  Variant d =
      CallByName(control->AsDispatch(), u"RegDelete", DISPATCH_METHOD, {Variant(u"HKCU\\Software\\TarnelTest\\New")});
  EXPECT_TRUE(d.IsEmpty());
  EXPECT_FALSE(registry.Store().GetValue(kKey, u"New"));
  EXPECT_EQ(Element(2).bstrVal(), u"three");
}

TEST_F(RegistryControlTest, ShellErrorsOfWriteAndDeleteReachTheCaller) {
  // The control passes the type string unchecked; the shell refuses it.
  ComError type = ErrorOf([&] {
    CallByName(control->AsDispatch(), u"RegWrite", DISPATCH_METHOD,
               {Variant(u"HKCU\\Software\\TarnelTest\\X"), Variant(1), Variant(u"REG_MULTI_SZ")});
  });
  EXPECT_EQ(type.Number(), 5);
  EXPECT_EQ(type.Source(), u"WshShell.RegWrite");
  EXPECT_FALSE(registry.Store().GetValue(kKey, u"X"));

  ComError value = ErrorOf([&] {
    CallByName(control->AsDispatch(), u"RegWrite", DISPATCH_METHOD,
               {Variant(u"HKCU\\Software\\TarnelTest\\X"), Variant(u"abc"), Variant(u"REG_DWORD")});
  });
  EXPECT_EQ(value.Number(), 13);

  ComError gone = ErrorOf([&] {
    CallByName(control->AsDispatch(), u"RegDelete", DISPATCH_METHOD, {Variant(u"HKCU\\Software\\TarnelTest\\X")});
  });
  EXPECT_EQ(gone.Number(), -2147024894);
  EXPECT_EQ(gone.Description(), u"Unable to remove registry key \"HKCU\\Software\\TarnelTest\\X\".");
  EXPECT_EQ(gone.Source(), u"WshShell.RegDelete");
}

TEST_F(RegistryControlTest, AlwaysTakesItsLabelsSize) {
  ControlFace face = control->GetFace();
  EXPECT_EQ(face.width, 1215);
  EXPECT_EQ(face.height, 255);
  ASSERT_EQ(face.labels.size(), 1u);
  EXPECT_EQ(face.labels[0].name, u"Label1");
  EXPECT_EQ(face.labels[0].caption, u"Registry Control");
  EXPECT_EQ(face.labels[0].left, 120);
  EXPECT_EQ(face.labels[0].top, 120);
  for (auto [w, h] : {std::pair{4000, 3000}, std::pair{0, 0}, std::pair{1215, 255}}) {
    control->Resize(w, h);
    face = control->GetFace();
    EXPECT_EQ(face.width, 1215);
    EXPECT_EQ(face.height, 255);
    EXPECT_EQ(face.labels[0].left, 120);
    EXPECT_EQ(face.labels[0].width, 1215);
  }
}

TEST_F(RegistryControlTest, InstancesKeepTheirOwnValue) {
  ComPtr<RegistryControl> other = RegistryControl::Create();
  std::int32_t n = 0;
  Read(u"Three", n);
  EXPECT_EQ(
      ErrorOf([&] { CallByName(other->AsDispatch(), u"RegReadElement", DISPATCH_METHOD, {Variant(0)}); }).Number(), 13);
}

}  // namespace
}  // namespace tarnel
