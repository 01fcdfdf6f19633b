// The built library TarnelTools.so as a container uses it: loaded with
// dlopen, its entry points found by name, objects made through its class
// factories, its diagnostic lines prefixed with its own file name, its
// registration naming its own path, and its toolbox bitmaps.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <climits>
#include <cstring>

#include "platform/automation/activation.h"
#include "platform/automation/com_error.h"
#include "platform/wshell/wshell.h"
#include "tarneltools/control/type_library.h"
#include "test_objects.h"

namespace tarnel {
namespace {

using FindBitmapFn = int (*)(std::uint32_t, const std::uint8_t**, std::size_t*);

struct Library {
  void* handle = nullptr;
  std::string path;
  DllGetClassObjectFn getClassObject = nullptr;
  DllCanUnloadNowFn canUnloadNow = nullptr;
  DllRegisterServerFn registerServer = nullptr;
  DllRegisterServerFn unregisterServer = nullptr;
  FindBitmapFn findBitmap = nullptr;
};

// The library, loaded once and kept for the test program's life.
const Library& TheLibrary() {
  static const Library lib = [] {
    Library l;
    const std::string file = std::string(TARNEL_BINARY_DIR) + "/TarnelTools.so";
    char resolved[PATH_MAX];
    l.path = realpath(file.c_str(), resolved) ? resolved : file;
    l.handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!l.handle) return l;
    l.getClassObject = reinterpret_cast<DllGetClassObjectFn>(dlsym(l.handle, "DllGetClassObject"));
    l.canUnloadNow = reinterpret_cast<DllCanUnloadNowFn>(dlsym(l.handle, "DllCanUnloadNow"));
    l.registerServer = reinterpret_cast<DllRegisterServerFn>(dlsym(l.handle, "DllRegisterServer"));
    l.unregisterServer = reinterpret_cast<DllRegisterServerFn>(dlsym(l.handle, "DllUnregisterServer"));
    l.findBitmap = reinterpret_cast<FindBitmapFn>(dlsym(l.handle, "TarnelFindBitmapResource"));
    return l;
  }();
  return lib;
}

class LoadedLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(lib.handle, nullptr) << dlerror();
    ASSERT_TRUE(lib.getClassObject && lib.canUnloadNow && lib.registerServer && lib.unregisterServer && lib.findBitmap);
    RegisterShellClasses();
  }

  ComPtr<Dispatch> Create(const Guid& clsid) {
    void* raw = nullptr;
    EXPECT_EQ(lib.getClassObject(&clsid, &IID_IClassFactory, &raw), S_OK);
    auto factory = ComPtr<ClassFactory>::Adopt(static_cast<ClassFactory*>(raw));
    void* object = nullptr;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, &object), S_OK);
    return ComPtr<Dispatch>::Adopt(static_cast<Dispatch*>(object));
  }

  const Library& lib = TheLibrary();
};

TEST_F(LoadedLibrary, DebugLinesBeginWithTheLibrarysFileName) {
  DebugCapture debugger;
  ComPtr<Dispatch> ado = Create(AdoClass().clsid);
  CallByName(ado.get(), u"DebugMode", DISPATCH_PROPERTYPUT, {Variant(1)});
  EXPECT_EQ(debugger.Lines(), std::vector<std::string>{"TarnelTools.ocx DebugMode set to True"});
  EXPECT_EQ(CallByName(ado.get(), u"Version", DISPATCH_PROPERTYGET).bstrVal(), u"1.0.8");
}

