// The toolbox pictures, drawn as rows of characters and encoded at compile
// time into 24-bit bottom-up BMP files (file header, information header,
// pixels), so the bytes are constant data of the library like a resource.
#include "tarneltools/control/toolbox_bitmaps.h"

#include <array>

namespace tarnel {
namespace {

constexpr int kWidth = 16;
constexpr int kHeight = 15;
constexpr int kRowBytes = kWidth * 3;  // 48: already a multiple of four
constexpr int kHeaderBytes = 14 + 40;
constexpr int kFileBytes = kHeaderBytes + kRowBytes * kHeight;

using Picture = std::array<const char*, kHeight>;
using BmpFile = std::array<std::uint8_t, kFileBytes>;

struct Rgb {
  std::uint8_t r, g, b;
};

// '.' is the toolbox's background grey, which containers show as transparent.
constexpr Rgb ColourOf(char c) {
  switch (c) {
    case '#':
      return {0, 0, 0};
    case 'y':
      return {255, 255, 128};
    case 'b':
      return {0, 64, 192};
    case 'r':
      return {192, 0, 0};
    case 'g':
      return {0, 128, 0};
    case 'w':
      return {255, 255, 255};
    default:
      return {192, 192, 192};
  }
}

constexpr void Put32(BmpFile& f, int at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) f[static_cast<std::size_t>(at + i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

constexpr BmpFile Encode(const Picture& rows) {
  BmpFile f{};
  f[0] = 'B';
  f[1] = 'M';
  Put32(f, 2, kFileBytes);
  Put32(f, 10, kHeaderBytes);
  Put32(f, 14, 40);  // information header size
  Put32(f, 18, kWidth);
  Put32(f, 22, kHeight);  // positive: rows stored bottom-up
  f[26] = 1;              // planes
  f[28] = 24;             // bits per pixel
  Put32(f, 34, kRowBytes * kHeight);
  Put32(f, 38, 2835);  // 72 dpi
  Put32(f, 42, 2835);
  for (int y = 0; y < kHeight; ++y) {
    const char* row = rows[static_cast<std::size_t>(kHeight - 1 - y)];
    for (int x = 0; x < kWidth; ++x) {
      Rgb c = ColourOf(row[x]);
      std::size_t at = static_cast<std::size_t>(kHeaderBytes + y * kRowBytes + x * 3);
      f[at] = c.b;
      f[at + 1] = c.g;
      f[at + 2] = c.r;
    }
  }
  return f;
}

// ADO: a database drum.
constexpr BmpFile kAdoBitmap = Encode({
    "................",
    "....########....",
    "..##yyyyyyyy##..",
    ".#yyyyyyyyyyyy#.",
    ".##yyyyyyyyyy##.",
    ".#b##########b#.",
    ".#bbbbbbbbbbbb#.",
    ".##bbbbbbbbbb##.",
    ".#b##########b#.",
    ".#bbbbbbbbbbbb#.",
    ".##bbbbbbbbbb##.",
    ".#b##########b#.",
    ".#bbbbbbbbbbbb#.",
    "..##bbbbbbbb##..",
    "....########....",
});

// Registry: the cube of the registry editor.
constexpr BmpFile kRegistryBitmap = Encode({
    "................",
    "......####......",
    "....##rrrr##....",
    "..##rrrrrrrr##..",
    ".#rrrrrrrrrrrr#.",
    ".#g##rrrrrr##b#.",
    ".#ggg##rr##bbb#.",
    ".#ggggg##bbbbb#.",
    ".#ggggg#bbbbbb#.",
    ".#ggggg#bbbbbb#.",
    ".#ggggg#bbbbbb#.",
    "..##ggg#bbbb##..",
    "....##g#bb##....",
    "......###.......",
    "................",
});

}  // namespace

std::span<const std::uint8_t> FindBitmapResource(std::uint32_t id) {
  if (id == kAdoBitmapId) return kAdoBitmap;
  if (id == kRegistryBitmapId) return kRegistryBitmap;
  return {};
}

}  // namespace tarnel

extern "C" int TarnelFindBitmapResource(std::uint32_t id, const std::uint8_t** data, std::size_t* size) {
  std::span<const std::uint8_t> bytes = tarnel::FindBitmapResource(id);
  if (bytes.empty() || !data || !size) return -1;
  *data = bytes.data();
  *size = bytes.size();
  return 0;
}
