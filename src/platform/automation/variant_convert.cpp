// ChangeType, the automation conversion between Variant types: numbers go
// through an exact form with range checks and rounding half to even; text is
// parsed and formatted under the locale; objects convert through their
// default member; Null converts to nothing but Null; arrays only to their
// own type. Also the script-level numeric helpers ToInt32/ToDouble/ToBool.
#include "platform/automation/variant_convert.h"

#include <cfloat>
#include <cmath>

#include "platform/automation/com_error.h"
#include "platform/automation/convert_detail.h"

namespace tarnel {

namespace {

using convert::Number;
using convert::Scalar;

template <class T>
Variant Typed(VarType type, T& (Variant::*field)(), T value) {
  Variant v = Variant::OfType(type);
  (v.*field)() = value;
  return v;
}

// Objects to object types, or through their default member to anything else.
HRESULT ConvertObject(Variant& dst, const Scalar& s, std::uint16_t flags, VarType vt, const Locale& locale,
                      int depth);

HRESULT ConvertScalar(Variant& dst, const Scalar& s, std::uint16_t flags, VarType vt, const Locale& locale) {
  if (s.type == VT_NULL) {
    if (vt != VT_NULL) return DISP_E_TYPEMISMATCH;
    dst = Variant::Null();
    return S_OK;
  }
  switch (vt) {
    case VT_EMPTY:  // any value but Null may be emptied
      dst = Variant();
      return S_OK;
    case VT_NULL:  // only Empty and Null become Null
      if (s.type != VT_EMPTY) return DISP_E_TYPEMISMATCH;
      dst = Variant::Null();
      return S_OK;
    case VT_DISPATCH:
    case VT_UNKNOWN:
      return DISP_E_TYPEMISMATCH;
    case VT_BSTR: {
      UString text;
      HRESULT hr = convert::TextOfScalar(s, flags, locale, text);
      if (Succeeded(hr)) dst = Variant(std::move(text));
      return hr;
    }
    case VT_BOOL: {
      bool b = false;
      if (s.type != VT_BSTR || !convert::ParseBoolWord(*s.str, locale, b)) {
        Number n;
        HRESULT hr = convert::NumberOf(s, locale, n);
        if (Failed(hr)) return hr;
        b = !convert::IsZero(n);
      }
      dst = Variant(b);
      return S_OK;
    }
    case VT_ERROR: {
      if (s.type == VT_ERROR) {
        dst = Variant::Error(s.scode);
        return S_OK;
      }
      // An integer converts to the error value with that code (CVErr).
      if (s.type == VT_BSTR || s.type == VT_EMPTY || s.type == VT_BOOL || s.type == VT_R4 || s.type == VT_R8 ||
          s.type == VT_DATE || s.type == VT_CY || s.type == VT_DECIMAL) {
        return DISP_E_TYPEMISMATCH;
      }
      break;
    }
    case VT_DATE: {
      double date = 0;
      if (s.type != VT_BSTR || !convert::ParseDate(*s.str, locale, date)) {
        Number n;
        HRESULT hr = convert::NumberOf(s, locale, n);
        if (Failed(hr)) return hr;
        date = convert::ToReal(n);
        if (!convert::DateInRange(date)) return DISP_E_OVERFLOW;
      }
      dst = Variant::FromDate(date);
      return S_OK;
    }
    default:
      break;
  }

  Number n;
  HRESULT hr = convert::NumberOf(s, locale, n);
  if (Failed(hr)) return hr;
  std::int64_t i = 0;
  std::uint64_t u = 0;
  // True converts to an unsigned type as its bit pattern (CByte(True) = 255).
  bool wrapBool = s.type == VT_BOOL;
  switch (vt) {
    case VT_I1:
      hr = convert::ToSigned(n, INT8_MIN, INT8_MAX, i);
      if (Succeeded(hr)) dst = Typed(VT_I1, &Variant::cVal, static_cast<std::int8_t>(i));
      return hr;
    case VT_I2:
      hr = convert::ToSigned(n, INT16_MIN, INT16_MAX, i);
      if (Succeeded(hr)) dst = Variant::I2(static_cast<std::int16_t>(i));
      return hr;
    case VT_I4:
    case VT_INT:
    case VT_ERROR:
      hr = convert::ToSigned(n, INT32_MIN, INT32_MAX, i);
      if (Failed(hr)) return hr;
      if (vt == VT_ERROR) {
        dst = Variant::Error(static_cast<HRESULT>(i));
      } else {
        dst = Typed(vt, &Variant::lVal, static_cast<std::int32_t>(i));
      }
      return S_OK;
    case VT_I8:
      hr = convert::ToSigned(n, INT64_MIN, INT64_MAX, i);
      if (Succeeded(hr)) dst = Variant::I8(i);
      return hr;
    case VT_UI1:
      if (wrapBool) u = static_cast<std::uint8_t>(s.i);
      else hr = convert::ToUnsigned(n, UINT8_MAX, u);
      if (Succeeded(hr)) dst = Variant::UI1(static_cast<std::uint8_t>(u));
      return hr;
    case VT_UI2:
      if (wrapBool) u = static_cast<std::uint16_t>(s.i);
      else hr = convert::ToUnsigned(n, UINT16_MAX, u);
      if (Succeeded(hr)) dst = Typed(VT_UI2, &Variant::uiVal, static_cast<std::uint16_t>(u));
      return hr;
    case VT_UI4:
    case VT_UINT:
      if (wrapBool) u = static_cast<std::uint32_t>(s.i);
      else hr = convert::ToUnsigned(n, UINT32_MAX, u);
      if (Succeeded(hr)) dst = Typed(vt, &Variant::ulVal, static_cast<std::uint32_t>(u));
      return hr;
    case VT_UI8:
      if (wrapBool) u = static_cast<std::uint64_t>(s.i);
      else hr = convert::ToUnsigned(n, UINT64_MAX, u);
      if (Succeeded(hr)) dst = Typed(VT_UI8, &Variant::ullVal, u);
      return hr;
    case VT_R4: {
      double d = convert::ToReal(n);
      if (d < -FLT_MAX || d > FLT_MAX) return DISP_E_OVERFLOW;
      dst = Variant::R4(static_cast<float>(d));
      return S_OK;
    }
    case VT_R8:
      dst = Variant(convert::ToReal(n));
      return S_OK;
    case VT_CY:
      hr = convert::ToCurrency(n, i);
      if (Succeeded(hr)) dst = Variant::Cy(Currency{i});
      return hr;
    case VT_DECIMAL: {
      convert::Dec d;
      hr = convert::ToDec(n, d);
      if (Succeeded(hr)) dst = Variant::Dec(convert::DecimalFromDec(d));
      return hr;
    }
    default:
      return DISP_E_BADVARTYPE;
  }
}

HRESULT Convert(Variant& dst, const Variant& src, std::uint16_t flags, VarType vt, const Locale& locale,
                int depth) {
  Scalar s;
  HRESULT hr = convert::ReadScalar(src, s);
  if (Failed(hr)) return hr;
  if (vt & VT_BYREF) return DISP_E_BADVARTYPE;
  if (vt == VT_VARIANT) {
    dst = src.Deref();
    return S_OK;
  }
  if (vt & VT_ARRAY) {
    auto element = static_cast<std::uint16_t>(vt & ~VT_ARRAY);
    if (element != VT_VARIANT && (!convert::IsValueType(element) || element == VT_EMPTY || element == VT_NULL)) {
      return DISP_E_BADVARTYPE;
    }
    if (!s.array || s.type != element) return DISP_E_TYPEMISMATCH;
    dst = src.Deref();
    return S_OK;
  }
  if (!convert::IsValueType(vt)) return DISP_E_BADVARTYPE;
  if (s.array) return DISP_E_TYPEMISMATCH;
  if (s.type == VT_DISPATCH || s.type == VT_UNKNOWN) return ConvertObject(dst, s, flags, vt, locale, depth);
  return ConvertScalar(dst, s, flags, vt, locale);
}

HRESULT ConvertObject(Variant& dst, const Scalar& s, std::uint16_t flags, VarType vt, const Locale& locale,
                      int depth) {
  if (vt == VT_UNKNOWN) {
    dst = Variant::Unk(s.type == VT_DISPATCH ? static_cast<Unknown*>(s.disp) : s.unk);
    return S_OK;
  }
  if (vt == VT_DISPATCH) {
    if (s.type == VT_DISPATCH || !s.unk) {
      dst = Variant(s.disp);
      return S_OK;
    }
    void* out = nullptr;
    if (Failed(s.unk->QueryInterface(IID_IDispatch, &out)) || !out) return DISP_E_TYPEMISMATCH;
    auto object = ComPtr<Dispatch>::Adopt(static_cast<Dispatch*>(out));
    dst = Variant(object.get());
    return S_OK;
  }
  if (s.type == VT_UNKNOWN || (flags & kNoValueProp) || !s.disp || depth >= convert::kMaxDefaultDepth) {
    return DISP_E_TYPEMISMATCH;
  }
  Variant value;
  ExcepInfo excep;
  if (Failed(convert::ReadDefaultValue(s.disp, value, excep))) return DISP_E_TYPEMISMATCH;
  return Convert(dst, value, flags, vt, locale, depth + 1);
}

}  // namespace

HRESULT ChangeType(Variant& dst, const Variant& src, std::uint16_t flags, VarType vt, const Locale& locale) {
  return Convert(dst, src, flags, vt, locale, 0);
}

std::int32_t ToInt32(const Variant& value) {
  Variant holder;
  Scalar s;
  convert::ReadForScript(value, holder, s);
  Number n;
  std::int64_t i = 0;
  HRESULT hr = convert::NumberOf(s, Locale::User(), n);
  if (Succeeded(hr)) hr = convert::ToSigned(n, INT32_MIN, INT32_MAX, i);
  if (Failed(hr)) convert::RaiseConversionFailure(hr);
  return static_cast<std::int32_t>(i);
}

double ToDouble(const Variant& value) {
  Variant holder;
  Scalar s;
  convert::ReadForScript(value, holder, s);
  Number n;
  HRESULT hr = convert::NumberOf(s, Locale::User(), n);
  if (Failed(hr)) convert::RaiseConversionFailure(hr);
  return convert::ToReal(n);
}

bool ToBool(const Variant& value) {
  Variant holder;
  Scalar s;
  convert::ReadForScript(value, holder, s);
  bool b = false;
  if (s.type == VT_BSTR && !s.array && convert::ParseBoolWord(*s.str, Locale::User(), b)) return b;
  Number n;
  HRESULT hr = convert::NumberOf(s, Locale::User(), n);
  if (Failed(hr)) convert::RaiseConversionFailure(hr);
  return !convert::IsZero(n);
}

}  // namespace tarnel
