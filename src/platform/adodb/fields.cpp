// Fields and Field: column metadata, the collection's lookup by name or
// ordinal, the definitions of a fabricated recordset (Append / Delete while
// closed) and the chunk access of long values.
#include "platform/adodb/fields.h"

#include <algorithm>

#include "platform/adodb/adodb_collection.h"
#include "platform/adodb/adodb_values.h"
#include "platform/automation/variant_convert.h"

namespace tarnel::adodb {

namespace {

// The precision and scale a fabricated field of this type reports.
void DefaultPrecision(provider::ColumnInfo& c) {
  switch (c.type) {
    case adTinyInt:
    case adUnsignedTinyInt: c.precision = 3; break;
    case adSmallInt:
    case adUnsignedSmallInt: c.precision = 5; break;
    case adInteger:
    case adUnsignedInt: c.precision = 10; break;
    case adBigInt: c.precision = 19; break;
    case adUnsignedBigInt: c.precision = 20; break;
    case adSingle: c.precision = 7; break;
    case adDouble: c.precision = 15; break;
    case adCurrency: c.precision = 19; break;
    case adDecimal:
    case adNumeric:
      c.precision = 18;
      c.numericScale = 0;
      return;
    default: break;
  }
}

bool KnownType(std::int32_t type) {
  switch (type) {
    case adSmallInt: case adInteger: case adSingle: case adDouble: case adCurrency: case adDate:
    case adBSTR: case adError: case adBoolean: case adVariant: case adDecimal: case adTinyInt:
    case adUnsignedTinyInt: case adUnsignedSmallInt: case adUnsignedInt: case adBigInt:
    case adUnsignedBigInt: case adFileTime: case adGUID: case adBinary: case adChar: case adWChar:
    case adNumeric: case adDBDate: case adDBTime: case adDBTimeStamp: case adVarNumeric:
    case adVarChar: case adLongVarChar: case adVarWChar: case adLongVarWChar: case adVarBinary:
    case adLongVarBinary:
      return true;
    default:
      return false;
  }
}

}  // namespace

// --- Field ---------------------------------------------------------------

const provider::ColumnInfo& Field::Info() {
  if (!owner_) RaiseAdo(adErrObjectNotSet, kSrcField);
  return owner_->Column(column_);
}

void Field::LetValue(Variant& value) {
  if (!owner_) RaiseAdo(adErrObjectNotSet, kSrcField);
  ComPtr<Recordset> keep(owner_);
  owner_->SetFieldValue(column_, value);
}

std::int32_t Field::ActualSize() {
  if (!owner_) RaiseAdo(adErrObjectNotSet, kSrcField);
  return owner_->ActualSize(column_);
}

std::int32_t Field::Attributes() { return Info().attributes; }
std::int32_t Field::DefinedSize() { return Info().definedSize; }
UString Field::Name() { return FromUtf8(Info().name); }
std::int32_t Field::GetType() { return Info().type; }
Variant Field::Precision() { return Variant::UI1(Info().precision); }
Variant Field::NumericScale() { return Variant::UI1(Info().numericScale); }

Variant Field::OriginalValue() {
  if (!owner_) RaiseAdo(adErrObjectNotSet, kSrcField);
  return owner_->OriginalValue(column_);
}

Variant Field::UnderlyingValue() { return OriginalValue(); }

ComPtr<Dispatch> Field::GetProperties() {
  if (!properties_) {
    // The client cursor's dynamic field properties: where the column comes
    // from, when the provider knows it.
    const provider::ColumnInfo& info = Info();
    properties_ = MakeObject<Properties>();
    properties_->Add(u"BASESCHEMANAME", adVarWChar, Variant(FromUtf8(info.baseSchema)));
    properties_->Add(u"BASETABLENAME", adVarWChar, Variant(FromUtf8(info.baseTable)));
    properties_->Add(u"BASECOLUMNNAME", adVarWChar, Variant(FromUtf8(info.baseColumn)));
    properties_->Add(u"KEYCOLUMN", adBoolean, Variant((info.attributes & (adFldKeyColumn | adFldRowID)) != 0));
  }
  return properties_;
}

std::int32_t Field::Status() {
  Info();
  return 0;  // adFieldOK
}

void Field::AppendChunk(Variant& data) {
  if (!owner_) RaiseAdo(adErrObjectNotSet, kSrcField);
  ComPtr<Recordset> keep(owner_);
  Variant current = owner_->FieldValue(column_);
  const Variant piece = data.Deref();
  if (current.IsNull() || current.IsEmpty()) {
    owner_->SetFieldValue(column_, piece);
    return;
  }
  if (current.vt() == VT_BSTR) {
    Variant text;
    if (Failed(ChangeType(text, piece, 0, VT_BSTR))) RaiseAdo(adErrDataConversion, kSrcField);
    owner_->SetFieldValue(column_, Variant(current.bstrVal() + text.bstrVal()));
    return;
  }
  owner_->SetFieldValue(column_, ByteArray(BytesOfArray(current) + BytesOfArray(piece)));
}

Variant Field::GetChunk(std::int32_t& length) {
  if (!owner_) RaiseAdo(adErrObjectNotSet, kSrcField);
  if (length < 0) RaiseAdo(adErrInvalidArgument, kSrcField);
  Variant current = owner_->FieldValue(column_);
  // Successive calls read on from where the last one stopped, until the
  // cursor moves to another row.
  if (owner_->CurrentRowId() != chunkRow_) {
    chunkRow_ = owner_->CurrentRowId();
    chunkOffset_ = 0;
  }
  if (current.IsNull()) return Variant::Null();
  const std::size_t want = static_cast<std::size_t>(length);
  if (current.vt() == VT_BSTR) {
    const UString& text = current.bstrVal();
    if (chunkOffset_ >= text.size()) return Variant::Null();
    UString piece = text.substr(chunkOffset_, want);
    chunkOffset_ += piece.size();
    return Variant(std::move(piece));
  }
  const std::string bytes = BytesOfArray(current);
  if (chunkOffset_ >= bytes.size()) return Variant::Null();
  std::string piece = bytes.substr(chunkOffset_, want);
  chunkOffset_ += piece.size();
  return ByteArray(piece);
}

// --- Fields --------------------------------------------------------------

void Fields::EnsureItems() {
  if (!owner_ || !items_.empty() || owner_->IsOpen()) return;
  // A fabricated recordset's definitions are visible before it opens.
  if (!owner_->Definitions().empty()) BindColumns(owner_->Definitions().size());
}

std::int32_t Fields::Count() {
  EnsureItems();
  return static_cast<std::int32_t>(items_.size());
}

std::optional<std::size_t> Fields::Find(const Variant& index) {
  EnsureItems();
  return FindItem(index, items_.size(), [this](std::size_t k) { return UStringView(names_[k]); });
}

ComPtr<Dispatch> Fields::Item(Variant& index) {
  auto pos = Find(index);
  if (!pos) RaiseAdo(adErrItemNotFound, kSrcFields);
  return items_[*pos];
}

void Fields::BindColumns(std::size_t columnCount) {
  Unbind();
  items_.reserve(columnCount);
  names_.reserve(columnCount);
  for (std::size_t i = 0; i < columnCount; ++i) {
    items_.push_back(MakeObject<Field>(owner_, i));
    names_.push_back(FromUtf8(owner_->Column(i).name));
  }
}

void Fields::Unbind() {
  for (ComPtr<Field>& f : items_) f->Detach();
  items_.clear();
  names_.clear();
}

void Fields::OwnerGone() {
  Unbind();
  owner_ = nullptr;
}

void Fields::Append(UString& name, std::int32_t& type, std::int32_t& definedSize, std::int32_t& attributes,
                    Variant&) {
  if (!owner_) RaiseAdo(adErrObjectNotSet, kSrcFields);
  if (owner_->IsOpen() || owner_->GetState() != adStateClosed) RaiseAdo(adErrObjectOpen, kSrcFields);
  if (owner_->HasConnection()) RaiseAdo(adErrIllegalOperation, kSrcFields);
  if (name.empty() || !KnownType(type) || definedSize < 0) RaiseAdo(adErrInvalidArgument, kSrcFields);
  std::vector<provider::ColumnInfo>& defs = owner_->Definitions();
  for (const provider::ColumnInfo& c : defs) {
    if (EqualsNoCase(FromUtf8(c.name), name)) RaiseAdo(adErrObjectInCollection, kSrcFields);
  }
  provider::ColumnInfo column;
  column.name = ToUtf8(name);
  column.type = static_cast<DataTypeEnum>(type);
  column.definedSize = definedSize;
  DefaultPrecision(column);
  column.attributes = attributes == adFldUnspecified ? (adFldUpdatable | adFldIsNullable | adFldMayBeNull)
                                                     : (attributes | adFldUpdatable);
  Unbind();
  defs.push_back(std::move(column));
}

void Fields::Delete(Variant& index) {
  if (!owner_) RaiseAdo(adErrObjectNotSet, kSrcFields);
  if (owner_->IsOpen()) RaiseAdo(adErrObjectOpen, kSrcFields);
  std::vector<provider::ColumnInfo>& defs = owner_->Definitions();
  auto pos = FindItem(index, defs.size(), [&](std::size_t k) { return FromUtf8(defs[k].name); });
  if (!pos) RaiseAdo(adErrItemNotFound, kSrcFields);
  Unbind();
  defs.erase(defs.begin() + static_cast<std::ptrdiff_t>(*pos));
}

// The field-level batch members belong to Record objects.
void Fields::Update() { RaiseAdo(adErrFeatureNotAvailable, kSrcFields); }
void Fields::Resync(std::int32_t&) { RaiseAdo(adErrFeatureNotAvailable, kSrcFields); }
void Fields::CancelUpdate() { RaiseAdo(adErrFeatureNotAvailable, kSrcFields); }

}  // namespace tarnel::adodb
