// TypeName: the name of a value's type as the VB runtime gives it, the
// class name of an object from its class information or its interface's
// type information, and element name plus "()" for arrays.
#include "platform/automation/com_error.h"
#include "platform/automation/convert_detail.h"
#include "platform/automation/type_info.h"
#include "platform/automation/variant_convert.h"

namespace tarnel {

namespace {

// The types VB knows by their VB names. The others have no VB name (VB
// raises 458 for them); they get names in the same style: SByte for VT_I1,
// UShort, ULong and ULongLong for the unsigned types, and Long / ULong for
// VT_INT / VT_UINT, which every conversion treats as VT_I4 / VT_UI4.
const char16_t* NameOfType(VarType type) {
  switch (type) {
    case VT_EMPTY: return u"Empty";
    case VT_NULL: return u"Null";
    case VT_I2: return u"Integer";
    case VT_I4: return u"Long";
    case VT_R4: return u"Single";
    case VT_R8: return u"Double";
    case VT_CY: return u"Currency";
    case VT_DATE: return u"Date";
    case VT_BSTR: return u"String";
    case VT_DISPATCH: return u"Object";
    case VT_ERROR: return u"Error";
    case VT_BOOL: return u"Boolean";
    case VT_VARIANT: return u"Variant";
    case VT_UNKNOWN: return u"Unknown";
    case VT_DECIMAL: return u"Decimal";
    case VT_I1: return u"SByte";
    case VT_UI1: return u"Byte";
    case VT_UI2: return u"UShort";
    case VT_UI4: return u"ULong";
    case VT_I8: return u"LongLong";
    case VT_UI8: return u"ULongLong";
    case VT_INT: return u"Long";
    case VT_UINT: return u"ULong";
    default: return nullptr;
  }
}

// The class name of an object that has IDispatch: its coclass's name when it
// tells its class, else its interface's name without the leading "_" of a
// default interface ("_Recordset"), else "Object".
UString NameOfDispatch(Dispatch* object) {
  void* out = nullptr;
  if (Succeeded(object->QueryInterface(IID_IProvideClassInfo, &out)) && out) {
    auto info = ComPtr<ProvideClassInfo>::Adopt(static_cast<ProvideClassInfo*>(out));
    const CoClassInfo* cls = info->GetClassInfo();
    if (cls && cls->name && *cls->name) return cls->name;
  }
  if (const TypeInfo* type = object->GetTypeInfo()) {
    UStringView name = type->Name();
    if (!name.empty() && name.front() == u'_') name.remove_prefix(1);
    if (!name.empty()) return UString(name);
  }
  return u"Object";
}

}  // namespace

UString TypeNameOfObject(Unknown* object) {
  if (!object) return u"Nothing";
  void* out = nullptr;
  if (Failed(object->QueryInterface(IID_IDispatch, &out)) || !out) return u"Unknown";
  auto dispatch = ComPtr<Dispatch>::Adopt(static_cast<Dispatch*>(out));
  return NameOfDispatch(dispatch.get());
}

UString TypeName(const Variant& value) {
  convert::Scalar s;
  HRESULT hr = convert::ReadScalar(value, s);
  if (Failed(hr)) convert::RaiseConversionFailure(hr);
  if (s.array) return UString(NameOfType(s.type)) + u"()";
  if (s.type == VT_DISPATCH) return s.disp ? NameOfDispatch(s.disp) : u"Nothing";
  if (s.type == VT_UNKNOWN) return TypeNameOfObject(s.unk);
  return NameOfType(s.type);
}

}  // namespace tarnel
