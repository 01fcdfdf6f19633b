// Property access by name on ADO objects and the object a result holds.
#include "tarneltools/ado/late_binding.h"

#include "platform/automation/com_error.h"

namespace tarnel {

Variant GetProperty(Dispatch* object, UStringView name) { return CallByName(object, name, DISPATCH_PROPERTYGET); }

void LetProperty(Dispatch* object, UStringView name, Variant value) {
  CallByName(object, name, DISPATCH_PROPERTYPUT, {std::move(value)});
}

void SetProperty(Dispatch* object, UStringView name, Dispatch* value) {
  CallByName(object, name, DISPATCH_PROPERTYPUTREF, {Variant(value)});
}

ComPtr<Dispatch> ObjectOf(const Variant& value) {
  const Variant& v = value.Target();
  if (v.vt() == VT_DISPATCH) return ComPtr<Dispatch>(v.pdispVal());
  if (v.vt() == VT_UNKNOWN) {
    if (!v.punkVal()) return {};
    ComPtr<Unknown> unknown(v.punkVal());
    if (ComPtr<Dispatch> d = unknown.As<Dispatch>(IID_IDispatch)) return d;
  }
  RaiseError(424);
}

}  // namespace tarnel
