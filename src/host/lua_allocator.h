// The memory of a Lua state. Scripts allocate and free great numbers of
// small blocks (every string a record's field becomes, every call's
// frame), so blocks of up to kMaxSmall bytes are kept on free lists by
// size class and handed out again without a trip through malloc; larger
// blocks go to malloc directly. The blocks on the free lists are returned
// to the heap when the allocator is destroyed, after lua_close has handed
// every block back.
// One allocator per Lua state; not thread-safe, as the state is not.
#pragma once
#include <cstddef>

#include <lua.hpp>

namespace tarnel::host {

class LuaAllocator {
 public:
  LuaAllocator() = default;
  ~LuaAllocator();
  LuaAllocator(const LuaAllocator&) = delete;
  LuaAllocator& operator=(const LuaAllocator&) = delete;

  // A new Lua state that allocates through this allocator, with the panic
  // and warning functions of the standard auxiliary library's states
  // (warnings off until "@on"); null when memory runs out.
  lua_State* NewState();

  // The lua_Alloc function; ud is the allocator.
  static void* Allocate(void* ud, void* block, std::size_t oldSize, std::size_t newSize) noexcept;

 private:
  static constexpr std::size_t kGranule = 16;
  static constexpr std::size_t kMaxSmall = 256;
  static constexpr std::size_t kClasses = kMaxSmall / kGranule + 1;

  static std::size_t ClassOf(std::size_t size) { return (size + kGranule - 1) / kGranule; }
  void* TakeSmall(std::size_t sizeClass) noexcept;
  void GiveSmall(void* block, std::size_t sizeClass) noexcept;

  void* free_[kClasses] = {};  // per class, linked through each block's first word
};

}  // namespace tarnel::host
