// The dynamic property collections of the data access objects.
#include "platform/adodb/properties.h"

#include "platform/adodb/adodb_collection.h"
#include "platform/adodb/adodb_error.h"

namespace tarnel::adodb {

namespace {
constexpr int adErrPropNotSettable = 3745;
}

Property::Property(UString name, DataTypeEnum type, Variant value, std::int32_t attributes)
    : name_(std::move(name)), type_(type), value_(std::move(value)), attributes_(attributes) {}

void Property::LetValue(Variant& value) {
  if (!(attributes_ & adPropWrite)) RaiseAdo(adErrPropNotSettable, kSrcProperties, u"The property cannot be set.");
  value_ = value.Deref();
}

void Properties::Add(UString name, DataTypeEnum type, Variant value, std::int32_t attributes) {
  for (ComPtr<Property>& p : items_) {
    if (EqualsNoCase(p->NameRef(), name)) {
      p = MakeObject<Property>(std::move(name), type, std::move(value), attributes);
      return;
    }
  }
  items_.push_back(MakeObject<Property>(std::move(name), type, std::move(value), attributes));
}

Variant Properties::ValueOf(UStringView name) const {
  for (const ComPtr<Property>& p : items_) {
    if (EqualsNoCase(p->NameRef(), name)) return p->ValueRef();
  }
  return Variant();
}

ComPtr<Dispatch> Properties::Item(Variant& index) {
  auto pos = FindItem(index, items_.size(), [this](std::size_t k) { return UStringView(items_[k]->NameRef()); });
  if (!pos) RaiseAdo(adErrItemNotFound, kSrcProperties);
  return items_[*pos];
}

}  // namespace tarnel::adodb
