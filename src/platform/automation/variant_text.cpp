// The text form of a value: ChangeType's conversion to String (numbers and
// dates under the locale, Booleans as "-1"/"0", "True"/"False" or the
// locale's words by flag) and TextOf, the conversion a script's CStr and
// implicit string use gives (Booleans in the locale's words, objects through
// their default member, Null and values without a text form as errors).
#include "platform/automation/variant_convert.h"

#include "platform/automation/convert_detail.h"

namespace tarnel {

namespace convert {

HRESULT TextOfScalar(const Scalar& s, std::uint16_t flags, const Locale& locale, UString& out) {
  out.clear();
  if (s.array) return DISP_E_TYPEMISMATCH;
  char16_t separator = locale.decimalSeparator;
  switch (s.type) {
    case VT_EMPTY:
      return S_OK;
    case VT_I1: case VT_I2: case VT_I4: case VT_I8: case VT_INT:
      AppendSigned(out, s.i);
      return S_OK;
    case VT_UI1: case VT_UI2: case VT_UI4: case VT_UI8: case VT_UINT:
      AppendUnsigned(out, s.u);
      return S_OK;
    case VT_R4:
      AppendReal(out, s.d, 7, separator);
      return S_OK;
    case VT_R8:
      AppendReal(out, s.d, 15, separator);
      return S_OK;
    case VT_CY:
      AppendDec(out, DecOfCurrency(s.i), separator);
      return S_OK;
    case VT_DECIMAL: {
      Dec d;
      if (!DecFromDecimal(s.dec, d)) return E_INVALIDARG;
      AppendDec(out, d, separator);
      return S_OK;
    }
    case VT_DATE:
      return AppendDate(out, s.d, locale);
    case VT_BOOL:
      if (flags & kLocalBool) {
        const UString& word = s.i ? locale.trueWord : locale.falseWord;
        out = word.empty() ? (s.i ? u"True" : u"False") : word;
      } else if (flags & kAlphaBool) {
        out = s.i ? u"True" : u"False";
      } else {
        AppendSigned(out, s.i);  // as an Integer: True is -1
      }
      return S_OK;
    case VT_BSTR:
      out = *s.str;
      return S_OK;
    default:  // Null, Error, objects
      return DISP_E_TYPEMISMATCH;
  }
}

}  // namespace convert

UString TextOf(const Variant& value, const Locale& locale) {
  // The usual values of a record, without reading them as a Scalar first.
  UString text;
  switch (value.vt()) {
    case VT_I4: convert::AppendSigned(text, value.lVal()); return text;
    case VT_R8: convert::AppendReal(text, value.dblVal(), 15, locale.decimalSeparator); return text;
    case VT_BSTR: text = value.bstrVal(); return text;
    default: break;
  }
  Variant holder;
  convert::Scalar s;
  convert::ReadForScript(value, holder, s);
  HRESULT hr = convert::TextOfScalar(s, kLocalBool, locale, text);
  if (Failed(hr)) convert::RaiseConversionFailure(hr);
  return text;
}

}  // namespace tarnel
