// Class activation: built-in classes by ProgID and CLSID, the lookups in
// HKEY_CLASSES_ROOT through the registry reader (with CurVer), the error a
// script sees for a class that cannot be created, and the class factory
// helpers that component libraries use.
#include <gtest/gtest.h>

#include <map>
#include <stdexcept>

#include "platform/automation/activation.h"
#include "platform/automation/class_factory.h"
#include "platform/automation/com_error.h"
#include "platform/automation/dispatch_object.h"
#include "platform/automation/member_binding.h"

namespace tarnel {
namespace {

class Widget final : public DispatchObject<Widget> {
 public:
  static const TypeInfo& Type() {
    static const TypeInfo type(u"_Widget", MakeGuid("7B000000-0000-4000-8000-000000000001"), TypeKind::Dispatch,
                               {{1, u"Size", MemberKind::Get, {}, VT_I4, Bind<&Widget::Size>()}});
    return type;
  }
  static const CoClassInfo* Class() {
    static const CoClassInfo info{u"Widget", MakeGuid("7B000000-0000-4000-8000-000000000002"), u"Test.Widget",
                                  &Type(), nullptr, TYPEFLAG_FCANCREATE};
    return &info;
  }
  std::int32_t Size() { return 3; }
};

// HKEY_CLASSES_ROOT as a map from "key|value name" to text.
class FakeClassesRoot {
 public:
  FakeClassesRoot() {
    SetClassRegistryReader([this](UStringView key, UStringView name) -> std::optional<UString> {
      ++reads;
      if (failure) throw std::runtime_error("store is locked");
      auto it = values.find(FoldedCopy(UString(key) + u"|" + UString(name)));
      if (it == values.end()) return std::nullopt;
      return it->second;
    });
  }
  ~FakeClassesRoot() { SetClassRegistryReader(nullptr); }
  void Set(const UString& key, const UString& value) {
    values[FoldedCopy(u"HKEY_CLASSES_ROOT\\" + key + u"|")] = value;
  }

  std::map<UString, UString> values;
  bool failure = false;
  int reads = 0;
};

int NumberOf(const std::function<void()>& f, UString* description = nullptr) {
  try {
    f();
  } catch (const ComError& e) {
    if (description) *description = e.Description();
    return e.Number();
  }
  return 0;
}

class Activation : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterBuiltinClass(*Widget::Class(), [] { return ComPtr<Dispatch>(MakeObject<Widget>()); });
  }
};

TEST_F(Activation, CreatesBuiltinClassesByProgIdOrClsid) {
  ComPtr<Dispatch> a = CreateObject(u"test.WIDGET");
  ASSERT_TRUE(a);
  EXPECT_EQ(CallByName(a.get(), u"Size", DISPATCH_PROPERTYGET).lVal(), 3);
  ComPtr<Dispatch> b = CreateObject(u"{7b000000-0000-4000-8000-000000000002}");
  ASSERT_TRUE(b);
  EXPECT_NE(a.get(), b.get()) << "every CreateObject makes a new object";

  Guid clsid;
  ASSERT_TRUE(ClsidFromProgId(u"Test.Widget", clsid));
  EXPECT_EQ(clsid, Widget::Class()->clsid);
}

TEST_F(Activation, UnknownClassesRaiseError429) {
  FakeClassesRoot root;
  UString description;
  EXPECT_EQ(NumberOf([] { CreateObject(u"No.Such.Class"); }, &description), 429);
  EXPECT_EQ(description, u"ActiveX component can't create object");
  EXPECT_EQ(NumberOf([] { CreateObject(u""); }), 429);
  EXPECT_EQ(NumberOf([] { CreateObject(u"{not a guid}"); }), 429);
  EXPECT_EQ(NumberOf([] { CreateObject(u"{00000000-1111-2222-3333-444444444444}"); }), 429);
  // Names that are no key name never reach the store.
  int before = root.reads;
  EXPECT_EQ(NumberOf([] { CreateObject(u"Bad\\Name"); }), 429);
  EXPECT_EQ(NumberOf([] { CreateObject(UString(300, u'x')); }), 429);
  EXPECT_EQ(NumberOf([] { CreateObject(UString(u"A\0B", 3)); }), 429);
  EXPECT_EQ(root.reads, before);
}

