// Property and Properties: the dynamic, provider-specific properties that
// every data access object exposes (Name, Type, Value, Attributes). The
// owning object fills its collection; a script reads the values and may set
// the writable ones. Apartment-thread only, like the owning object.
#pragma once
#include <vector>

#include "platform/adodb/provider/ado_types.h"
#include "platform/automation/dispatch_object.h"

namespace tarnel::adodb {

// PropertyAttributesEnum.
constexpr std::int32_t adPropRead = 512;
constexpr std::int32_t adPropWrite = 1024;

class Property final : public DispatchObject<Property> {
 public:
  Property(UString name, DataTypeEnum type, Variant value, std::int32_t attributes);
  static const TypeInfo& Type();
  static const CoClassInfo* Class() { return nullptr; }

  Variant Value() { return value_; }
  void LetValue(Variant& value);
  UString Name() { return name_; }
  std::int32_t GetType() { return type_; }
  std::int32_t Attributes() { return attributes_; }
  void LetAttributes(std::int32_t& value) { attributes_ = value; }

  const UString& NameRef() const { return name_; }
  const Variant& ValueRef() const { return value_; }

 private:
  UString name_;
  DataTypeEnum type_;
  Variant value_;
  std::int32_t attributes_;
};

class Properties final : public DispatchObject<Properties> {
 public:
  static const TypeInfo& Type();
  static const CoClassInfo* Class() { return nullptr; }

  // Adds a property, or replaces the value of the one with this name.
  void Add(UString name, DataTypeEnum type, Variant value, std::int32_t attributes = adPropRead);
  // The value of a property by name; Empty when there is none.
  Variant ValueOf(UStringView name) const;

  std::int32_t Count() { return static_cast<std::int32_t>(items_.size()); }
  ComPtr<Dispatch> Item(Variant& index);
  void Refresh() {}

 private:
  std::vector<ComPtr<Property>> items_;
};

}  // namespace tarnel::adodb
