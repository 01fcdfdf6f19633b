// RegRead, RegWrite and RegDelete of the shell object on the registry store:
// splitting a name into key and value, converting between registry data and
// automation values, and raising the shell object's errors with its numbers
// and texts.
#include "platform/wshell/shell_registry.h"

#include "platform/automation/com_error.h"
#include "platform/automation/variant_convert.h"

namespace tarnel {
namespace {

constexpr const char16_t* kReadSource = u"WshShell.RegRead";
constexpr const char16_t* kWriteSource = u"WshShell.RegWrite";
constexpr const char16_t* kDeleteSource = u"WshShell.RegDelete";

constexpr HRESULT kFileNotFound = MakeHResult(0x80070002);
constexpr HRESULT kPathNotFound = MakeHResult(0x80070003);

UString Quoted(UStringView name) { return u"\"" + UString(name) + u"\""; }

// A name split at its last backslash: the key path before it, the value
// name after it (empty for the key's default value).
struct ShellName {
  UString key;
  UString value;
};

ShellName Split(UStringView name, const char16_t* source) {
  const std::size_t slash = name.rfind(u'\\');
  const std::size_t firstSlash = name.find(u'\\');
  // Without a backslash there is no root at all ("HKCU" alone is no name).
  if (slash == UStringView::npos || !RootFromName(name.substr(0, firstSlash))) {
    throw ComError(kPathNotFound, u"Invalid root in registry key " + Quoted(name) + u".", source);
  }
  return ShellName{UString(name.substr(0, slash)), UString(name.substr(slash + 1))};
}

// A store error as the shell object reports it: its own text for the
// operation, with the store's reason added unless the item simply is missing.
[[noreturn]] void Fail(const RegistryError& e, const UString& text, const char16_t* source) {
  UString description = text;
  if (e.code() != RegErrorCode::kFileNotFound) description += u" (" + FromUtf8(e.what()) + u")";
  throw ComError(e.HResult(), std::move(description), source);
}

Variant ArrayOf(std::vector<Variant> elements) {
  return Variant::Array(SafeArray::Vector(VT_VARIANT, std::move(elements)));
}

Variant ValueOf(const RegValue& value, UStringView name) {
  switch (value.type) {
    case REG_SZ:
    case REG_EXPAND_SZ:  // returned as stored, %VARIABLES% unexpanded
      return Variant(value.AsString());
    case REG_DWORD:
      return Variant(static_cast<std::int32_t>(value.AsDword()));
    case REG_BINARY: {
      std::vector<Variant> bytes;
      bytes.reserve(value.data.size());
      for (std::uint8_t b : value.data) bytes.push_back(Variant::UI1(b));
      return ArrayOf(std::move(bytes));
    }
    case REG_MULTI_SZ: {
      std::vector<Variant> strings;
      for (UString& s : value.AsMultiString()) strings.emplace_back(std::move(s));
      return ArrayOf(std::move(strings));
    }
    default: {
      std::string_view typeName = RegTypeName(value.type);
      UString type = typeName.empty() ? u"type " + DecimalText(value.type) : FromUtf8(typeName);
      throw ComError(DISP_E_TYPEMISMATCH,
                     u"Registry value " + Quoted(name) + u" is of " + type + u", which cannot be read.", kReadSource);
    }
  }
}

// The registry type that RegWrite's type argument names.
std::uint32_t WriteTypeOf(const Variant& type, UStringView name) {
  if (type.IsMissing()) return REG_SZ;
  const Variant& t = type.Target();
  if (t.vt() != VT_BSTR) {
    throw ComError(E_INVALIDARG, u"The registry type for " + Quoted(name) + u" must be given as a string.",
                   kWriteSource);
  }
  const UString& text = t.bstrVal();
  for (std::uint32_t candidate : {REG_SZ, REG_EXPAND_SZ, REG_DWORD, REG_BINARY}) {
    if (FromUtf8(RegTypeName(candidate)) == text) return candidate;
  }
  throw ComError(E_INVALIDARG,
                 u"Invalid registry type " + Quoted(text) + u" for " + Quoted(name) +
                     u": use REG_SZ, REG_EXPAND_SZ, REG_DWORD or REG_BINARY.",
                 kWriteSource);
}

Variant Converted(const Variant& value, VarType to) {
  Variant out;
  HRESULT hr = ChangeType(out, value, 0, to);
  if (Failed(hr)) throw ComError(hr, StandardErrorDescription(ErrorNumberFromHResult(hr)), kWriteSource);
  return out;
}

RegValue DataOf(const Variant& value, std::uint32_t type) {
  switch (type) {
    case REG_DWORD:
      return RegValue::Dword(static_cast<std::uint32_t>(Converted(value, VT_I4).lVal()));
    case REG_BINARY: {
      // At most one DWORD: the number's four bytes, least significant first.
      const auto n = static_cast<std::uint32_t>(Converted(value, VT_I4).lVal());
      const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
                                     static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 24)};
      return RegValue::Binary(bytes);
    }
    default:
      return RegValue::String(Converted(value, VT_BSTR).bstrVal(), type);
  }
}

}  // namespace

// A missing value of an existing key reads as "Unable to open registry key
// ... for reading."; a missing key gets the shell object's own wording for
// it, "Invalid root in registry key ...", which scripts written against the
// shell object may look for. Both carry 0x80070002.
Variant ShellRegRead(RegistryStore& store, UStringView name) {
  const ShellName parts = Split(name, kReadSource);
  const UString text = u"Unable to open registry key " + Quoted(name) + u" for reading.";
  std::optional<RegValue> value;
  bool keyExists = true;
  try {
    value = store.GetValue(parts.key, parts.value);
    if (!value) keyExists = store.KeyExists(parts.key);
  } catch (const RegistryError& e) {
    Fail(e, text, kReadSource);
  }
  if (!value && !keyExists) {
    throw ComError(kFileNotFound, u"Invalid root in registry key " + Quoted(name) + u".", kReadSource);
  }
  if (!value) throw ComError(kFileNotFound, text, kReadSource);
  try {
    return ValueOf(*value, name);
  } catch (const RegistryError& e) {  // data of the wrong size for its type
    Fail(e, text, kReadSource);
  }
}

void ShellRegWrite(RegistryStore& store, UStringView name, const Variant& value, const Variant& type) {
  const ShellName parts = Split(name, kWriteSource);
  const RegValue data = DataOf(value, WriteTypeOf(type, name));
  try {
    store.SetValue(parts.key, parts.value, data);
  } catch (const RegistryError& e) {
    Fail(e, u"Unable to save registry key " + Quoted(name) + u".", kWriteSource);
  }
}

void ShellRegDelete(RegistryStore& store, UStringView name) {
  const ShellName parts = Split(name, kDeleteSource);
  const UString text = u"Unable to remove registry key " + Quoted(name) + u".";
  bool deleted = false;
  try {
    deleted = parts.value.empty() ? store.DeleteKey(parts.key, false) : store.DeleteValue(parts.key, parts.value);
  } catch (const RegistryError& e) {
    Fail(e, text, kDeleteSource);
  }
  if (!deleted) throw ComError(kFileNotFound, text, kDeleteSource);
}

}  // namespace tarnel
