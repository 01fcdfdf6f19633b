// The shell object as an automation object: its dispatch table (RegRead,
// RegWrite, RegDelete), its class "WScript.Shell", and its registration as
// a built-in class of the platform. Every call works on the process's
// registry store as it is at that moment.
#include "platform/wshell/wshell.h"

#include "platform/automation/activation.h"
#include "platform/automation/dispatch_object.h"
#include "platform/registry/registry_store.h"
#include "platform/wshell/shell_registry.h"

namespace tarnel {
namespace {

class ShellObject final : public DispatchObject<ShellObject> {
 public:
  static const TypeInfo& Type() { return ShellInterface(); }
  static const CoClassInfo* Class() { return &ShellClass(); }

  Variant RegRead(UString& name) { return ShellRegRead(Store(), name); }
  void RegWrite(UString& name, Variant& value, Variant& type) { ShellRegWrite(Store(), name, value, type); }
  void RegDelete(UString& name) { ShellRegDelete(Store(), name); }

 private:
  // The store opens on first use; failing to open it is the call's error.
  static RegistryStore& Store() {
    try {
      return RegistryStore::Process();
    } catch (const RegistryError& e) {
      throw ComError(e.HResult(), FromUtf8(e.what()));
    }
  }
};

// The shell object's documented identifiers.
constexpr Guid kShellClsid = MakeGuid("72C24DD5-D70A-438B-8A42-98424B88AFB8");
constexpr Guid kShellIid = MakeGuid("41904400-BE18-11D3-A28B-00104BD35090");

ParamDesc ByValue(const char16_t* name, VarType type, bool optional = false) {
  return {.name = name, .type = type, .byRef = false, .optional = optional};
}

}  // namespace

const TypeInfo& ShellInterface() {
  static const TypeInfo type(
      u"IWshShell3", kShellIid, TypeKind::Dispatch,
      {
          {.id = 2001,
           .name = u"RegRead",
           .kind = MemberKind::Method,
           .params = {ByValue(u"Name", VT_BSTR)},
           .resultType = VT_VARIANT,
           .handler = Bind<&ShellObject::RegRead>()},
          {.id = 2002,
           .name = u"RegWrite",
           .kind = MemberKind::Method,
           .params = {ByValue(u"Name", VT_BSTR), ByValue(u"Value", VT_VARIANT), ByValue(u"Type", VT_VARIANT, true)},
           .handler = Bind<&ShellObject::RegWrite>()},
          {.id = 2003,
           .name = u"RegDelete",
           .kind = MemberKind::Method,
           .params = {ByValue(u"Name", VT_BSTR)},
           .handler = Bind<&ShellObject::RegDelete>()},
      },
      TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE);
  return type;
}

const CoClassInfo& ShellClass() {
  static const CoClassInfo info{u"WshShell",       kShellClsid, u"WScript.Shell",
                                &ShellInterface(), nullptr,     TYPEFLAG_FCANCREATE};
  return info;
}

ComPtr<Dispatch> CreateShellObject() { return MakeObject<ShellObject>(); }

void RegisterShellClasses() { RegisterBuiltinClass(ShellClass(), &CreateShellObject); }

}  // namespace tarnel
