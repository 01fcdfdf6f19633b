// The Errors collection of a Connection and its Error objects.
#include "platform/adodb/errors.h"

#include "platform/adodb/adodb_collection.h"
#include "platform/adodb/adodb_error.h"
#include "platform/automation/variant_convert.h"

namespace tarnel::adodb {

Error::Error(const provider::ErrorRecord& record)
    : number_(record.number),
      source_(FromUtf8(record.source)),
      description_(FromUtf8(record.description)),
      sqlState_(FromUtf8(record.sqlState)),
      nativeError_(record.nativeError) {}

ComPtr<Error> MakeAdoError(int number, const char16_t* source) {
  return MakeObject<Error>(
      provider::ErrorRecord{ControlError(number), ToUtf8(AdoErrorText(number)), ToUtf8(source ? source : u""), "", 0});
}

void Errors::Fill(const std::vector<provider::ErrorRecord>& records) {
  if (records.empty()) return;
  std::vector<ComPtr<Error>> items;
  items.reserve(records.size());
  for (const provider::ErrorRecord& r : records) items.push_back(MakeObject<Error>(r));
  items_.swap(items);
}

std::int32_t Errors::Count() { return static_cast<std::int32_t>(items_.size()); }

ComPtr<Dispatch> Errors::Item(Variant& index) {
  // Errors have no names: a string index is read as a number.
  Variant ordinal = index.Deref();
  if (ordinal.vt() == VT_BSTR) {
    Variant number;
    if (Succeeded(ChangeType(number, ordinal, 0, VT_I4))) ordinal = number;
  }
  auto pos = FindItem(ordinal, items_.size(), [](std::size_t) { return UStringView(); });
  if (!pos) RaiseAdo(adErrItemNotFound, kSrcErrors);
  return items_[*pos];
}

}  // namespace tarnel::adodb
