// Typed registry values: the type number and the data bytes exactly as the
// Windows registry keeps them (REG_SZ as UTF-16LE text with its terminating
// NUL, REG_DWORD as four little-endian bytes), with constructors and typed
// accessors for the common types. Plain value types; safe on any thread.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "platform/automation/ustring.h"

namespace tarnel {

constexpr std::uint32_t REG_NONE = 0;
constexpr std::uint32_t REG_SZ = 1;
constexpr std::uint32_t REG_EXPAND_SZ = 2;
constexpr std::uint32_t REG_BINARY = 3;
constexpr std::uint32_t REG_DWORD = 4;
constexpr std::uint32_t REG_DWORD_BIG_ENDIAN = 5;
constexpr std::uint32_t REG_LINK = 6;
constexpr std::uint32_t REG_MULTI_SZ = 7;
constexpr std::uint32_t REG_RESOURCE_LIST = 8;
constexpr std::uint32_t REG_FULL_RESOURCE_DESCRIPTOR = 9;
constexpr std::uint32_t REG_RESOURCE_REQUIREMENTS_LIST = 10;
constexpr std::uint32_t REG_QWORD = 11;

// "REG_SZ" for 1 and so on; empty for a number without a name.
std::string_view RegTypeName(std::uint32_t type);
// The type number of a name such as "REG_DWORD" (exact, upper case).
std::optional<std::uint32_t> RegTypeFromName(std::string_view name);

struct RegValue {
  std::uint32_t type = REG_NONE;
  std::vector<std::uint8_t> data;

  // Text as UTF-16LE with one terminating NUL (REG_SZ, REG_EXPAND_SZ, REG_LINK).
  static RegValue String(UStringView text, std::uint32_t type = REG_SZ);
  static RegValue Dword(std::uint32_t value);
  static RegValue Qword(std::uint64_t value);
  // Raw bytes under any type (REG_BINARY, REG_NONE, or a type without its own constructor).
  static RegValue Binary(std::span<const std::uint8_t> bytes, std::uint32_t type = REG_BINARY);
  // Each string NUL-terminated, then one more NUL. An empty string in the
  // list would end it early when read back, so it is rejected
  // (RegistryError kInvalidParameter).
  static RegValue MultiString(const std::vector<UString>& strings);

  // The text of REG_SZ, REG_EXPAND_SZ or REG_LINK data, up to the first NUL
  // (data without a terminator is read to its end; an odd last byte is ignored).
  // REG_EXPAND_SZ text is returned unexpanded.
  UString AsString() const;
  // The strings of REG_MULTI_SZ data, up to the first empty string.
  std::vector<UString> AsMultiString() const;
  // REG_DWORD (little-endian) or REG_DWORD_BIG_ENDIAN data of exactly four bytes.
  std::uint32_t AsDword() const;
  // REG_QWORD data of exactly eight bytes, or a DWORD as above.
  std::uint64_t AsQword() const;
  // Every accessor throws RegistryError kUnsupportedType for another type and
  // kInvalidData for data of the wrong size.

  bool operator==(const RegValue&) const = default;
};

// A value of a key together with its name as it was first written.
struct RegValueInfo {
  UString name;  // empty for the key's default value
  RegValue value;
};

// UTF-16 text as little-endian bytes, without a terminator, and back (an odd
// last byte is ignored). Used for registry data and for stored names.
std::vector<std::uint8_t> Utf16LeBytes(UStringView text);
UString FromUtf16LeBytes(std::span<const std::uint8_t> bytes);

}  // namespace tarnel
