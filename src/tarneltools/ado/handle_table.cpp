// The handle table's procedures: validating a handle, handing out the lowest
// free one (growing the table by 11 slots when every slot is in use), and
// indexing with the subscript check of a fixed-bound array.
#include "tarneltools/ado/handle_table.h"

#include "platform/automation/com_error.h"

namespace tarnel {

AdoSlotTable::AdoSlotTable() : slots_(kInitialSlots) {}

bool AdoSlotTable::ValidHandle(std::int32_t handle) const {
  if (handle < LBound() || handle > UBound()) return false;
  return !IsNothing(slots_[static_cast<std::size_t>(handle)].oConnection);
}

std::int32_t AdoSlotTable::NextFreeHandle() {
  const std::int32_t upper = UBound();
  std::int32_t i = 0;
  for (; i <= upper; ++i) {
    if (IsNothing(slots_[static_cast<std::size_t>(i)].oConnection)) return i;
  }
  // No slot is free: grow to indexes 0 to i + 10, unless a method is working
  // through a slot, whose reference growing would invalidate.
  if (Pinned()) RaiseError(10);
  slots_.resize(static_cast<std::size_t>(i) + kGrowth);
  return i;
}

AdoSlot& AdoSlotTable::At(std::int32_t handle) {
  if (handle < LBound() || handle > UBound()) RaiseError(9);
  return slots_[static_cast<std::size_t>(handle)];
}

void AdoSlotTable::Free() {
  // Move the slots out first so that an object released here that calls
  // back into the control finds an empty table rather than a half-cleared one.
  std::vector<AdoSlot> old;
  old.swap(slots_);
  old.clear();
}

}  // namespace tarnel