TEST_F(Activation, FollowsTheRegistryToTheLibrary) {
  FakeClassesRoot root;
  const UString clsid = u"{7B000000-0000-4000-8000-0000000000AA}";
  root.Set(u"Lib.Thing\\CurVer", u"Lib.Thing.2");
  root.Set(u"Lib.Thing.2\\CLSID", clsid);
  root.Set(u"CLSID\\" + clsid + u"\\InprocServer32", u"/nonexistent/library.so");

  Guid found;
  ASSERT_TRUE(ClsidFromProgId(u"lib.thing", found));
  EXPECT_EQ(FromUtf8(found.ToString()), clsid);

  UString description;
  EXPECT_EQ(NumberOf([] { CreateObject(u"Lib.Thing"); }, &description), 429);
  EXPECT_NE(description.find(u"/nonexistent/library.so"), UString::npos) << ToUtf8(description);

  // A CLSID key without a library, and a CLSID value that is no GUID.
  root.Set(u"Lib.Empty\\CLSID", u"{7B000000-0000-4000-8000-0000000000BB}");
  EXPECT_EQ(NumberOf([] { CreateObject(u"Lib.Empty"); }), 429);
  root.Set(u"Lib.Garbage\\CLSID", u"garbage");
  EXPECT_FALSE(ClsidFromProgId(u"Lib.Garbage", found));
}

TEST_F(Activation, CurVerLoopsEnd) {
  FakeClassesRoot root;
  root.Set(u"Loop.A\\CurVer", u"Loop.B");
  root.Set(u"Loop.B\\CurVer", u"Loop.A");
  root.Set(u"Self\\CurVer", u"self");
  Guid clsid;
  EXPECT_FALSE(ClsidFromProgId(u"Loop.A", clsid));
  EXPECT_FALSE(ClsidFromProgId(u"Self", clsid));
  EXPECT_EQ(NumberOf([] { CreateObject(u"Loop.A"); }), 429);
}

TEST_F(Activation, AStoreFailureNamesItsCause) {
  FakeClassesRoot root;
  root.failure = true;
  UString description;
  EXPECT_EQ(NumberOf([] { CreateObject(u"Lib.Thing"); }, &description), 429);
  EXPECT_NE(description.find(u"store is locked"), UString::npos);
  // Built-in classes need no store.
  EXPECT_TRUE(CreateObject(u"Test.Widget"));
}

TEST_F(Activation, NothingToUnloadWhenNoLibraryIsLoaded) { EXPECT_EQ(FreeUnusedLibraries(), 0); }

TEST(ClassFactory, CreatesObjectsAndCountsLocks) {
  const long before = ModuleLock::Count();
  {
    auto factory = MakeObject<FunctionClassFactory>([] { return ComPtr<Dispatch>(MakeObject<Widget>()); });
    void* out = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, &out), S_OK);
    auto object = ComPtr<Dispatch>::Adopt(static_cast<Dispatch*>(out));
    EXPECT_EQ(CallByName(object.get(), u"Size", DISPATCH_PROPERTYGET).lVal(), 3);

    EXPECT_EQ(factory->CreateInstance(object.get(), IID_IDispatch, &out), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(factory->CreateInstance(nullptr, MakeGuid("7B000000-0000-4000-8000-0000000000FF"), &out),
              E_NOINTERFACE);

    ASSERT_EQ(factory->LockServer(true), S_OK);
    const long locked = ModuleLock::Count();
    ASSERT_EQ(factory->LockServer(false), S_OK);
    EXPECT_EQ(ModuleLock::Count(), locked - 1);
    EXPECT_EQ(CanUnloadModule(), S_FALSE) << "the factory and the object are alive";
  }
  EXPECT_EQ(ModuleLock::Count(), before);
}

TEST(ClassFactory, CreatorErrorsBecomeFailureCodes) {
  auto failing = MakeObject<FunctionClassFactory>([]() -> ComPtr<Dispatch> { RaiseError(7); });
  void* out = nullptr;
  EXPECT_EQ(failing->CreateInstance(nullptr, IID_IDispatch, &out), ControlError(7));
  auto throwing = MakeObject<FunctionClassFactory>([]() -> ComPtr<Dispatch> { throw std::runtime_error("x"); });
  EXPECT_EQ(throwing->CreateInstance(nullptr, IID_IDispatch, &out), E_FAIL);
  EXPECT_EQ(throwing->CreateInstance(nullptr, IID_IDispatch, nullptr), E_POINTER);
}

TEST(ClassFactory, ServesOnlyItsOwnClasses) {
  const Guid mine = Widget::Class()->clsid;
  const Guid other = MakeGuid("7B000000-0000-4000-8000-0000000000EE");
  auto make = [] { return ComPtr<Dispatch>(MakeObject<Widget>()); };
  void* out = nullptr;
  EXPECT_EQ(ServeClassObject(&other, &IID_IClassFactory, &out, {{&mine, make}}), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(ServeClassObject(nullptr, &IID_IClassFactory, &out, {{&mine, make}}), E_INVALIDARG);
  ASSERT_EQ(ServeClassObject(&mine, &IID_IClassFactory, &out, {{&mine, make}}), S_OK);
  auto factory = ComPtr<ClassFactory>::Adopt(static_cast<ClassFactory*>(out));
  void* object = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, &object), S_OK);
  ComPtr<Dispatch>::Adopt(static_cast<Dispatch*>(object));
}

}  // namespace
}  // namespace tarnel
