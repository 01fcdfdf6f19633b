// The library's bitmap resources: the toolbox pictures of its two controls,
// 16 by 15 pixels each, as complete BMP files (resource 30000 for Registry,
// 30001 for ADO). A container finds them by number through the exported
// function TarnelFindBitmapResource, as registration's ToolboxBitmap32 entry
// names them. Immutable static data; safe on any thread.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

namespace tarnel {

inline constexpr std::uint32_t kRegistryBitmapId = 30000;
inline constexpr std::uint32_t kAdoBitmapId = 30001;

// The BMP bytes of bitmap resource id; empty when there is none.
std::span<const std::uint8_t> FindBitmapResource(std::uint32_t id);

}  // namespace tarnel

// C entry point for containers: sets *data and *size and returns 0 when the
// library has bitmap resource id, else returns -1 and leaves them alone.
extern "C" int TarnelFindBitmapResource(std::uint32_t id, const std::uint8_t** data, std::size_t* size);
