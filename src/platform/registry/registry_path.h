// Registry key paths: "HKEY_CLASSES_ROOT\CLSID\{...}\InprocServer32" split
// into a root and key names, the table of root names, and the rules for key
// and value names. Pure functions; safe on any thread.
#pragma once
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/automation/ustring.h"

namespace tarnel {

// The predefined root keys, numbered as their handles on Windows.
enum class RegRoot : std::uint32_t {
  kClassesRoot = 0x80000000u,
  kCurrentUser = 0x80000001u,
  kLocalMachine = 0x80000002u,
  kUsers = 0x80000003u,
  kCurrentConfig = 0x80000005u,
};

inline constexpr RegRoot kAllRoots[] = {RegRoot::kClassesRoot, RegRoot::kCurrentUser, RegRoot::kLocalMachine,
                                        RegRoot::kUsers, RegRoot::kCurrentConfig};

// Limits of the Windows registry, enforced by the store.
constexpr std::size_t kMaxKeyNameLength = 255;
constexpr std::size_t kMaxValueNameLength = 16383;
constexpr std::size_t kMaxKeyDepth = 512;

// The full name, "HKEY_CLASSES_ROOT" and so on.
UStringView RootName(RegRoot root);
// A root by its full name or by HKCR, HKCU or HKLM, in any letter case.
std::optional<RegRoot> RootFromName(UStringView name);

struct RegKeyPath {
  RegRoot root = RegRoot::kCurrentUser;
  std::vector<UString> names;  // the keys below the root, outermost first

  // "HKEY_CURRENT_USER\Software\App" with the full root name.
  UString ToString() const;
  RegKeyPath Child(UStringView name) const;
};

// Splits a key path: a root, then key names separated by single
// backslashes; one trailing backslash is allowed. Throws RegistryError:
// kPathNotFound for an unknown or missing root, kBadKey for an empty or
// invalid key name or a path deeper than kMaxKeyDepth.
RegKeyPath ParseKeyPath(UStringView path);

// Throw RegistryError kInvalidParameter with a message naming the problem.
// A key name is 1 to 255 characters, no backslash, no control characters;
// a value name is at most 16383 characters and no NUL ("" is the default value).
void CheckKeyName(UStringView name);
void CheckValueName(UStringView name);

}  // namespace tarnel
