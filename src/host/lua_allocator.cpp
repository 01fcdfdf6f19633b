// Size-classed free lists for a Lua state's small blocks, and the panic
// and warning functions that the standard auxiliary library gives the
// states it makes.
#include "host/lua_allocator.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tarnel::host {
namespace {

int Panic(lua_State* L) {
  const char* message = lua_type(L, -1) == LUA_TSTRING ? lua_tostring(L, -1) : "error object is not a string";
  std::fprintf(stderr, "PANIC: unprotected error in call to Lua API (%s)\n", message);
  std::fflush(stderr);
  return 0;  // Lua aborts
}

// Warnings, as the stand-alone interpreter shows them: off until a
// control message "@on", pieces of one message joined, each message on
// its own line of standard error.
void WarnOff(void* ud, const char* message, int toContinue);
void WarnOn(void* ud, const char* message, int toContinue);
void WarnContinue(void* ud, const char* message, int toContinue);

bool ControlMessage(lua_State* L, const char* message, int toContinue) {
  if (toContinue || *message != '@') return false;
  if (std::strcmp(message, "@off") == 0) lua_setwarnf(L, WarnOff, L);
  if (std::strcmp(message, "@on") == 0) lua_setwarnf(L, WarnOn, L);
  return true;  // unknown control messages are ignored
}

void WarnOff(void* ud, const char* message, int toContinue) {
  ControlMessage(static_cast<lua_State*>(ud), message, toContinue);
}

void WarnContinue(void* ud, const char* message, int toContinue) {
  auto* L = static_cast<lua_State*>(ud);
  std::fputs(message, stderr);
  if (toContinue) {
    lua_setwarnf(L, WarnContinue, L);
  } else {
    std::fputs("\n", stderr);
    std::fflush(stderr);
    lua_setwarnf(L, WarnOn, L);
  }
}

void WarnOn(void* ud, const char* message, int toContinue) {
  if (ControlMessage(static_cast<lua_State*>(ud), message, toContinue)) return;
  std::fputs("Lua warning: ", stderr);
  WarnContinue(ud, message, toContinue);
}

}  // namespace

LuaAllocator::~LuaAllocator() {
  for (void*& head : free_) {
    while (void* block = head) {
      head = *static_cast<void**>(block);
      std::free(block);
    }
  }
}

lua_State* LuaAllocator::NewState() {
  lua_State* L = lua_newstate(&LuaAllocator::Allocate, this);
  if (L) {
    lua_atpanic(L, Panic);
    lua_setwarnf(L, WarnOff, L);
  }
  return L;
}

void* LuaAllocator::TakeSmall(std::size_t sizeClass) noexcept {
  if (void* block = free_[sizeClass]) {
    free_[sizeClass] = *static_cast<void**>(block);
    return block;
  }
  return std::malloc(sizeClass * kGranule);
}

void LuaAllocator::GiveSmall(void* block, std::size_t sizeClass) noexcept {
  *static_cast<void**>(block) = free_[sizeClass];
  free_[sizeClass] = block;
}

// Every block on the free list of a class holds at least the class's full
// size, so it serves any request of that class. Lua relies on a block never
// failing to shrink, which keeping the block (or a realloc that only
// shrinks) guarantees.
void* LuaAllocator::Allocate(void* ud, void* block, std::size_t oldSize, std::size_t newSize) noexcept {
  auto* self = static_cast<LuaAllocator*>(ud);
  // Without a block, oldSize tells the kind of object, not a size.
  if (!block) oldSize = 0;
  if (newSize == 0) {
    if (!block) return nullptr;
    if (oldSize <= kMaxSmall) {
      self->GiveSmall(block, ClassOf(oldSize));
    } else {
      std::free(block);
    }
    return nullptr;
  }
  if (block && newSize <= oldSize) {
    if (oldSize <= kMaxSmall) return block;  // a smaller class can take it back later
    const std::size_t keep = newSize > kMaxSmall ? newSize : ClassOf(newSize) * kGranule;
    void* shrunk = std::realloc(block, keep);
    return shrunk ? shrunk : block;
  }
  if (newSize > kMaxSmall) {
    if (block && oldSize > kMaxSmall) return std::realloc(block, newSize);
    void* grown = std::malloc(newSize);
    if (grown && block) {
      std::memcpy(grown, block, oldSize);
      self->GiveSmall(block, ClassOf(oldSize));
    }
    return grown;
  }
  const std::size_t sizeClass = ClassOf(newSize);
  if (block && ClassOf(oldSize) == sizeClass) return block;
  void* fresh = self->TakeSmall(sizeClass);
  if (fresh && block) {
    std::memcpy(fresh, block, oldSize);
    self->GiveSmall(block, ClassOf(oldSize));
  }
  return fresh;
}

}  // namespace tarnel::host
