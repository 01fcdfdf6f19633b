// Reading a collection index: names for strings, 0-based ordinals for
// everything that converts to a number.
#include "platform/adodb/adodb_collection.h"

#include "platform/automation/variant_convert.h"

namespace tarnel::adodb {

ItemIndex ReadItemIndex(const Variant& index) {
  ItemIndex out;
  const Variant v = index.Deref();
  if (v.vt() == VT_BSTR) {
    out.byName = true;
    out.name = v.bstrVal();
    return out;
  }
  if (v.IsArray() || v.IsObject() || v.IsEmpty() || v.IsNull() || v.vt() == VT_ERROR) return out;
  // Ordinals are coerced as any Long argument is (0.1 selects item 0).
  Variant number;
  if (Failed(ChangeType(number, v, kNoValueProp, VT_I4))) return out;
  out.ordinal = number.lVal();
  return out;
}

}  // namespace tarnel::adodb
