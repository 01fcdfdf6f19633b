// Parsing and checking of registry key paths and names, and the one table of
// root key names.
#include "platform/registry/registry_path.h"

#include <string>

#include "platform/registry/registry_error.h"

namespace tarnel {
namespace {

struct RootEntry {
  RegRoot root;
  UStringView name;
  UStringView shortName;  // empty when the root has no abbreviation
};

constexpr RootEntry kRoots[] = {
    {RegRoot::kClassesRoot, u"HKEY_CLASSES_ROOT", u"HKCR"},
    {RegRoot::kCurrentUser, u"HKEY_CURRENT_USER", u"HKCU"},
    {RegRoot::kLocalMachine, u"HKEY_LOCAL_MACHINE", u"HKLM"},
    {RegRoot::kUsers, u"HKEY_USERS", u""},
    {RegRoot::kCurrentConfig, u"HKEY_CURRENT_CONFIG", u""},
};

std::string Quoted(UStringView text) { return "'" + ToUtf8(text) + "'"; }

}  // namespace

UStringView RootName(RegRoot root) {
  for (const auto& e : kRoots) {
    if (e.root == root) return e.name;
  }
  return u"";
}

std::optional<RegRoot> RootFromName(UStringView name) {
  for (const auto& e : kRoots) {
    if (EqualsNoCase(name, e.name) || (!e.shortName.empty() && EqualsNoCase(name, e.shortName))) return e.root;
  }
  return std::nullopt;
}

UString RegKeyPath::ToString() const {
  UString out(RootName(root));
  for (const UString& n : names) {
    out += u'\\';
    out += n;
  }
  return out;
}

RegKeyPath RegKeyPath::Child(UStringView name) const {
  RegKeyPath child = *this;
  child.names.emplace_back(name);
  return child;
}

void CheckKeyName(UStringView name) {
  if (name.empty()) throw RegistryError(RegErrorCode::kInvalidParameter, "a registry key name cannot be empty");
  if (name.size() > kMaxKeyNameLength) {
    throw RegistryError(RegErrorCode::kInvalidParameter,
                        "registry key name " + Quoted(name.substr(0, 40)) + "... is longer than " +
                            std::to_string(kMaxKeyNameLength) + " characters");
  }
  for (char16_t c : name) {
    if (c == u'\\') {
      throw RegistryError(RegErrorCode::kInvalidParameter,
                          "registry key name " + Quoted(name) + " contains a backslash");
    }
    if (c < 0x20 || c == 0x7F) {
      throw RegistryError(RegErrorCode::kInvalidParameter,
                          "registry key name " + Quoted(name) + " contains a control character");
    }
  }
}

void CheckValueName(UStringView name) {
  if (name.size() > kMaxValueNameLength) {
    throw RegistryError(RegErrorCode::kInvalidParameter,
                        "registry value name " + Quoted(name.substr(0, 40)) + "... is longer than " +
                            std::to_string(kMaxValueNameLength) + " characters");
  }
  if (name.find(u'\0') != UStringView::npos) {
    throw RegistryError(RegErrorCode::kInvalidParameter, "registry value name contains a NUL character");
  }
}

RegKeyPath ParseKeyPath(UStringView path) {
  std::size_t slash = path.find(u'\\');
  UStringView rootText = path.substr(0, slash);
  std::optional<RegRoot> root = RootFromName(rootText);
  if (!root) {
    throw RegistryError(RegErrorCode::kPathNotFound,
                        rootText.empty() ? "registry key path " + Quoted(path) + " has no root key"
                                         : "unknown registry root " + Quoted(rootText) + " in key path " +
                                               Quoted(path));
  }
  RegKeyPath result;
  result.root = *root;
  if (slash == UStringView::npos) return result;
  UStringView rest = path.substr(slash + 1);
  if (rest.empty()) return result;  // "HKCU\" is the root itself
  if (rest.back() == u'\\') rest.remove_suffix(1);
  for (;;) {
    slash = rest.find(u'\\');
    UStringView name = rest.substr(0, slash);
    if (name.empty()) {
      throw RegistryError(RegErrorCode::kBadKey, "registry key path " + Quoted(path) + " has an empty key name");
    }
    try {
      CheckKeyName(name);
    } catch (const RegistryError& e) {
      throw RegistryError(RegErrorCode::kBadKey, std::string(e.what()) + " (in key path " + Quoted(path) + ")");
    }
    if (result.names.size() == kMaxKeyDepth) {
      throw RegistryError(RegErrorCode::kBadKey, "registry key path " + Quoted(path.substr(0, 60)) +
                                                     "... is deeper than " + std::to_string(kMaxKeyDepth) +
                                                     " levels");
    }
    result.names.emplace_back(name);
    if (slash == UStringView::npos) break;
    rest = rest.substr(slash + 1);
  }
  return result;
}

}  // namespace tarnel
