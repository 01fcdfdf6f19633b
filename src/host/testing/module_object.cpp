// TarnelTestModule.so: a small component library of test builds, so that
// tests can register a library with --regsvr and create its class through
// HKEY_CLASSES_ROOT, dlopen and DllGetClassObject, and see DllCanUnloadNow
// decide when the library is unloaded. Its class Tarnel.ModuleObject is
// reached through the version-independent ProgID's CurVer.
#include <dlfcn.h>

#include "platform/automation/class_factory.h"
#include "platform/automation/dispatch_object.h"
#include "platform/automation/member_binding.h"
#include "platform/registry/registry_store.h"

namespace tarnel {
namespace {

constexpr Guid kModuleInterfaceId = MakeGuid("3E0C7A10-5B2D-4F61-9C84-7A1D2E3F4B11");
constexpr Guid kModuleClassId = MakeGuid("3E0C7A10-5B2D-4F61-9C84-7A1D2E3F4B12");

class ModuleObject final : public DispatchObject<ModuleObject> {
 public:
  static const TypeInfo& Type() {
    static const TypeInfo type(
        u"_ModuleObject", kModuleInterfaceId, TypeKind::Dispatch,
        {
            {1, u"Multiply", MemberKind::Method, {{u"a", VT_I4, false}, {u"b", VT_I4, false}}, VT_I4,
             Bind<&ModuleObject::Multiply>()},
            {2, u"Objects", MemberKind::Get, {}, VT_I4, Bind<&ModuleObject::Objects>()},
        },
        TYPEFLAG_FDISPATCHABLE);
    return type;
  }
  static const CoClassInfo* Class() {
    static const CoClassInfo info{u"ModuleObject", kModuleClassId, u"Tarnel.ModuleObject.1", &Type(), nullptr,
                                  TYPEFLAG_FCANCREATE};
    return &info;
  }

  std::int32_t Multiply(std::int32_t& a, std::int32_t& b) { return a * b; }
  // The library's live objects and locks, as DllCanUnloadNow counts them.
  std::int32_t Objects() { return static_cast<std::int32_t>(ModuleLock::Count()); }
};

// The file this library was loaded from.
std::string OwnPath() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&OwnPath), &info) || !info.dli_fname) return {};
  return info.dli_fname;
}

UString ClassKey() { return u"HKEY_CLASSES_ROOT\\CLSID\\" + FromUtf8(kModuleClassId.ToString()); }

}  // namespace
}  // namespace tarnel

using namespace tarnel;

extern "C" HRESULT DllGetClassObject(const Guid* clsid, const Guid* iid, void** out) {
  return ServeClassObject(clsid, iid, out, {{&kModuleClassId, [] {
                                               return ComPtr<Dispatch>(MakeObject<ModuleObject>());
                                             }}});
}

extern "C" HRESULT DllCanUnloadNow() { return CanUnloadModule(); }

extern "C" HRESULT DllRegisterServer() {
  try {
    RegistryStore& store = RegistryStore::Process();
    const UString clsid = FromUtf8(kModuleClassId.ToString());
    store.Transaction([&] {
      store.SetValue(ClassKey(), u"", RegValue::String(u"ModuleObject"));
      store.SetValue(ClassKey() + u"\\InprocServer32", u"", RegValue::String(FromUtf8(OwnPath())));
      store.SetValue(ClassKey() + u"\\ProgID", u"", RegValue::String(u"Tarnel.ModuleObject.1"));
      store.SetValue(u"HKEY_CLASSES_ROOT\\Tarnel.ModuleObject.1\\CLSID", u"", RegValue::String(clsid));
      store.SetValue(u"HKEY_CLASSES_ROOT\\Tarnel.ModuleObject\\CurVer", u"", RegValue::String(u"Tarnel.ModuleObject.1"));
    });
    return S_OK;
  } catch (const RegistryError& e) {
    return e.HResult();
  } catch (...) {
    return E_FAIL;
  }
}

extern "C" HRESULT DllUnregisterServer() {
  try {
    RegistryStore& store = RegistryStore::Process();
    store.Transaction([&] {
      store.DeleteKey(ClassKey(), true);
      store.DeleteKey(u"HKEY_CLASSES_ROOT\\Tarnel.ModuleObject.1", true);
      store.DeleteKey(u"HKEY_CLASSES_ROOT\\Tarnel.ModuleObject", true);
    });
    return S_OK;
  } catch (const RegistryError& e) {
    return e.HResult();
  } catch (...) {
    return E_FAIL;
  }
}
