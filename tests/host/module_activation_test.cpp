// Activation of a class from a component library in-process: the library
// registered in a temporary store, created through HKEY_CLASSES_ROOT and
// dlopen, kept loaded while its objects live and unloaded when its
// DllCanUnloadNow agrees.
#include "host_test_support.h"

#include "platform/automation/activation.h"
#include "platform/automation/com_error.h"
#include "platform/registry/registry_store.h"

namespace tarnel::host::testing {
namespace {

TEST(ModuleActivation, LibrariesStayLoadedWhileTheirObjectsLive) {
  TempDir dir;
  ASSERT_EQ(RunHostBinary(dir, {"--regsvr", TestModulePath()}).status, 0);
  RegistryStore::SetProcessPath(dir.File("registry.db"));
  UseProcessRegistryForClasses();

  ComPtr<Dispatch> object = CreateObject(u"Tarnel.ModuleObject");
  ASSERT_TRUE(object);
  EXPECT_EQ(CallByName(object.get(), u"Multiply", DISPATCH_METHOD, {Variant(4), Variant(5)}).lVal(), 20);
  EXPECT_EQ(CallByName(object.get(), u"Objects", DISPATCH_PROPERTYGET).lVal(), 1);
  ComPtr<Dispatch> second = CreateObject(u"{3E0C7A10-5B2D-4F61-9C84-7A1D2E3F4B12}");
  EXPECT_EQ(CallByName(second.get(), u"Objects", DISPATCH_PROPERTYGET).lVal(), 2);

  EXPECT_EQ(FreeUnusedLibraries(), 0) << "objects of the library are alive";
  second.Reset();
  object.Reset();
  EXPECT_EQ(FreeUnusedLibraries(), 1);
  EXPECT_EQ(FreeUnusedLibraries(), 0);

  // Loaded again on the next use.
  ComPtr<Dispatch> again = CreateObject(u"Tarnel.ModuleObject");
  EXPECT_EQ(CallByName(again.get(), u"Objects", DISPATCH_PROPERTYGET).lVal(), 1);
  again.Reset();
  EXPECT_EQ(FreeUnusedLibraries(), 1);
  SetClassRegistryReader(nullptr);
}

TEST(ModuleActivation, ABrokenRegistrationRaises429WithTheCause) {
  TempDir dir;
  RegistryStore::SetProcessPath(dir.File("broken.db"));
  UseProcessRegistryForClasses();
  RegistryStore& store = RegistryStore::Process();
  store.SetValue(u"HKCR\\Broken.Class\\CLSID", u"", RegValue::String(u"{3E0C7A10-5B2D-4F61-9C84-7A1D2E3F4BFF}"));
  store.SetValue(u"HKCR\\CLSID\\{3E0C7A10-5B2D-4F61-9C84-7A1D2E3F4BFF}\\InprocServer32", u"",
                 RegValue::String(FromUtf8(TARNEL_BINARY_DIR "/src/platform/libtarnel_platform.so")));
  try {
    CreateObject(u"Broken.Class");
    FAIL() << "created";
  } catch (const ComError& e) {
    EXPECT_EQ(e.Number(), 429);
    EXPECT_NE(e.Description().find(u"no DllGetClassObject"), UString::npos) << ToUtf8(e.Description());
  }
  SetClassRegistryReader(nullptr);
}

}  // namespace
}  // namespace tarnel::host::testing
