// The Lua state's allocator: blocks keep their contents across every
// change of size class (small to small, small to large and back), a block
// never fails to shrink, freed blocks are handed out again, and a script
// that churns through strings and tables of all sizes runs correctly.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/lua_allocator.h"

namespace tarnel::host {
namespace {

// Fills a block with a pattern that depends on its position.
void Fill(void* block, std::size_t size, unsigned char seed) {
  auto* bytes = static_cast<unsigned char*>(block);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>(seed + i * 7);
}

bool Holds(const void* block, std::size_t size, unsigned char seed) {
  const auto* bytes = static_cast<const unsigned char*>(block);
  for (std::size_t i = 0; i < size; ++i) {
    if (bytes[i] != static_cast<unsigned char>(seed + i * 7)) return false;
  }
  return true;
}

TEST(LuaAllocator, BlocksKeepTheirContentsThroughEverySizeChange) {
  LuaAllocator allocator;
  // 24 -> 40 (another small class) -> 1000 (large) -> 5000 (large) -> 100
  // (small again) -> 10 (a smaller class) -> freed.
  const std::size_t sizes[] = {24, 40, 1000, 5000, 100, 10};
  void* block = LuaAllocator::Allocate(&allocator, nullptr, LUA_TSTRING, sizes[0]);
  ASSERT_NE(block, nullptr);
  Fill(block, sizes[0], 3);
  for (std::size_t k = 1; k < std::size(sizes); ++k) {
    const std::size_t kept = std::min(sizes[k - 1], sizes[k]);
    void* moved = LuaAllocator::Allocate(&allocator, block, sizes[k - 1], sizes[k]);
    ASSERT_NE(moved, nullptr) << "to " << sizes[k];
    ASSERT_TRUE(Holds(moved, kept, 3)) << "to " << sizes[k];
    Fill(moved, sizes[k], 3);
    block = moved;
  }
  EXPECT_EQ(LuaAllocator::Allocate(&allocator, block, 10, 0), nullptr);
  EXPECT_EQ(LuaAllocator::Allocate(&allocator, nullptr, 0, 0), nullptr);
}

TEST(LuaAllocator, FreedSmallBlocksAreHandedOutAgainAndNeverOverlap) {
  LuaAllocator allocator;
  std::vector<void*> blocks;
  for (int i = 0; i < 64; ++i) {
    void* b = LuaAllocator::Allocate(&allocator, nullptr, 0, 48);
    ASSERT_NE(b, nullptr);
    Fill(b, 48, static_cast<unsigned char>(i));
    blocks.push_back(b);
  }
  for (int i = 0; i < 64; ++i) ASSERT_TRUE(Holds(blocks[i], 48, static_cast<unsigned char>(i))) << i;
  void* freed = blocks.back();
  blocks.pop_back();
  LuaAllocator::Allocate(&allocator, freed, 48, 0);
  void* again = LuaAllocator::Allocate(&allocator, nullptr, 0, 40);  // the same class
  EXPECT_EQ(again, freed);
  // Shrinking within the small blocks keeps the block, so it cannot fail.
  EXPECT_EQ(LuaAllocator::Allocate(&allocator, again, 40, 17), again);
  LuaAllocator::Allocate(&allocator, again, 17, 0);
  for (void* b : blocks) LuaAllocator::Allocate(&allocator, b, 48, 0);
}

TEST(LuaAllocator, AStateRunsOnItThroughHeavyChurn) {
  LuaAllocator allocator;
  lua_State* L = allocator.NewState();
  ASSERT_NE(L, nullptr);
  luaL_openlibs(L);
  const char* script = R"(
    local t, total = {}, 0
    for i = 1, 20000 do
      local s = ("x"):rep(i % 300) .. i        -- short and long strings
      t[i % 1000] = { s, #s, { i } }           -- tables that grow and die
      total = total + #s
    end
    local parts = {}
    for i = 1, 5000 do parts[#parts + 1] = tostring(i) end
    local joined = table.concat(parts, ",")
    assert(select(2, joined:gsub(",", "")) == 4999)
    for k, v in pairs(t) do assert(#v[1] == v[2]) end
    collectgarbage(); collectgarbage()
    return total
  )";
  ASSERT_EQ(luaL_dostring(L, script), LUA_OK) << lua_tostring(L, -1);
  long long expected = 0;
  for (int i = 1; i <= 20000; ++i) expected += i % 300 + static_cast<long long>(std::to_string(i).size());
  EXPECT_EQ(lua_tointeger(L, -1), expected);
  lua_close(L);
}

TEST(LuaAllocator, StatesWarnAsTheStandaloneInterpreterDoes) {
  LuaAllocator allocator;
  lua_State* L = allocator.NewState();
  ASSERT_NE(L, nullptr);
  luaL_openlibs(L);
  testing::internal::CaptureStderr();
  ASSERT_EQ(luaL_dostring(L, "warn('hidden'); warn('@on'); warn('shown ', 'in two'); warn('@off'); warn('gone')"),
            LUA_OK);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Lua warning: shown in two\n");
  lua_close(L);
}

}  // namespace
}  // namespace tarnel::host