TEST_F(LoadedLibrary, ServesBothClassesAndMayUnloadOnlyWhenNothingIsLeft) {
  ScopedRegistry registry;
  EXPECT_EQ(lib.canUnloadNow(), S_OK);
  {
    ComPtr<Dispatch> ado = Create(AdoClass().clsid);
    ComPtr<Dispatch> reg = Create(RegistryClass().clsid);
    ASSERT_TRUE(ado && reg);
    EXPECT_EQ(ado->GetTypeInfo()->Name(), u"_ADO");
    EXPECT_EQ(reg->GetTypeInfo()->Name(), u"_Registry");
    EXPECT_EQ(lib.canUnloadNow(), S_FALSE);
  }
  EXPECT_EQ(lib.canUnloadNow(), S_OK);

  // A locked factory keeps the library loaded.
  void* raw = nullptr;
  ASSERT_EQ(lib.getClassObject(&AdoClass().clsid, &IID_IClassFactory, &raw), S_OK);
  auto factory = ComPtr<ClassFactory>::Adopt(static_cast<ClassFactory*>(raw));
  void* object = reinterpret_cast<void*>(1);
  Unknown* outer = factory.get();
  EXPECT_EQ(factory->CreateInstance(outer, IID_IDispatch, &object), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object, nullptr);
  factory->LockServer(true);
  factory.Reset();
  EXPECT_EQ(lib.canUnloadNow(), S_FALSE);
  ASSERT_EQ(lib.getClassObject(&AdoClass().clsid, &IID_IClassFactory, &raw), S_OK);
  factory = ComPtr<ClassFactory>::Adopt(static_cast<ClassFactory*>(raw));
  factory->LockServer(false);
  factory.Reset();
  EXPECT_EQ(lib.canUnloadNow(), S_OK);

  const Guid unknown = MakeGuid("00000000-0000-0000-0000-000000000001");
  raw = reinterpret_cast<void*>(1);
  EXPECT_EQ(lib.getClassObject(&unknown, &IID_IClassFactory, &raw), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(raw, nullptr);
  EXPECT_EQ(lib.getClassObject(&AdoClass().clsid, &IID_IClassFactory, nullptr), E_POINTER);
}

TEST_F(LoadedLibrary, RegistersItsOwnPathAndUnregistersAgain) {
  ScopedRegistry registry;
  ASSERT_EQ(lib.registerServer(), S_OK);
  const UString key = u"HKEY_CLASSES_ROOT\\CLSID\\" + FromUtf8(AdoClass().clsid.ToString());
  auto server = registry.Store().GetValue(key + u"\\InprocServer32", u"");
  ASSERT_TRUE(server);
  EXPECT_EQ(ToUtf8(server->AsString()), lib.path);
  auto bitmap = registry.Store().GetValue(key + u"\\ToolboxBitmap32", u"");
  ASSERT_TRUE(bitmap);
  EXPECT_EQ(ToUtf8(bitmap->AsString()), lib.path + ", 30001");

  // The registration lets the platform create the controls by ProgID.
  SetClassRegistryReader([](UStringView k, UStringView name) -> std::optional<UString> {
    auto v = RegistryStore::Process().GetValue(k, name);
    if (!v) return std::nullopt;
    return v->AsString();
  });
  ComPtr<Dispatch> reg = CreateObject(u"TarnelTools.Registry");
  EXPECT_EQ(reg->GetTypeInfo()->Name(), u"_Registry");
  reg.Reset();
  SetClassRegistryReader({});

  ASSERT_EQ(lib.unregisterServer(), S_OK);
  EXPECT_FALSE(registry.Store().KeyExists(key));
  EXPECT_FALSE(registry.Store().KeyExists(u"HKEY_CLASSES_ROOT\\TarnelTools.ADO"));
}

TEST_F(LoadedLibrary, CarriesTwoToolboxBitmapsOfSixteenByFifteen) {
  for (std::uint32_t id : {30000u, 30001u}) {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    ASSERT_EQ(lib.findBitmap(id, &data, &size), 0) << id;
    ASSERT_EQ(size, 14u + 40u + 16u * 3u * 15u);
    EXPECT_EQ(std::memcmp(data, "BM", 2), 0);
    auto read32 = [&](std::size_t at) {
      return std::uint32_t(data[at]) | std::uint32_t(data[at + 1]) << 8 | std::uint32_t(data[at + 2]) << 16 |
             std::uint32_t(data[at + 3]) << 24;
    };
    EXPECT_EQ(read32(2), size);
    EXPECT_EQ(read32(10), 54u);
    EXPECT_EQ(read32(18), 16u);
    EXPECT_EQ(read32(22), 15u);
    EXPECT_EQ(data[28], 24);
  }
  const std::uint8_t* a = nullptr;
  const std::uint8_t* b = nullptr;
  std::size_t size = 0;
  lib.findBitmap(30000, &a, &size);
  lib.findBitmap(30001, &b, &size);
  EXPECT_NE(std::memcmp(a + 54, b + 54, size - 54), 0) << "two different pictures";
  const std::uint8_t* none = nullptr;
  EXPECT_EQ(lib.findBitmap(29999, &none, &size), -1);
  EXPECT_EQ(none, nullptr);
}

}  // namespace
}  // namespace tarnel
