// GUIDs: class, interface and library identifiers, parsed from and printed
// as the registry form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarnel {

struct Guid {
  std::uint32_t data1 = 0;
  std::uint16_t data2 = 0;
  std::uint16_t data3 = 0;
  std::array<std::uint8_t, 8> data4{};

  friend bool operator==(const Guid&, const Guid&) = default;
  bool IsNull() const { return *this == Guid{}; }

  // "{00000514-0000-0010-8000-00AA006D2EA4}" (upper-case hex, braces).
  std::string ToString() const;
  // Accepts the form above with or without braces, any case.
  static std::optional<Guid> Parse(std::string_view text);
};

// A GUID from the 36 characters of its text form, which the caller has
// checked ("XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX", hex digits in any case).
constexpr Guid GuidFromDigits(const char* s) {
  auto hex = [](char c) -> std::uint32_t {
    return c >= '0' && c <= '9' ? std::uint32_t(c - '0')
           : c >= 'a' && c <= 'f' ? std::uint32_t(c - 'a' + 10)
                                  : std::uint32_t(c - 'A' + 10);
  };
  auto read = [&](int from, int count) {
    std::uint32_t v = 0;
    for (int i = 0; i < count; ++i) v = v * 16 + hex(s[from + i]);
    return v;
  };
  Guid g;
  g.data1 = read(0, 8);
  g.data2 = static_cast<std::uint16_t>(read(9, 4));
  g.data3 = static_cast<std::uint16_t>(read(14, 4));
  g.data4[0] = static_cast<std::uint8_t>(read(19, 2));
  g.data4[1] = static_cast<std::uint8_t>(read(21, 2));
  for (int i = 0; i < 6; ++i) g.data4[2 + i] = static_cast<std::uint8_t>(read(24 + 2 * i, 2));
  return g;
}

// A GUID from its text at compile time; the text must be well formed.
consteval Guid MakeGuid(const char (&s)[37]) { return GuidFromDigits(s); }

struct GuidHash {
  std::size_t operator()(const Guid& g) const noexcept {
    std::size_t h = g.data1 ^ (std::size_t(g.data2) << 16) ^ (std::size_t(g.data3) << 32);
    for (auto b : g.data4) h = h * 131 + b;
    return h;
  }
};

}  // namespace tarnel
