// The ADO control's members over its keyed store: adding, removing and
// reading items by key or position, and building and reading a long text
// under one key piece by piece. Each member forms its diagnostic line in
// full and hands it to DebugLog.
#include "platform/automation/com_error.h"
#include "platform/automation/variant_convert.h"
#include "tarneltools/control/ado_control.h"

namespace tarnel {

namespace {

// " [<TypeName>]" as the lines show a value's type.
UString Bracketed(const Variant& v) { return u"[" + TypeName(v) + u"]"; }

}  // namespace

Variant AdoControl::CollectionAdd(UString& sName, Variant& vItem) {
  try {
    moCollection->Add(sName, vItem);
    if (vItem.IsObject()) {
      DebugLog(u"CollectionAdd(" + sName + u", " + Bracketed(vItem) + u")");
    } else {
      DebugLog(u"CollectionAdd(" + sName + u", " + TextOf(vItem) + u" " + Bracketed(vItem) + u")");
    }
    DebugLog(u"CollectionCount = " + DecimalText(moCollection->Count()));
  } catch (const ComError& e) {
    DebugLog(u"CollectionAdd(" + sName + u", " + Bracketed(vItem) + u") Error: " + e.Description());
    DebugLog(u"CollectionAdd() CollectionCount = " + DecimalText(moCollection->Count()));
  }
  return Variant();
}

Variant AdoControl::CollectionRemove(UString& sName) {
  moCollection->Remove(Variant(sName));
  DebugLog(u"CollectionRemove(" + sName + u")");
  DebugLog(u"CollectionRemove() CollectionCount = " + DecimalText(moCollection->Count()));
  return Variant();
}

Variant AdoControl::CollectionGetItem(Variant& vItem) {
  try {
    const Variant& item = moCollection->Item(vItem);
    Variant result = item;  // a reference for objects, a copy otherwise
    if (result.IsObject()) {
      DebugLog(u"CollectionGet[Object]Item(" + TextOf(vItem) + u" " + Bracketed(vItem) + u") = " + Bracketed(result));
    } else {
      DebugLog(u"CollectionGet[Variable]Item(" + TextOf(vItem) + u" " + Bracketed(vItem) + u") = " +
               TextOf(result) + u" " + Bracketed(result));
    }
    return result;
  } catch (const ComError& e) {
    DebugLog(u"CollectionGetItem(" + TextOf(vItem) + u") Error: " + e.Description());
    return Variant();
  }
}

std::int32_t AdoControl::CollectionCount() { return moCollection->Count(); }

bool AdoControl::CollectionItemExists(Variant& vItem) {
  if (!moCollection->Exists(vItem)) return false;
  DebugLog(u"CollectionItemExists(" + TextOf(vItem) + u") = " + TextOf(Variant(true)));
  return true;
}

Variant AdoControl::CollectionStringAppend(UString& sName, UString& sValue) {
  moCollection->AppendText(sName, sValue);
  DebugLog(u"CollectionStringAppend(" + sName + u", " + sValue + u")");
  return Variant();
}

std::int32_t AdoControl::CollectionStringLength(UString& sName) {
  const Variant& item = moCollection->Item(Variant(sName));
  std::size_t length = item.vt() == VT_BSTR ? item.Target().bstrVal().size() : TextOf(item).size();
  if (length > 0x7FFFFFFF) RaiseError(6);
  auto result = static_cast<std::int32_t>(length);
  DebugLog(u"CollectionStringLength(" + sName + u") = " + DecimalText(result));
  return result;
}

UString AdoControl::CollectionStringMid(UString& sName, std::int32_t& nStartChar, Variant& nLength) {
  // An omitted length reads the rest of the text, as Mid does.
  const bool toEnd = nLength.IsMissing();
  const std::int32_t length = toEnd ? 0 : nLength.lVal();
  if (nStartChar < 1 || length < 0) RaiseError(5);
  const Variant& item = moCollection->Item(Variant(sName));
  UString piece;
  auto cut = [&](const UString& text) {
    std::size_t start = static_cast<std::size_t>(nStartChar) - 1;
    if (start < text.size()) piece = text.substr(start, toEnd ? UString::npos : static_cast<std::size_t>(length));
  };
  if (item.vt() == VT_BSTR) {
    cut(item.Target().bstrVal());  // no copy of a long text per piece
  } else {
    cut(TextOf(item));
  }
  DebugLog(u"CollectionStringMid(" + sName + u", " + DecimalText(nStartChar) + u", " +
           (toEnd ? UString() : DecimalText(length)) + u") = " + piece);
  return piece;
}

}  // namespace tarnel
