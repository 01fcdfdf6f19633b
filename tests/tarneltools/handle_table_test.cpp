// The handle table: its bounds and growth (51, 62, 73 slots), the lowest
// free handle first, the refusal of every kind of bad handle, the subscript
// check of direct indexing, pinning against growth (error 10), and the
// release of every slot's objects when the table is freed.
#include "tarneltools/ado/handle_table.h"

#include <gtest/gtest.h>

#include <climits>

#include "platform/automation/com_error.h"
#include "test_objects.h"

namespace tarnel {
namespace {

// Takes slot h as AdoConnect does: by storing a connection into it.
void Occupy(AdoSlotTable& table, std::int32_t h, const ComPtr<Dispatch>& connection) {
  table[h].oConnection = connection;
}

TEST(AdoSlotTable, StartsWithFiftyOneFreeSlots) {
  AdoSlotTable table;
  EXPECT_EQ(table.LBound(), 0);
  EXPECT_EQ(table.UBound(), 50);
  EXPECT_EQ(table.NextFreeHandle(), 0);
  EXPECT_EQ(table.NextFreeHandle(), 0) << "handing out a handle does not take the slot";
  const AdoSlot& slot = table.At(50);
  EXPECT_FALSE(slot.oConnection || slot.oCommand || slot.oRecordset);
  EXPECT_TRUE(slot.sCommandText.empty());
  EXPECT_EQ(slot.nRecordsAffected, 0);
  EXPECT_EQ(slot.bExecuting, VARIANT_FALSE);
}

TEST(AdoSlotTable, RefusesEveryKindOfBadHandle) {
  AdoSlotTable table;
  auto connection = TestObject::Make();
  for (std::int32_t h : {-1, INT_MIN, INT_MAX, 51, 0}) EXPECT_FALSE(table.ValidHandle(h)) << h;
  Occupy(table, 0, connection);
  EXPECT_TRUE(table.ValidHandle(0));
  EXPECT_FALSE(table.ValidHandle(1));
  // A slot given back is free again.
  table[0].oConnection.Reset();
  EXPECT_FALSE(table.ValidHandle(0));
}

TEST(AdoSlotTable, GrowsByElevenWhenEverySlotIsTaken) {
  AdoSlotTable table;
  auto connection = TestObject::Make();
  for (std::int32_t expected = 0; expected < 51; ++expected) {
    std::int32_t h = table.NextFreeHandle();
    ASSERT_EQ(h, expected);
    Occupy(table, h, connection);
  }
  EXPECT_EQ(table.UBound(), 50);
  EXPECT_EQ(table.NextFreeHandle(), 51);
  EXPECT_EQ(table.UBound(), 61);
  for (std::int32_t h = 51; h <= 61; ++h) Occupy(table, h, connection);
  EXPECT_EQ(table.NextFreeHandle(), 62);
  EXPECT_EQ(table.Size(), 73);
  // Growth keeps every slot with its content at its index.
  EXPECT_EQ(table[17].oConnection.get(), connection.get());
  EXPECT_TRUE(table.ValidHandle(61));
  EXPECT_FALSE(table.ValidHandle(62));
}

TEST(AdoSlotTable, HandsOutTheLowestFreeIndexFirst) {
  AdoSlotTable table;
  auto connection = TestObject::Make();
  for (std::int32_t h = 0; h <= 10; ++h) Occupy(table, h, connection);
  EXPECT_EQ(table.NextFreeHandle(), 11);
  table[7].oConnection.Reset();
  table[3].oConnection.Reset();
  EXPECT_EQ(table.NextFreeHandle(), 3);
  Occupy(table, 3, connection);
  EXPECT_EQ(table.NextFreeHandle(), 7);
}

TEST(AdoSlotTable, DirectIndexingOutsideTheBoundsIsSubscriptOutOfRange) {
  AdoSlotTable table;
  for (std::int32_t h : {-1, INT_MIN, 51, INT_MAX}) {
    try {
      table.At(h);
      ADD_FAILURE() << "no error for " << h;
    } catch (const ComError& e) {
      EXPECT_EQ(e.Number(), 9);
      EXPECT_EQ(e.Description(), u"Subscript out of range");
    }
  }
  EXPECT_NO_THROW(table.At(0));
}

TEST(AdoSlotTable, PinnedTableRefusesToGrowButStillHandsOutFreeSlots) {
  AdoSlotTable table;
  auto connection = TestObject::Make();
  for (std::int32_t h = 0; h < 50; ++h) Occupy(table, h, connection);
  {
    SlotPin pin(table);
    AdoSlot& held = table[10];
    EXPECT_EQ(table.NextFreeHandle(), 50) << "a free slot needs no growth";
    Occupy(table, 50, connection);
    try {
      table.NextFreeHandle();
      ADD_FAILURE() << "growth while pinned";
    } catch (const ComError& e) {
      EXPECT_EQ(e.Number(), 10);
      EXPECT_EQ(e.Description(), u"This array is fixed or temporarily locked");
    }
    EXPECT_EQ(table.UBound(), 50);
    EXPECT_EQ(&held, &table[10]) << "the slot a method holds did not move";
    {
      SlotPin nested(table);
      EXPECT_TRUE(table.Pinned());
    }
    EXPECT_TRUE(table.Pinned()) << "the outer pin still holds";
  }
  EXPECT_FALSE(table.Pinned());
  EXPECT_EQ(table.NextFreeHandle(), 51);
  EXPECT_EQ(table.UBound(), 61);
}

TEST(AdoSlotTable, FreeReleasesEverySlotsObjects) {
  auto connection = TestObject::Make();
  auto command = TestObject::Make();
  auto recordset = TestObject::Make();
  {
    AdoSlotTable table;
    Occupy(table, 0, connection);
    Occupy(table, 4, connection);  // a command slot shares its connection
    table[4].oCommand = command;
    table[4].oRecordset = recordset;
    table[4].sCommandText = u"SELECT 1";
    EXPECT_EQ(TestObject::Refs(connection), 3u);
    table.Free();
    EXPECT_EQ(table.Size(), 0);
    EXPECT_FALSE(table.ValidHandle(0));
    EXPECT_EQ(TestObject::Refs(connection), 1u);
    EXPECT_EQ(TestObject::Refs(command), 1u);
    EXPECT_EQ(TestObject::Refs(recordset), 1u);
  }
}

TEST(IsNothing, TellsEmptyReferencesFromObjects) {
  ComPtr<Dispatch> empty;
  EXPECT_TRUE(IsNothing(empty));
  EXPECT_TRUE(IsNothing(static_cast<Dispatch*>(nullptr)));
  auto object = TestObject::Make();
  EXPECT_FALSE(IsNothing(ComPtr<Dispatch>(object)));
}

}  // namespace
}  // namespace tarnel
