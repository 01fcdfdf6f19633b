// Parameter and Parameters: the definition checks of Append, lookup by name
// or position, and the conversion of a parameter's value into what the
// provider binds.
#include "platform/adodb/parameters.h"

#include "platform/adodb/adodb_collection.h"
#include "platform/adodb/adodb_error.h"
#include "platform/adodb/adodb_values.h"
#include "platform/automation/variant_convert.h"

namespace tarnel::adodb {

namespace {

bool VariableLength(std::int32_t type) {
  switch (type) {
    case adChar: case adWChar: case adVarChar: case adVarWChar: case adLongVarChar: case adLongVarWChar:
    case adBinary: case adVarBinary: case adLongVarBinary:
      return true;
    default:
      return false;
  }
}

bool ValidType(std::int32_t type) {
  switch (type) {
    case adEmpty: case adSmallInt: case adInteger: case adSingle: case adDouble: case adCurrency: case adDate:
    case adBSTR: case adError: case adBoolean: case adVariant: case adDecimal: case adTinyInt:
    case adUnsignedTinyInt: case adUnsignedSmallInt: case adUnsignedInt: case adBigInt: case adUnsignedBigInt:
    case adFileTime: case adGUID: case adBinary: case adChar: case adWChar: case adNumeric: case adDBDate:
    case adDBTime: case adDBTimeStamp: case adVarNumeric: case adVarChar: case adLongVarChar: case adVarWChar:
    case adLongVarWChar: case adVarBinary: case adLongVarBinary:
      return true;
    default:
      return false;
  }
}

std::uint8_t ByteOf(const Variant& value) {
  const Variant v = value.Deref();
  if (v.vt() != VT_UI1) RaiseAdo(adErrInvalidArgument, kSrcParameter);
  Variant copy = v;
  return copy.bVal();
}

}  // namespace

void Parameter::LetValue(Variant& value) {
  const Variant v = value.Deref();
  if (v.IsMissing()) RaiseAdo(adErrInvalidArgument, kSrcParameter);
  value_ = v;
}

void Parameter::LetType(std::int32_t& value) {
  if (!ValidType(value)) RaiseAdo(adErrInvalidArgument, kSrcParameter);
  type_ = value;
}

void Parameter::LetDirection(std::int32_t& value) {
  if (value < adParamUnknown || value > adParamReturnValue) RaiseAdo(adErrInvalidArgument, kSrcParameter);
  direction_ = value;
}

void Parameter::LetPrecision(Variant& value) { precision_ = ByteOf(value); }
void Parameter::LetNumericScale(Variant& value) { numericScale_ = ByteOf(value); }

void Parameter::LetSize(std::int32_t& value) {
  if (value < 0) RaiseAdo(adErrInvalidArgument, kSrcParameter);
  size_ = value;
}

void Parameter::LetAttributes(std::int32_t& value) {
  if (value & ~(adParamSigned | adParamNullable | adParamLong)) RaiseAdo(adErrInvalidArgument, kSrcParameter);
  attributes_ = value;
}

void Parameter::AppendChunk(Variant& data) {
  const Variant piece = data.Deref();
  if (value_.IsNull() || value_.IsEmpty()) {
    value_ = piece;
    return;
  }
  if (value_.vt() == VT_BSTR) {
    Variant text;
    if (Failed(ChangeType(text, piece, 0, VT_BSTR))) RaiseAdo(adErrDataConversion, kSrcParameter);
    value_ = Variant(value_.bstrVal() + text.bstrVal());
    return;
  }
  value_ = ByteArray(BytesOfArray(value_) + BytesOfArray(piece));
}

ComPtr<Dispatch> Parameter::GetProperties() {
  if (!properties_) properties_ = MakeObject<Properties>();
  return properties_;
}

bool Parameter::WellDefined() const {
  if (type_ == adEmpty) return false;
  if (VariableLength(type_) && size_ <= 0) return false;
  return true;
}

provider::Parameter Parameter::ToProvider(const Variant* value) const {
  provider::Parameter p;
  p.name = ToUtf8(name_);
  p.type = static_cast<DataTypeEnum>(type_);
  p.direction = static_cast<ParameterDirectionEnum>(direction_);
  p.size = size_;
  p.precision = precision_;
  p.numericScale = numericScale_;
  if (direction_ == adParamOutput || direction_ == adParamReturnValue) {
    p.value = provider::Value::Null();
  } else {
    p.value = ProviderValue(value ? *value : value_, p.type);
  }
  if (p.type == adEmpty) p.type = DataTypeOfVariant(value ? *value : value_);
  return p;
}

void Parameter::TakeOutput(const provider::Value& value) {
  if (direction_ == adParamInput || direction_ == adParamUnknown) return;
  value_ = ValueVariant(value, static_cast<DataTypeEnum>(type_));
}

ComPtr<Dispatch> Parameters::Item(Variant& index) {
  auto pos = FindItem(index, items_.size(), [this](std::size_t k) {
    // Names are compared without regard to case, as field names are.
    return items_[k]->GetName();
  });
  if (!pos) RaiseAdo(adErrItemNotFound, kSrcParameters);
  return items_[*pos];
}

void Parameters::Append(Variant& object) {
  const Variant v = object.Deref();
  auto* p = v.vt() == VT_DISPATCH && v.pdispVal() ? dynamic_cast<Parameter*>(v.pdispVal()) : nullptr;
  if (!p) RaiseAdo(adErrInvalidArgument, kSrcParameters);
  for (const ComPtr<Parameter>& q : items_) {
    if (q.get() == p) RaiseAdo(adErrObjectInCollection, kSrcParameters);
  }
  if (!p->WellDefined()) RaiseAdo(adErrInvalidParamInfo, kSrcParameters);
  items_.push_back(ComPtr<Parameter>(p));
}

void Parameters::Delete(Variant& index) {
  auto pos = FindItem(index, items_.size(), [this](std::size_t k) { return items_[k]->GetName(); });
  if (!pos) RaiseAdo(adErrItemNotFound, kSrcParameters);
  items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(*pos));
}

}  // namespace tarnel::adodb
