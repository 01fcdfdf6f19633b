// Reading a Variant for conversion: its payload after one level of
// reference (a reference to a reference, or one without target, is no
// value), the check that its type is one a Variant may hold, and the
// script-level reading that replaces an object by its default member's value
// and turns every failure into the run-time error a script sees.
#include "platform/automation/com_error.h"
#include "platform/automation/convert_detail.h"

namespace tarnel::convert {

namespace {

bool IsElementType(std::uint16_t t) { return (IsValueType(t) && t != VT_EMPTY && t != VT_NULL) || t == VT_VARIANT; }

// A by-value Variant. The payload accessors that the reading needs have no
// const overloads; nothing is written through them.
HRESULT ReadValue(const Variant& v, Scalar& s) {
  Variant& m = const_cast<Variant&>(v);
  std::uint16_t vt = v.vt();
  if (vt & VT_ARRAY) {
    auto element = static_cast<std::uint16_t>(vt & ~VT_ARRAY);
    if (!IsElementType(element)) return DISP_E_BADVARTYPE;
    s.array = true;
    s.type = static_cast<VarType>(element);
    s.arr = v.parray();
    return S_OK;
  }
  if (!IsValueType(vt)) return DISP_E_BADVARTYPE;
  s.type = static_cast<VarType>(vt);
  switch (vt) {
    case VT_I1: s.i = m.cVal(); break;
    case VT_I2: case VT_BOOL: s.i = m.iVal(); break;
    case VT_I4: case VT_INT: s.i = m.lVal(); break;
    case VT_I8: case VT_CY: s.i = m.llVal(); break;
    case VT_UI1: s.u = m.bVal(); break;
    case VT_UI2: s.u = m.uiVal(); break;
    case VT_UI4: case VT_UINT: s.u = m.ulVal(); break;
    case VT_UI8: s.u = m.ullVal(); break;
    case VT_R4: s.d = m.fltVal(); break;
    case VT_R8: case VT_DATE: s.d = m.dblVal(); break;
    case VT_DECIMAL: s.dec = m.decVal(); break;
    case VT_ERROR: s.scode = v.scode(); break;
    case VT_BSTR: s.str = &v.bstrVal(); break;
    case VT_DISPATCH: s.disp = v.pdispVal(); break;
    case VT_UNKNOWN: s.unk = v.punkVal(); break;
    default: break;  // Empty, Null
  }
  return S_OK;
}

template <class T>
T Load(const void* p) {
  return *static_cast<const T*>(p);
}

// A typed reference (VT_BYREF | T): the payload is the caller's storage.
HRESULT ReadTypedRef(std::uint16_t base, const void* p, Scalar& s) {
  if (base & VT_ARRAY) {
    auto element = static_cast<std::uint16_t>(base & ~VT_ARRAY);
    if (!IsElementType(element)) return DISP_E_BADVARTYPE;
    if (!p) return DISP_E_TYPEMISMATCH;
    s.array = true;
    s.type = static_cast<VarType>(element);
    s.arr = Load<SafeArray*>(p);
    return S_OK;
  }
  if (!IsValueType(base) || base == VT_EMPTY || base == VT_NULL) return DISP_E_BADVARTYPE;
  if (!p) return DISP_E_TYPEMISMATCH;
  s.type = static_cast<VarType>(base);
  switch (base) {
    case VT_I1: s.i = Load<std::int8_t>(p); break;
    case VT_I2: case VT_BOOL: s.i = Load<std::int16_t>(p); break;
    case VT_I4: case VT_INT: s.i = Load<std::int32_t>(p); break;
    case VT_I8: case VT_CY: s.i = Load<std::int64_t>(p); break;
    case VT_UI1: s.u = Load<std::uint8_t>(p); break;
    case VT_UI2: s.u = Load<std::uint16_t>(p); break;
    case VT_UI4: case VT_UINT: s.u = Load<std::uint32_t>(p); break;
    case VT_UI8: s.u = Load<std::uint64_t>(p); break;
    case VT_R4: s.d = Load<float>(p); break;
    case VT_R8: case VT_DATE: s.d = Load<double>(p); break;
    case VT_DECIMAL: s.dec = Load<Decimal>(p); break;
    case VT_ERROR: s.scode = Load<HRESULT>(p); break;
    case VT_BSTR: s.str = static_cast<const UString*>(p); break;
    case VT_DISPATCH: s.disp = Load<Dispatch*>(p); break;
    case VT_UNKNOWN: s.unk = Load<Unknown*>(p); break;
    default: break;
  }
  return S_OK;
}

[[noreturn]] void RaiseDefaultValueFailure(HRESULT hr, const ExcepInfo& excep) {
  if (hr == DISP_E_EXCEPTION) RaiseDispatchFailure(hr, excep, u"", 0, 0);
  if (hr == DISP_E_MEMBERNOTFOUND || hr == DISP_E_UNKNOWNNAME || hr == DISP_E_UNKNOWNINTERFACE) RaiseError(438);
  RaiseHResult(hr);
}

}  // namespace

bool IsValueType(std::uint16_t vt) {
  switch (vt) {
    case VT_EMPTY: case VT_NULL: case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_CY:
    case VT_DATE: case VT_BSTR: case VT_DISPATCH: case VT_ERROR: case VT_BOOL: case VT_UNKNOWN:
    case VT_DECIMAL: case VT_I1: case VT_UI1: case VT_UI2: case VT_UI4: case VT_I8: case VT_UI8:
    case VT_INT: case VT_UINT:
      return true;
    default:
      return false;
  }
}

HRESULT ReadScalar(const Variant& v, Scalar& s) {
  s = Scalar{};
  std::uint16_t vt = v.vt();
  if (!(vt & VT_BYREF)) return ReadValue(v, s);
  auto base = static_cast<std::uint16_t>(vt & ~VT_BYREF);
  if (base == VT_VARIANT) {
    const Variant* target = v.pvarVal();
    if (!target || target->IsByRef()) return DISP_E_TYPEMISMATCH;
    return ReadValue(*target, s);
  }
  return ReadTypedRef(base, v.byref(), s);
}

HRESULT ReadDefaultValue(Dispatch* object, Variant& out, ExcepInfo& excep) {
  if (!object) return DISP_E_TYPEMISMATCH;
  DispParams none;
  std::uint32_t argErr = 0;
  Variant value;
  HRESULT hr = object->Invoke(DISPID_VALUE, DISPATCH_PROPERTYGET, &none, &value, &excep, &argErr);
  if (Succeeded(hr)) out = std::move(value);
  return hr;
}

void ReadForScript(const Variant& v, Variant& holder, Scalar& s) {
  HRESULT hr = ReadScalar(v, s);
  if (Failed(hr)) RaiseConversionFailure(hr);
  for (int depth = 0; s.type == VT_DISPATCH && !s.array; ++depth) {
    if (!s.disp) RaiseError(91);
    if (depth == kMaxDefaultDepth) RaiseError(438);
    Variant value;
    ExcepInfo excep;
    hr = ReadDefaultValue(s.disp, value, excep);
    if (Failed(hr)) RaiseDefaultValueFailure(hr, excep);
    holder = std::move(value);  // s no longer points into the old holder
    hr = ReadScalar(holder, s);
    if (Failed(hr)) RaiseConversionFailure(hr);
  }
  if (s.type == VT_NULL && !s.array) RaiseError(94);
}

void RaiseConversionFailure(HRESULT hr) {
  std::int32_t number = ErrorNumberFromHResult(hr);
  if (number > 0 && number <= 0xFFFF) RaiseError(number);
  RaiseHResult(hr);
}

}  // namespace tarnel::convert
