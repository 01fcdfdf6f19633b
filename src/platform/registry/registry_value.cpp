// Construction and reading of typed registry values: the byte layouts of the
// string, number and multi-string types, and the table of type names.
#include "platform/registry/registry_value.h"

#include <array>
#include <string>

#include "platform/registry/registry_error.h"

namespace tarnel {
namespace {

struct TypeNameEntry {
  std::uint32_t type;
  std::string_view name;
};

constexpr std::array<TypeNameEntry, 12> kTypeNames{{
    {REG_NONE, "REG_NONE"},
    {REG_SZ, "REG_SZ"},
    {REG_EXPAND_SZ, "REG_EXPAND_SZ"},
    {REG_BINARY, "REG_BINARY"},
    {REG_DWORD, "REG_DWORD"},
    {REG_DWORD_BIG_ENDIAN, "REG_DWORD_BIG_ENDIAN"},
    {REG_LINK, "REG_LINK"},
    {REG_MULTI_SZ, "REG_MULTI_SZ"},
    {REG_RESOURCE_LIST, "REG_RESOURCE_LIST"},
    {REG_FULL_RESOURCE_DESCRIPTOR, "REG_FULL_RESOURCE_DESCRIPTOR"},
    {REG_RESOURCE_REQUIREMENTS_LIST, "REG_RESOURCE_REQUIREMENTS_LIST"},
    {REG_QWORD, "REG_QWORD"},
}};

std::string TypeLabel(std::uint32_t type) {
  std::string_view name = RegTypeName(type);
  return name.empty() ? "type " + std::to_string(type) : std::string(name);
}

[[noreturn]] void WrongType(std::uint32_t actual, const char* wanted) {
  throw RegistryError(RegErrorCode::kUnsupportedType,
                      "registry value of " + TypeLabel(actual) + " cannot be read as " + wanted);
}

[[noreturn]] void WrongSize(std::uint32_t type, std::size_t size, std::size_t wanted) {
  throw RegistryError(RegErrorCode::kInvalidData, "registry value of " + TypeLabel(type) + " has " +
                                                      std::to_string(size) + " bytes of data, expected " +
                                                      std::to_string(wanted));
}

std::uint64_t LittleEndian(const std::vector<std::uint8_t>& data) {
  std::uint64_t v = 0;
  for (std::size_t i = data.size(); i-- > 0;) v = (v << 8) | data[i];
  return v;
}

void AppendLittleEndian(std::vector<std::uint8_t>& out, std::uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

}  // namespace

std::string_view RegTypeName(std::uint32_t type) {
  for (const auto& e : kTypeNames) {
    if (e.type == type) return e.name;
  }
  return {};
}

std::optional<std::uint32_t> RegTypeFromName(std::string_view name) {
  for (const auto& e : kTypeNames) {
    if (e.name == name) return e.type;
  }
  return std::nullopt;
}

std::vector<std::uint8_t> Utf16LeBytes(UStringView text) {
  std::vector<std::uint8_t> out;
  out.reserve(text.size() * 2);
  for (char16_t c : text) AppendLittleEndian(out, c, 2);
  return out;
}

UString FromUtf16LeBytes(std::span<const std::uint8_t> bytes) {
  UString out;
  out.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    out.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
  }
  return out;
}

RegValue RegValue::String(UStringView text, std::uint32_t type) {
  RegValue v{type, Utf16LeBytes(text)};
  AppendLittleEndian(v.data, 0, 2);
  return v;
}

RegValue RegValue::Dword(std::uint32_t value) {
  RegValue v{REG_DWORD, {}};
  AppendLittleEndian(v.data, value, 4);
  return v;
}

RegValue RegValue::Qword(std::uint64_t value) {
  RegValue v{REG_QWORD, {}};
  AppendLittleEndian(v.data, value, 8);
  return v;
}

RegValue RegValue::Binary(std::span<const std::uint8_t> bytes, std::uint32_t type) {
  return RegValue{type, std::vector<std::uint8_t>(bytes.begin(), bytes.end())};
}

RegValue RegValue::MultiString(const std::vector<UString>& strings) {
  RegValue v{REG_MULTI_SZ, {}};
  for (const UString& s : strings) {
    if (s.empty()) {
      throw RegistryError(RegErrorCode::kInvalidParameter,
                          "a REG_MULTI_SZ value cannot hold an empty string: it would end the list");
    }
    if (s.find(u'\0') != UString::npos) {
      throw RegistryError(RegErrorCode::kInvalidParameter,
                          "a string of a REG_MULTI_SZ value cannot contain a NUL character");
    }
    std::vector<std::uint8_t> bytes = Utf16LeBytes(s);
    v.data.insert(v.data.end(), bytes.begin(), bytes.end());
    AppendLittleEndian(v.data, 0, 2);
  }
  AppendLittleEndian(v.data, 0, 2);
  return v;
}

UString RegValue::AsString() const {
  if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_LINK) WrongType(type, "a string");
  UString text = FromUtf16LeBytes(data);
  std::size_t nul = text.find(u'\0');
  if (nul != UString::npos) text.resize(nul);
  return text;
}

std::vector<UString> RegValue::AsMultiString() const {
  if (type != REG_MULTI_SZ) WrongType(type, "a multi-string");
  UString all = FromUtf16LeBytes(data);
  std::vector<UString> out;
  std::size_t pos = 0;
  while (pos < all.size()) {
    std::size_t end = all.find(u'\0', pos);
    if (end == UString::npos) end = all.size();
    if (end == pos) break;  // an empty string ends the list
    out.emplace_back(all.substr(pos, end - pos));
    pos = end + 1;
  }
  return out;
}

std::uint32_t RegValue::AsDword() const {
  if (type != REG_DWORD && type != REG_DWORD_BIG_ENDIAN) WrongType(type, "a DWORD");
  if (data.size() != 4) WrongSize(type, data.size(), 4);
  if (type == REG_DWORD) return static_cast<std::uint32_t>(LittleEndian(data));
  return (std::uint32_t{data[0]} << 24) | (std::uint32_t{data[1]} << 16) | (std::uint32_t{data[2]} << 8) |
         std::uint32_t{data[3]};
}

std::uint64_t RegValue::AsQword() const {
  if (type == REG_DWORD || type == REG_DWORD_BIG_ENDIAN) return AsDword();
  if (type != REG_QWORD) WrongType(type, "a QWORD");
  if (data.size() != 8) WrongSize(type, data.size(), 8);
  return LittleEndian(data);
}

}  // namespace tarnel
