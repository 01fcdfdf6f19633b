// Registration of the type library and the two control classes, written as
// a container's registration tooling writes an ActiveX control: the keys
// come from the type library's one table, so the GUIDs, ProgIDs, flags and
// bitmap numbers are never listed twice.
#include "tarneltools/control/registration.h"

#include "tarneltools/control/type_library.h"

namespace tarnel {
namespace {

// The proxy classes that marshal a dual and a dispatch-only interface.
constexpr const char16_t* kDualProxy = u"{00020424-0000-0000-C000-000000000046}";
constexpr const char16_t* kDispatchProxy = u"{00020420-0000-0000-C000-000000000046}";

UString Text(const Guid& guid) { return FromUtf8(guid.ToString()); }

UString LibraryVersion(const TypeLibraryInfo& lib) {
  return DecimalText(lib.majorVersion) + u"." + DecimalText(lib.minorVersion);
}

UString HexText(std::uint32_t n) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  UString out;
  do {
    out.insert(out.begin(), kDigits[n % 16]);
    n /= 16;
  } while (n != 0);
  return out;
}

// The platform part of a type library's file entry ("win32" on Windows).
constexpr const char16_t* kPlatformKey = sizeof(void*) == 8 ? u"linux64" : u"linux32";

UString ClassKey(const CoClassInfo& info) { return u"HKEY_CLASSES_ROOT\\CLSID\\" + Text(info.clsid); }
UString ProgIdKey(const CoClassInfo& info) { return UString(u"HKEY_CLASSES_ROOT\\") + info.progId; }
UString TypeLibKey(const TypeLibraryInfo& lib) { return u"HKEY_CLASSES_ROOT\\TypeLib\\" + Text(lib.libid); }
UString InterfaceKey(const TypeInfo& type) { return u"HKEY_CLASSES_ROOT\\Interface\\" + Text(type.Id()); }

void SetText(RegistryStore& store, const UString& key, UStringView name, UStringView text) {
  store.SetValue(key, name, RegValue::String(text));
}

void RegisterClass(RegistryStore& store, const TypeLibraryInfo& lib, const ControlClass& control, const UString& path) {
  const CoClassInfo& info = *control.info;
  const UString key = ClassKey(info);
  SetText(store, key, u"", info.progId);
  SetText(store, key + u"\\InprocServer32", u"", path);
  SetText(store, key + u"\\InprocServer32", u"ThreadingModel", u"Apartment");
  SetText(store, key + u"\\ProgID", u"", info.progId);
  store.CreateKey(key + u"\\Control");
  SetText(store, key + u"\\MiscStatus", u"", u"0");
  SetText(store, key + u"\\MiscStatus\\1", u"", DecimalText(control.miscStatus));
  SetText(store, key + u"\\ToolboxBitmap32", u"", path + u", " + DecimalText(control.toolboxBitmap));
  SetText(store, key + u"\\TypeLib", u"", Text(lib.libid));
  SetText(store, key + u"\\VERSION", u"", LibraryVersion(lib));

  SetText(store, ProgIdKey(info), u"", info.progId);
  SetText(store, ProgIdKey(info) + u"\\CLSID", u"", Text(info.clsid));
}

void RegisterTypeLibrary(RegistryStore& store, const TypeLibraryInfo& lib, const UString& path) {
  const UString key = TypeLibKey(lib) + u"\\" + LibraryVersion(lib);
  SetText(store, key, u"", lib.helpString);
  SetText(store, key + u"\\" + HexText(lib.lcid) + u"\\" + kPlatformKey, u"", path);
  SetText(store, key + u"\\FLAGS", u"", u"0");
  std::size_t slash = path.rfind(u'/');
  SetText(store, key + u"\\HELPDIR", u"", slash == UString::npos ? UString() : path.substr(0, slash));

  for (const TypeEntry& entry : lib.types) {
    const TypeInfo& type = *entry.type;
    if (entry.coclass || type.Kind() != TypeKind::Dispatch) continue;
    const UString iface = InterfaceKey(type);
    SetText(store, iface, u"", type.Name());
    SetText(store, iface + u"\\ProxyStubClsid32", u"", (type.Flags() & TYPEFLAG_FDUAL) ? kDualProxy : kDispatchProxy);
    SetText(store, iface + u"\\TypeLib", u"", Text(lib.libid));
    SetText(store, iface + u"\\TypeLib", u"Version", LibraryVersion(lib));
  }
}

}  // namespace

void RegisterLibrary(RegistryStore& store, const std::string& serverPath) {
  const TypeLibraryInfo& lib = TarnelToolsTypeLibrary();
  const UString path = FromUtf8(serverPath);
  store.Transaction([&] {
    RegisterTypeLibrary(store, lib, path);
    for (const ControlClass& control : lib.controls) RegisterClass(store, lib, control, path);
  });
}

void UnregisterLibrary(RegistryStore& store) {
  const TypeLibraryInfo& lib = TarnelToolsTypeLibrary();
  store.Transaction([&] {
    for (const ControlClass& control : lib.controls) {
      store.DeleteKey(ClassKey(*control.info), true);
      store.DeleteKey(ProgIdKey(*control.info), true);
    }
    for (const TypeEntry& entry : lib.types) {
      if (!entry.coclass && entry.type->Kind() == TypeKind::Dispatch) store.DeleteKey(InterfaceKey(*entry.type), true);
    }
    // Only this version of the library; the library's key goes with its
    // last version.
    const UString libKey = TypeLibKey(lib);
    store.DeleteKey(libKey + u"\\" + LibraryVersion(lib), true);
    if (store.KeyExists(libKey) && store.SubKeys(libKey).empty()) store.DeleteKey(libKey);
  });
}

}  // namespace tarnel
