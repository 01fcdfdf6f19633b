// The ADO control's handle table: scripts hold only numbers, so every ADO
// object a script works with lives in a slot of this table and the script
// holds the slot's index, its handle. Connection and command handles are
// slots of the same table. The table starts with 51 free slots, grows by 11
// when none is free, never shrinks and never moves a slot to another index.
// Owned by one ADO control and used on its apartment thread only. Methods may
// re-enter the control while they work through a slot, so such a method pins
// the table (SlotPin) and the table refuses to grow until it is unpinned.
#pragma once
#include <cstdint>
#include <vector>

#include "platform/automation/dispatch.h"

namespace tarnel {

// One slot of the table. A slot is in use exactly while oConnection holds a
// connection; there is no other mark.
struct AdoSlot {
  ComPtr<Dispatch> oConnection;  // the connection this handle works on
  ComPtr<Dispatch> oCommand;     // the prepared command of a command handle
  ComPtr<Dispatch> oRecordset;   // the result of the last statement
  UString sCommandText;          // text assembled piece by piece
  std::int32_t nRecordsAffected = 0;
  VariantBool bExecuting = VARIANT_FALSE;
};

class AdoSlotTable {
 public:
  static constexpr std::int32_t kInitialSlots = 51;
  static constexpr std::int32_t kGrowth = 11;

  // A table of kInitialSlots free slots, indexes 0 to 50.
  AdoSlotTable();
  AdoSlotTable(const AdoSlotTable&) = delete;
  AdoSlotTable& operator=(const AdoSlotTable&) = delete;

  // Bounds of the table; LBound is always 0.
  std::int32_t LBound() const { return 0; }
  std::int32_t UBound() const { return static_cast<std::int32_t>(slots_.size()) - 1; }
  std::int32_t Size() const { return static_cast<std::int32_t>(slots_.size()); }

  // True when handle lies within the bounds and its slot is in use.
  bool ValidHandle(std::int32_t handle) const;
  // The lowest free index; when no slot is free the table first grows by
  // kGrowth slots and the first new index is returned. The slot is not
  // marked: the caller takes it by storing its connection. Raises error 10
  // when the table must grow while it is pinned.
  std::int32_t NextFreeHandle();

  // The slot at handle, for a method that indexes the table directly:
  // raises error 9 (subscript out of range) outside the bounds.
  AdoSlot& At(std::int32_t handle);
  // The slot of a handle that ValidHandle has accepted.
  AdoSlot& operator[](std::int32_t handle) { return slots_[static_cast<std::size_t>(handle)]; }

  // Releases every slot's references and text and leaves the table empty
  // (no slot at all), as the control does when it terminates.
  void Free();

  bool Pinned() const { return pins_ > 0; }

 private:
  friend class SlotPin;
  std::vector<AdoSlot> slots_;
  int pins_ = 0;
};

// Pins a table for the lifetime of the object: while any pin exists,
// NextFreeHandle cannot grow the table, so references to slots stay valid
// across calls that may re-enter the control.
class SlotPin {
 public:
  explicit SlotPin(AdoSlotTable& table) : table_(table) { ++table_.pins_; }
  ~SlotPin() { --table_.pins_; }
  SlotPin(const SlotPin&) = delete;
  SlotPin& operator=(const SlotPin&) = delete;

 private:
  AdoSlotTable& table_;
};

// True when the object reference is empty.
inline bool IsNothing(const ComPtr<Dispatch>& object) { return !object; }
inline bool IsNothing(const Dispatch* object) { return object == nullptr; }

}  // namespace tarnel
