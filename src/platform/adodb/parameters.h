// Parameter and Parameters: the values a Command binds to the `?`
// placeholders of its text (or to a stored procedure's arguments), in the
// order they were appended, and the output values read back after the
// command ran. Apartment-thread only.
#pragma once
#include <vector>

#include "platform/adodb/properties.h"
#include "platform/adodb/provider/provider.h"

namespace tarnel::adodb {

class Parameter final : public DispatchObject<Parameter> {
 public:
  Parameter() = default;
  static const TypeInfo& Type();
  static const CoClassInfo* Class();

  UString GetName() { return name_; }
  void LetName(UString& value) { name_ = value; }
  Variant GetValue() { return value_; }
  void LetValue(Variant& value);
  std::int32_t GetType() { return type_; }
  void LetType(std::int32_t& value);
  std::int32_t GetDirection() { return direction_; }
  void LetDirection(std::int32_t& value);
  Variant GetPrecision() { return Variant::UI1(precision_); }
  void LetPrecision(Variant& value);
  Variant GetNumericScale() { return Variant::UI1(numericScale_); }
  void LetNumericScale(Variant& value);
  std::int32_t GetSize() { return size_; }
  void LetSize(std::int32_t& value);
  void AppendChunk(Variant& data);
  std::int32_t GetAttributes() { return attributes_; }
  void LetAttributes(std::int32_t& value);
  ComPtr<Dispatch> GetProperties();

  // What the provider binds (the value coerced to the parameter's type;
  // Null for an output parameter); `value` replaces the own value when
  // given (Command.Execute's Parameters argument).
  provider::Parameter ToProvider(const Variant* value = nullptr) const;
  // Stores the value read back for an output, input-output or
  // return-value parameter.
  void TakeOutput(const provider::Value& value);
  // Whether Append accepts it: a type, and a size for variable-length types.
  bool WellDefined() const;

 private:
  UString name_;
  std::int32_t type_ = adEmpty;
  std::int32_t direction_ = adParamInput;
  std::int32_t size_ = 0;
  std::uint8_t precision_ = 0;
  std::uint8_t numericScale_ = 0;
  std::int32_t attributes_ = 0;
  Variant value_;
  ComPtr<Properties> properties_;
};

class Parameters final : public DispatchObject<Parameters> {
 public:
  static const TypeInfo& Type();
  static const CoClassInfo* Class() { return nullptr; }

  std::int32_t Count() { return static_cast<std::int32_t>(items_.size()); }
  ComPtr<Dispatch> Item(Variant& index);
  void Refresh() {}
  void Append(Variant& object);
  void Delete(Variant& index);

  const std::vector<ComPtr<Parameter>>& Items() const { return items_; }

 private:
  std::vector<ComPtr<Parameter>> items_;
};

}  // namespace tarnel::adodb
