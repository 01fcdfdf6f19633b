// How the collections of the data access objects (Fields, Parameters,
// Errors, Properties) read the index of Item and Delete: a string selects by
// name, case-insensitively; any other value is coerced to a 0-based ordinal
// as a Long argument is (a Double 0.1 selects item 0); objects and arrays select nothing. Pure
// functions; any thread.
#pragma once
#include <cstddef>
#include <optional>

#include "platform/automation/variant.h"

namespace tarnel::adodb {

struct ItemIndex {
  bool byName = false;
  UString name;                  // when byName
  std::optional<std::int64_t> ordinal;  // when not byName; empty when unusable
};

ItemIndex ReadItemIndex(const Variant& index);

// The position that `index` selects among `count` items whose names `nameOf`
// gives; nothing when it selects none.
template <class NameOf>
std::optional<std::size_t> FindItem(const Variant& index, std::size_t count, NameOf nameOf) {
  ItemIndex i = ReadItemIndex(index);
  if (i.byName) {
    for (std::size_t k = 0; k < count; ++k) {
      if (EqualsNoCase(nameOf(k), i.name)) return k;
    }
    return std::nullopt;
  }
  if (!i.ordinal || *i.ordinal < 0 || static_cast<std::uint64_t>(*i.ordinal) >= count) return std::nullopt;
  return static_cast<std::size_t>(*i.ordinal);
}

}  // namespace tarnel::adodb
