// Registration: the exact keys and values written for the type library,
// both classes and the interfaces, and their removal, which takes exactly
// those keys and leaves everything else in HKEY_CLASSES_ROOT alone.
#include "tarneltools/control/registration.h"

#include <gtest/gtest.h>

#include <map>

#include "test_objects.h"

namespace tarnel {
namespace {

using Tree = std::map<std::string, std::map<std::string, std::string>>;  // key -> value name -> text

// Every key below root with its values as text (strings only here).
void Collect(RegistryStore& store, const UString& key, Tree& out) {
  auto& values = out[ToUtf8(key)];
  for (const RegValueInfo& v : store.Values(key)) {
    values[ToUtf8(v.name)] = v.value.type == REG_SZ ? ToUtf8(v.value.AsString()) : "<type>";
  }
  for (const UString& sub : store.SubKeys(key)) Collect(store, key + u"\\" + sub, out);
}

Tree Dump(RegistryStore& store) {
  Tree tree;
  Collect(store, u"HKEY_CLASSES_ROOT", tree);
  tree.erase("HKEY_CLASSES_ROOT");
  return tree;
}

constexpr const char* kPath = "/opt/tarnel/lib/TarnelTools.so";

TEST(Registration, WritesTheClassesTheirProgIdsTheTypeLibraryAndItsInterfaces) {
  ScopedRegistry registry;
  RegisterLibrary(registry.Store(), kPath);
  const std::string C = "HKEY_CLASSES_ROOT\\CLSID\\";
  const std::string ado = C + "{06417497-021B-419A-ACD6-2D6F363D6BAB}";
  const std::string reg = C + "{B27FD706-FA8F-49CC-9DF5-55BD7FE15D43}";
  const std::string lib = "{C39B3A5C-8DC5-42F4-9539-205B07BF484F}";
  const std::string I = "HKEY_CLASSES_ROOT\\Interface\\";
  const std::string T = "HKEY_CLASSES_ROOT\\TypeLib\\" + lib;
  const std::string platform = sizeof(void*) == 8 ? "linux64" : "linux32";
  auto classKeys = [&](const std::string& key, const std::string& progId, const std::string& bitmap) {
    return Tree{
        {key, {{"", progId}}},
        {key + "\\InprocServer32", {{"", kPath}, {"ThreadingModel", "Apartment"}}},
        {key + "\\ProgID", {{"", progId}}},
        {key + "\\Control", {}},
        {key + "\\MiscStatus", {{"", "0"}}},
        {key + "\\MiscStatus\\1", {{"", "131473"}}},
        {key + "\\ToolboxBitmap32", {{"", std::string(kPath) + ", " + bitmap}}},
        {key + "\\TypeLib", {{"", lib}}},
        {key + "\\VERSION", {{"", "1.0"}}},
    };
  };
  auto interfaceKeys = [&](const std::string& iid, const std::string& name, const std::string& proxy) {
    return Tree{
        {I + iid, {{"", name}}},
        {I + iid + "\\ProxyStubClsid32", {{"", proxy}}},
        {I + iid + "\\TypeLib", {{"", lib}, {"Version", "1.0"}}},
    };
  };
  const std::string dual = "{00020424-0000-0000-C000-000000000046}";
  const std::string dispatch = "{00020420-0000-0000-C000-000000000046}";
  Tree expected{
      {"HKEY_CLASSES_ROOT\\CLSID", {}},
      {"HKEY_CLASSES_ROOT\\Interface", {}},
      {"HKEY_CLASSES_ROOT\\TypeLib", {}},
      {"HKEY_CLASSES_ROOT\\TarnelTools.ADO", {{"", "TarnelTools.ADO"}}},
      {"HKEY_CLASSES_ROOT\\TarnelTools.ADO\\CLSID", {{"", "{06417497-021B-419A-ACD6-2D6F363D6BAB}"}}},
      {"HKEY_CLASSES_ROOT\\TarnelTools.Registry", {{"", "TarnelTools.Registry"}}},
      {"HKEY_CLASSES_ROOT\\TarnelTools.Registry\\CLSID", {{"", "{B27FD706-FA8F-49CC-9DF5-55BD7FE15D43}"}}},
      {T, {}},
      {T + "\\1.0", {{"", "TarnelTools"}}},
      {T + "\\1.0\\409", {}},
      {T + "\\1.0\\409\\" + platform, {{"", kPath}}},
      {T + "\\1.0\\FLAGS", {{"", "0"}}},
      {T + "\\1.0\\HELPDIR", {{"", "/opt/tarnel/lib"}}},
  };
  expected.merge(classKeys(ado, "TarnelTools.ADO", "30001"));
  expected.merge(classKeys(reg, "TarnelTools.Registry", "30000"));
  expected.merge(interfaceKeys("{AC0BA9C7-AE06-48AB-89A8-2A1C7F823889}", "_ADO", dual));
  expected.merge(interfaceKeys("{758E4D70-FA13-4173-9ECC-14D32133CB99}", "_Registry", dual));
  expected.merge(interfaceKeys("{1621C945-506F-484F-86AD-D9A9350F392C}", "__ADO", dispatch));
  expected.merge(interfaceKeys("{38E939AB-66E9-495B-9756-D64180D6201F}", "__Registry", dispatch));

  const Tree written = Dump(registry.Store());
  EXPECT_EQ(written.size(), expected.size());
  for (const auto& [key, values] : expected) {
    auto it = written.find(key);
    if (it == written.end()) {
      ADD_FAILURE() << "missing " << key;
      continue;
    }
    EXPECT_EQ(it->second, values) << key;
  }
  for (const auto& [key, values] : written) EXPECT_TRUE(expected.count(key)) << "unexpected " << key;

  // Registering again changes nothing.
  RegisterLibrary(registry.Store(), kPath);
  EXPECT_EQ(Dump(registry.Store()), written);
}

TEST(Registration, UnregisteringRemovesExactlyWhatRegistrationWrote) {
  ScopedRegistry registry;
  RegistryStore& store = registry.Store();
  // Another component's entries in the same places.
  const UString other = u"HKEY_CLASSES_ROOT\\CLSID\\{11111111-2222-3333-4444-555555555555}\\InprocServer32";
  store.SetValue(other, u"", RegValue::String(u"/usr/lib/other.so"));
  store.SetValue(u"HKEY_CLASSES_ROOT\\TypeLib\\{C39B3A5C-8DC5-42F4-9539-205B07BF484F}\\2.0", u"",
                 RegValue::String(u"a later version"));
  store.SetValue(u"HKEY_CLASSES_ROOT\\Other.Thing\\CLSID", u"", RegValue::String(u"{x}"));
  const Tree before = Dump(store);

  RegisterLibrary(store, kPath);
  EXPECT_GT(Dump(store).size(), before.size());
  UnregisterLibrary(store);
  Tree after = Dump(store);
  after.erase("HKEY_CLASSES_ROOT\\Interface");  // the parent key that registration created
  EXPECT_EQ(after, before);

  // The library key goes with its last version.
  store.DeleteKey(u"HKEY_CLASSES_ROOT\\TypeLib\\{C39B3A5C-8DC5-42F4-9539-205B07BF484F}\\2.0");
  RegisterLibrary(store, kPath);
  UnregisterLibrary(store);
  EXPECT_FALSE(store.KeyExists(u"HKEY_CLASSES_ROOT\\TypeLib\\{C39B3A5C-8DC5-42F4-9539-205B07BF484F}"));
  // Unregistering what is not registered is no error.
  EXPECT_NO_THROW(UnregisterLibrary(store));
}

}  // namespace
}  // namespace tarnel
