// Tests of registry key path parsing: root names and abbreviations, the
// errors for unknown roots and malformed paths, and the name limits.
#include <gtest/gtest.h>

#include "platform/registry/registry_error.h"
#include "platform/registry/registry_path.h"

namespace tarnel {
namespace {

RegErrorCode ParseError(UStringView path) {
  try {
    ParseKeyPath(path);
  } catch (const RegistryError& e) {
    return e.code();
  }
  ADD_FAILURE() << "path was accepted: " << ToUtf8(path);
  return RegErrorCode::kFileNotFound;
}

TEST(RegistryPathTest, RootsByFullAndShortNameInAnyCase) {
  EXPECT_EQ(ParseKeyPath(u"HKEY_CLASSES_ROOT").root, RegRoot::kClassesRoot);
  EXPECT_EQ(ParseKeyPath(u"hkcr\\CLSID").root, RegRoot::kClassesRoot);
  EXPECT_EQ(ParseKeyPath(u"HKCU\\Software").root, RegRoot::kCurrentUser);
  EXPECT_EQ(ParseKeyPath(u"HKLM\\Software").root, RegRoot::kLocalMachine);
  EXPECT_EQ(ParseKeyPath(u"HKEY_USERS\\.DEFAULT").root, RegRoot::kUsers);
  EXPECT_EQ(ParseKeyPath(u"Hkey_Current_Config").root, RegRoot::kCurrentConfig);
  // Abbreviations exist only for the three roots that have them.
  EXPECT_EQ(ParseError(u"HKU\\x"), RegErrorCode::kPathNotFound);
  EXPECT_EQ(ParseError(u"HKCC\\x"), RegErrorCode::kPathNotFound);
}

TEST(RegistryPathTest, SplitsNamesAndFormatsWithFullRoot) {
  RegKeyPath p = ParseKeyPath(u"HKCR\\CLSID\\{0}\\InprocServer32");
  EXPECT_EQ(p.names, (std::vector<UString>{u"CLSID", u"{0}", u"InprocServer32"}));
  EXPECT_EQ(p.ToString(), u"HKEY_CLASSES_ROOT\\CLSID\\{0}\\InprocServer32");
  EXPECT_EQ(ParseKeyPath(u"HKCU\\A\\").names, std::vector<UString>{u"A"});
  EXPECT_TRUE(ParseKeyPath(u"HKCU\\").names.empty());
  EXPECT_EQ(p.Child(u"x").ToString(), u"HKEY_CLASSES_ROOT\\CLSID\\{0}\\InprocServer32\\x");
}

TEST(RegistryPathTest, RejectsBadRootsAndNames) {
  EXPECT_EQ(ParseError(u""), RegErrorCode::kPathNotFound);
  EXPECT_EQ(ParseError(u"\\Software"), RegErrorCode::kPathNotFound);
  EXPECT_EQ(ParseError(u"NOROOT\\x"), RegErrorCode::kPathNotFound);
  EXPECT_EQ(ParseError(u"HKEY_CURRENT_USERa"), RegErrorCode::kPathNotFound);
  EXPECT_EQ(ParseError(u"HKCU\\A\\\\B"), RegErrorCode::kBadKey);
  EXPECT_EQ(ParseError(u"HKCU\\\\"), RegErrorCode::kBadKey);
  EXPECT_EQ(ParseError(u"HKCU\\A\\\\"), RegErrorCode::kBadKey);
  EXPECT_EQ(ParseError(u"HKCU\\bad\u0001name"), RegErrorCode::kBadKey);
  EXPECT_EQ(ParseError(UString(u"HKCU\\") + UString(256, u'k')), RegErrorCode::kBadKey);
  EXPECT_NO_THROW(ParseKeyPath(UString(u"HKCU\\") + UString(255, u'k')));
  UString deep = u"HKCU";
  for (std::size_t i = 0; i <= kMaxKeyDepth; ++i) deep += u"\\k";
  EXPECT_EQ(ParseError(deep), RegErrorCode::kBadKey);
}

TEST(RegistryPathTest, ValueNameLimits) {
  EXPECT_NO_THROW(CheckValueName(u""));
  EXPECT_NO_THROW(CheckValueName(u"with\\backslash"));
  EXPECT_THROW(CheckValueName(UStringView(u"a\0b", 3)), RegistryError);
  EXPECT_THROW(CheckValueName(UString(kMaxValueNameLength + 1, u'v')), RegistryError);
}

}  // namespace
}  // namespace tarnel
