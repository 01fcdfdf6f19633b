// Walking the result set that a handle's last statement left in its slot:
// moving the current record, reading one field of it as text with its type,
// precision and scale, and the field and record counts. AdoNext and
// AdoGetField are a script's inner loop, so they call the platform's
// recordset directly, remember where they found a field by name, and form
// their lines only when they will be written.
#include <climits>

#include "platform/automation/com_error.h"
#include "platform/automation/variant_convert.h"
#include "tarneltools/ado/ado_binding.h"
#include "tarneltools/control/ado_control.h"

namespace tarnel {

namespace {

constexpr std::int32_t kNoError = 0;
constexpr std::int32_t kBadHandleSpecified = 269;
constexpr std::int32_t kInvalidArgument = 274;
constexpr std::int32_t kEOF = 294;
// The base of object-defined error numbers (0x80040000).
constexpr HRESULT kObjectDefinedError = MakeHResult(0x80040000);

enum class Movement { First, Last, Next, Previous };

// The movement a word names, compared exactly (case and blanks count).
std::optional<Movement> MovementOf(const UString& word) {
  if (word == u"First") return Movement::First;
  if (word == u"Last") return Movement::Last;
  if (word == u"Next") return Movement::Next;
  if (word == u"Previous") return Movement::Previous;
  return std::nullopt;
}

// One field of a recordset, by name or ordinal, through the calls by name
// that any recordset answers.
ComPtr<Dispatch> LateBoundField(Dispatch* recordset, const Variant& index) {
  Variant fields = CallByName(recordset, u"Fields", DISPATCH_PROPERTYGET);
  if (!fields.Target().IsObject() || !fields.Target().pdispVal()) RaiseError(91);
  Variant field = CallByName(fields.Target().pdispVal(), u"Item", DISPATCH_METHOD | DISPATCH_PROPERTYGET, {index});
  if (!field.Target().IsObject() || !field.Target().pdispVal()) RaiseError(91);
  return ComPtr<Dispatch>(field.Target().pdispVal());
}

// The Field object of the platform's recordset for `index`.
ComPtr<Dispatch> EarlyBoundField(adodb::Recordset& recordset, Variant& index) {
  ComPtr<Dispatch> fields = recordset.GetFields();
  return static_cast<adodb::Fields*>(fields.get())->Item(index);
}

// At most this many fields are remembered per control; more than a query's
// columns, so that a few handles walked side by side all hit.
constexpr std::size_t kFieldLookups = 32;

// The field named `name` of the platform recordset `recordset`, as
// remembered in `lookups`, or null. An entry holds the recordset's Fields
// collection and the Field it found; it still answers while that Field is
// the collection's field at its column. The collection makes new Field
// objects whenever it binds columns anew, empties itself when its recordset
// goes away, and the entry's references keep both from being mistaken for
// new ones; so a hit is the field the collection itself would find, of the
// same live recordset.
const AdoFieldLookup* RememberedField(const std::vector<AdoFieldLookup>& lookups, std::size_t& next,
                                      Dispatch* recordset, const UString& name) {
  // A script reads the fields of each record in the same order, so the
  // search starts after the entry found last.
  const std::size_t count = lookups.size();
  if (next >= count) next = 0;
  for (std::size_t k = 0, i = next; k < count; ++k, i = i + 1 == count ? 0 : i + 1) {
    const AdoFieldLookup& entry = lookups[i];
    if (entry.recordset == recordset && entry.name == name &&
        static_cast<Dispatch*>(static_cast<adodb::Fields*>(entry.fields.get())->At(entry.column)) ==
            entry.field.get()) {
      next = i + 1;
      return &entry;
    }
  }
  return nullptr;
}

// A byte property (Precision, NumericScale) as 0 to 255.
std::int32_t ByteValue(const Variant& value) {
  if (value.vt() == VT_UI1) return const_cast<Variant&>(value).bVal();
  return ToInt32(value);
}

// Type, precision and scale of a field of the platform's recordset.
void ReadShape(adodb::Field& field, std::int32_t& type, std::int32_t& precision, std::int32_t& scale) {
  type = field.GetType();
  precision = ByteValue(field.Precision());
  scale = ByteValue(field.NumericScale());
}

// The field named `name` of the platform's recordset by the collection's
// own lookup, which raises what Item raises; remembered in `lookups`, and
// the entry in *entry (null when the field is not a column's own).
adodb::Field* FindField(std::vector<AdoFieldLookup>& lookups, Dispatch* recordset, adodb::Recordset& early,
                        const UString& name, const AdoFieldLookup** entry) {
  *entry = nullptr;
  ComPtr<Dispatch> holder = early.GetFields();
  auto* fields = static_cast<adodb::Fields*>(holder.get());
  Variant index(name);  // by name: the index stays a string
  ComPtr<Dispatch> item = fields->Item(index);
  auto* field = static_cast<adodb::Field*>(item.get());
  const std::optional<std::size_t> column = fields->Find(index);
  if (!field || !column || static_cast<Dispatch*>(fields->At(*column)) != item.get()) return field;
  AdoFieldLookup remembered{recordset, name, holder, *column, item};
  ReadShape(*field, remembered.type, remembered.precision, remembered.scale);
  if (lookups.size() >= kFieldLookups) lookups.clear();
  lookups.push_back(std::move(remembered));
  *entry = &lookups.back();
  return field;
}

Variant FieldProperty(Dispatch* field, UStringView name) { return CallByName(field, name, DISPATCH_PROPERTYGET); }

}  // namespace

std::int32_t AdoControl::AdoMove(std::int32_t& hADO, UString& sType) {
  if (!ValidHandle(hADO)) return kBadHandleSpecified;
  Dispatch* recordset = mSlots[hADO].oRecordset.get();
  if (IsNothing(recordset)) return kBadHandleSpecified;
  const std::optional<Movement> movement = MovementOf(sType);
  if (!movement) return kInvalidArgument;
  // Moving may raise events that reach the container and call back into
  // the control, so the recordset is held for the duration of the move.
  ComPtr<Dispatch> keep;
  bool bof = false;
  bool eof = false;
  if (auto* early = HoldEarlyBound<adodb::Recordset>(recordset, adodb::Recordset::Type().Id(), keep)) {
    switch (*movement) {
      case Movement::First: early->MoveFirst(); break;
      case Movement::Last: early->MoveLast(); break;
      case Movement::Next: early->MoveNext(); break;
      case Movement::Previous: early->MovePrevious(); break;
    }
    bof = early->GetBOF();
    eof = early->GetEOF();
  } else {
    static constexpr const char16_t* kMethods[] = {u"MoveFirst", u"MoveLast", u"MoveNext", u"MovePrevious"};
    CallByName(recordset, kMethods[static_cast<int>(*movement)], DISPATCH_METHOD);
    bof = ToBool(CallByName(recordset, u"BOF", DISPATCH_PROPERTYGET));
    eof = ToBool(CallByName(recordset, u"EOF", DISPATCH_PROPERTYGET));
  }
  return bof || eof ? kEOF : kNoError;
}

std::int32_t AdoControl::AdoNext(std::int32_t& hADO) {
  UString next = u"Next";
  const std::int32_t result = AdoMove(hADO, next);
  if (DebugModeOn()) DebugLog(u"AdoNext(" + DecimalText(hADO) + u") = " + DecimalText(result));
  return result;
}

UString AdoControl::AdoGetField(std::int32_t& hADO, UString& sField, std::int32_t& nType, std::int32_t& nPrecision,
                                std::int32_t& nScale) {
  const bool logging = DebugModeOn();
  if (logging) DebugLog(u"AdoGetField() Begin");
  const bool valid = ValidHandle(hADO);
  if (valid && !IsNothing(mSlots[hADO].oRecordset)) {
    Dispatch* recordset = mSlots[hADO].oRecordset.get();
    UString text;
    std::int32_t type = 0;
    std::int32_t precision = 0;
    std::int32_t scale = 0;
    const AdoFieldLookup* entry = RememberedField(mFieldLookups, mFieldLookupNext, recordset, sField);
    adodb::Field* field = entry ? static_cast<adodb::Field*>(entry->field.get()) : nullptr;
    if (!field) {
      if (adodb::Recordset* early = AsRecordset(recordset)) {
        field = FindField(mFieldLookups, recordset, *early, sField, &entry);
      }
    }
    if (field) {
      // Reading a field of the platform's recordset runs no other code, so
      // the slot's reference keeps it alive throughout.
      text = field->ValueText();
      if (entry) {
        type = entry->type;
        precision = entry->precision;
        scale = entry->scale;
      } else {
        ReadShape(*field, type, precision, scale);
      }
    } else {
      // Another implementation may call back into the control: it is held
      // for the duration of the calls.
      ComPtr<Dispatch> keep(recordset);
      Variant index(sField);  // by name: the index stays a string
      ComPtr<Dispatch> lateField = LateBoundField(recordset, index);
      text = TextOf(FieldProperty(lateField.get(), u"Value"));
      type = ToInt32(FieldProperty(lateField.get(), u"Type"));
      precision = ToInt32(FieldProperty(lateField.get(), u"Precision"));
      scale = ToInt32(FieldProperty(lateField.get(), u"NumericScale"));
    }
    // The value converted without failing: only now are the out-parameters
    // written.
    nType = type;
    nPrecision = precision;
    nScale = scale;
    if (logging) {
      DebugLog(u"AdoGetField(" + DecimalText(hADO) + u", '" + sField + u"', " + DecimalText(nType) + u", " +
               DecimalText(nPrecision) + u", " + DecimalText(nScale) + u") = " + text);
    }
    return text;
  }
  // The line names the statement last started, not the handle given.
  if (!valid && logging) DebugLog(u"AdoGetField(" + DecimalText(mhADO) + u") Invalid Handle");
  nType = 0;
  nPrecision = 0;
  nScale = 0;
  RaiseHResult(kObjectDefinedError);
}

std::int32_t AdoControl::AdoNoFields(std::int32_t& hADO) {
  std::int32_t result = -1;
  try {
    if (ValidHandle(hADO)) {
      Dispatch* recordset = mSlots[hADO].oRecordset.get();
      if (IsNothing(recordset)) RaiseError(91);
      if (adodb::Recordset* early = AsRecordset(recordset)) {
        ComPtr<Dispatch> fields = early->GetFields();
        result = static_cast<adodb::Fields*>(fields.get())->Count();
      } else {
        Variant fields = CallByName(recordset, u"Fields", DISPATCH_PROPERTYGET);
        if (!fields.Target().IsObject() || !fields.Target().pdispVal()) RaiseError(91);
        result = ToInt32(CallByName(fields.Target().pdispVal(), u"Count", DISPATCH_PROPERTYGET));
      }
    }
  } catch (const ComError& e) {
    if (DebugModeOn()) {
      DebugLog(u"AdoNoFields(" + DecimalText(hADO) + u") Error " + DecimalText(e.Number()) + u" " + e.Description());
    }
    return -1;
  }
  if (DebugModeOn()) DebugLog(u"AdoNoFields(" + DecimalText(hADO) + u") = " + DecimalText(result));
  return result;
}

std::int32_t AdoControl::AdoFieldInfo(std::int32_t& hADO, std::int32_t& nField, UString& sName,
                                      std::int32_t& nSize) {
  // The lines name the call as it was made (nothing below changes hADO or
  // nField); they are formed only when they will be written.
  auto call = [&] { return u"AdoFieldInfo(" + DecimalText(hADO) + u", " + DecimalText(nField) + u")"; };
  if (DebugModeOn()) DebugLog(call() + u" Begin");
  std::int32_t result = kBadHandleSpecified;
  try {
    if (ValidHandle(hADO) && !IsNothing(mSlots[hADO].oRecordset)) {
      ComPtr<Dispatch> recordset = mSlots[hADO].oRecordset;
      if (nField == INT32_MIN) RaiseError(6);  // nField - 1 overflows
      Variant index(nField - 1);
      ComPtr<Dispatch> field;
      if (adodb::Recordset* early = AsRecordset(recordset.get())) {
        field = EarlyBoundField(*early, index);
      } else {
        field = LateBoundField(recordset.get(), index);
      }
      sName = TextOf(FieldProperty(field.get(), u"Name"));
      nSize = ToInt32(FieldProperty(field.get(), u"DefinedSize"));
      result = kNoError;
    }
  } catch (const ComError& e) {
    if (DebugModeOn()) DebugLog(call() + u" Error " + DecimalText(e.Number()) + u" " + e.Description());
    result = kBadHandleSpecified;
  }
  if (result == kBadHandleSpecified) {
    sName.clear();
    nSize = 0;
  }
  return result;
}

std::int32_t AdoControl::AdoRecordCount(std::int32_t& hADO) {
  if (!ValidHandle(hADO)) return -1;
  Dispatch* recordset = mSlots[hADO].oRecordset.get();
  if (IsNothing(recordset)) return -1;
  if (adodb::Recordset* early = AsRecordset(recordset)) return early->GetRecordCount();
  return ToInt32(CallByName(recordset, u"RecordCount", DISPATCH_PROPERTYGET));
}

}  // namespace tarnel
