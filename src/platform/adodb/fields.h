// Fields and Field: the columns of a Recordset (or of a Record) and the
// values of its current row. The Recordset owns one Fields collection for
// its whole life; the Field objects are made when rows arrive and are
// reused on every access, and they become invalid (3420) when the
// recordset closes. A Field reads its value straight from the recordset's
// row store. Apartment-thread only.
#pragma once
#include <optional>
#include <vector>

#include "platform/adodb/adodb_error.h"
#include "platform/adodb/properties.h"
#include "platform/adodb/recordset.h"

namespace tarnel::adodb {

class Field final : public DispatchObject<Field> {
 public:
  Field(Recordset* owner, std::size_t column) : owner_(owner), column_(column) {}
  static const TypeInfo& Type();
  static const CoClassInfo* Class() { return nullptr; }

  Variant Value() {
    if (!owner_) [[unlikely]]
      RaiseAdo(adErrObjectNotSet, kSrcField);
    return owner_->FieldValue(column_);
  }
  // The text of Value, as TextOf gives it under the user's locale.
  UString ValueText() {
    if (!owner_) [[unlikely]]
      RaiseAdo(adErrObjectNotSet, kSrcField);
    return owner_->FieldText(column_);
  }
  void LetValue(Variant& value);
  std::int32_t ActualSize();
  std::int32_t Attributes();
  std::int32_t DefinedSize();
  UString Name();
  std::int32_t GetType();
  Variant Precision();
  Variant NumericScale();
  void AppendChunk(Variant& data);
  Variant GetChunk(std::int32_t& length);
  Variant OriginalValue();
  Variant UnderlyingValue();
  ComPtr<Dispatch> GetProperties();
  std::int32_t Status();

  // The recordset closed or went away: every member now raises 3420.
  void Detach() { owner_ = nullptr; }

 private:
  const provider::ColumnInfo& Info();

  Recordset* owner_;
  std::size_t column_;
  std::size_t chunkOffset_ = 0;
  std::size_t chunkRow_ = static_cast<std::size_t>(-1);
  ComPtr<Properties> properties_;
};

class Fields final : public DispatchObject<Fields> {
 public:
  explicit Fields(Recordset* owner) : owner_(owner) {}
  static const TypeInfo& Type();
  static const CoClassInfo* Class() { return nullptr; }

  std::int32_t Count();
  ComPtr<Dispatch> Item(Variant& index);
  void Refresh() {}
  void Append(UString& name, std::int32_t& type, std::int32_t& definedSize, std::int32_t& attributes,
              Variant& fieldValue);
  void Delete(Variant& index);
  void Update();
  void Resync(std::int32_t& resyncValues);
  void CancelUpdate();

  // Makes one Field per column (the rows arrived).
  void BindColumns(std::size_t columnCount);
  // Invalidates the Field objects (the recordset closed).
  void Unbind();
  // The recordset is being destroyed.
  void OwnerGone();
  // The position of the column that `index` names, if any.
  std::optional<std::size_t> Find(const Variant& index);
  Field* At(std::size_t column) { return column < items_.size() ? items_[column].get() : nullptr; }

 private:
  void EnsureItems();

  Recordset* owner_;
  std::vector<ComPtr<Field>> items_;
  std::vector<UString> names_;
};

}  // namespace tarnel::adodb
