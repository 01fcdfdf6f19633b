// Looking behind a handle: AdoInfo hands out the connection string of the
// handle's connection or the text of its last statement in pieces of at most
// 255 characters, and AdoErrMsg one property of one of the errors that the
// connection collected. Neither catches errors: a failing ADO call fails the
// method's call with that error.
#include "platform/automation/com_error.h"
#include "platform/automation/variant_convert.h"
#include "tarneltools/ado/late_binding.h"
#include "tarneltools/control/ado_control.h"

namespace tarnel {

namespace {

// The longest piece AdoInfo hands out, the longest string a script keeps.
constexpr std::int32_t kPieceLength = 255;

// At most kPieceLength characters of `text` from the 1-based position
// `nStartChar` on; "" past the end. A start below 1 is an invalid argument.
UString PieceOf(const UString& text, std::int32_t nStartChar) {
  if (nStartChar < 1) RaiseError(5);
  const std::size_t start = static_cast<std::size_t>(nStartChar) - 1;
  if (start >= text.size()) return {};
  return text.substr(start, kPieceLength);
}

// The text of one property of an ADO Error, chosen by its exact word; ""
// for any other word.
UString ErrorProperty(Dispatch* error, const UString& sType) {
  if (sType == u"Description") return TextOf(GetProperty(error, u"Description"));
  if (sType == u"NativeError") return DecimalText(ToInt32(GetProperty(error, u"NativeError")));
  if (sType == u"Number") return DecimalText(ToInt32(GetProperty(error, u"Number")));
  if (sType == u"Source") return TextOf(GetProperty(error, u"Source"));
  if (sType == u"SQLState") return TextOf(GetProperty(error, u"SQLState"));
  return {};
}

}  // namespace

UString AdoControl::AdoInfo(std::int32_t& hADO, UString& sProperty, std::int32_t& nStartChar) {
  // The objects are held here, so a handler that runs inside a property read
  // and gives the handle back cannot pull them away.
  ComPtr<Dispatch> connection;
  ComPtr<Dispatch> recordset;
  {
    SlotPin pin(mSlots);
    if (ValidHandle(hADO)) {
      connection = mSlots[hADO].oConnection;
      recordset = mSlots[hADO].oRecordset;
    }
  }
  if (!IsNothing(connection)) {
    if (sProperty == u"ConnectionString") {
      return PieceOf(TextOf(GetProperty(connection.get(), u"ConnectionString")), nStartChar);
    }
    if (sProperty == u"Query" && !IsNothing(recordset)) {
      return PieceOf(TextOf(GetProperty(recordset.get(), u"Source")), nStartChar);
    }
  }
  // Nothing to hand out: a bad handle, another word, or no statement yet.
  RaiseHResult(kObjectErrorBase);
}

UString AdoControl::AdoErrMsg(std::int32_t& hADO, UString& sType, std::int32_t& nError) {
  // -1 stands for the handle of the statement last started; the caller's
  // variable receives that handle.
  if (hADO == -1) hADO = mhADO;
  UString result;
  if (ValidHandle(hADO)) {
    ComPtr<Dispatch> connection = mSlots[hADO].oConnection;
    const std::int32_t count = ToInt32(GetProperty(ObjectOf(GetProperty(connection.get(), u"Errors")).get(), u"Count"));
    // Only a position that names an error is looked up; any other (negative,
    // the count or beyond) leaves the result empty.
    if (nError >= 0 && nError < count) {
      ComPtr<Dispatch> errors = ObjectOf(GetProperty(connection.get(), u"Errors"));
      ComPtr<Dispatch> error =
          ObjectOf(CallByName(errors.get(), u"Item", DISPATCH_METHOD | DISPATCH_PROPERTYGET, {Variant(nError)}));
      result = ErrorProperty(error.get(), sType);
    }
  }
  DebugLog(u"AdoErrMsg(" + DecimalText(hADO) + u", '" + sType + u"', " + DecimalText(nError) + u") = '" + result +
           u"'");
  return result;
}

}  // namespace tarnel
