// The shell object "WScript.Shell" on the registry store: its name syntax
// (roots, key and value, trailing backslash), the values RegRead returns for
// each registry type, what RegWrite stores for each type string, RegDelete of
// values and keys, and the error numbers, texts and sources of each failure.
#include "platform/wshell/wshell.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "platform/automation/activation.h"
#include "platform/automation/com_error.h"
#include "platform/registry/registry_store.h"

namespace tarnel {
namespace {

constexpr std::int32_t kNotFound = -2147024894;     // 0x80070002
constexpr std::int32_t kInvalidRoot = -2147024893;  // 0x80070003
constexpr std::int32_t kAccessDenied = 70;          // 0x80070005, Permission denied
constexpr const char16_t* kKey = u"HKEY_CURRENT_USER\\Software\\ShellTest";

class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "tarnel-wshell-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir = pattern;
    RegistryStore::SetProcessPath((dir / "registry.db").string());
    RegisterShellClasses();
    shell = CreateObject(u"WScript.Shell");
  }
  void TearDown() override {
    shell.Reset();
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }

  RegistryStore& Store() { return RegistryStore::Process(); }
  Variant Read(UStringView name) {
    return CallByName(shell.get(), u"RegRead", DISPATCH_METHOD, {Variant(UString(name))});
  }
  void Write(UStringView name, Variant value, Variant type) {
    CallByName(shell.get(), u"RegWrite", DISPATCH_METHOD, {Variant(UString(name)), std::move(value), std::move(type)});
  }
  void Delete(UStringView name) { CallByName(shell.get(), u"RegDelete", DISPATCH_METHOD, {Variant(UString(name))}); }
  static ComError ErrorOf(const std::function<void()>& call) {
    try {
      call();
    } catch (const ComError& e) {
      return e;
    }
    ADD_FAILURE() << "the call did not fail";
    return ComError(S_OK, u"");
  }
  static std::vector<Variant> Elements(const Variant& array) {
    EXPECT_EQ(array.vt(), VT_ARRAY | VT_VARIANT);
    if (!array.IsArray()) return {};
    EXPECT_EQ(array.parray()->LBound(0), 0);
    return array.parray()->Elements();
  }

  std::filesystem::path dir;
  ComPtr<Dispatch> shell;
};

TEST_F(ShellTest, ReadsStringsAndNumbers) {
  Store().SetValue(kKey, u"Text", RegValue::String(u"hello"));
  Store().SetValue(kKey, u"Cut", RegValue::Binary(std::vector<std::uint8_t>{'a', 0, 0, 0, 'b', 0, 0, 0}, REG_SZ));
  Store().SetValue(kKey, u"Path", RegValue::String(u"%HOME%\\bin", REG_EXPAND_SZ));
  Store().SetValue(kKey, u"Number", RegValue::Dword(0xFFFFFFFFu));
  Store().SetValue(kKey, u"", RegValue::String(u"the default"));

  EXPECT_EQ(Read(u"HKCU\\Software\\ShellTest\\Text").bstrVal(), u"hello");
  EXPECT_EQ(Read(u"HKCU\\Software\\ShellTest\\Cut").bstrVal(), u"a") << "text stops at the first NUL";
  EXPECT_EQ(Read(u"HKCU\\Software\\ShellTest\\Path").bstrVal(), u"%HOME%\\bin") << "expandable text unexpanded";
  Variant n = Read(u"HKCU\\Software\\ShellTest\\Number");
  EXPECT_EQ(n.vt(), VT_I4);
  EXPECT_EQ(n.lVal(), -1);
  EXPECT_EQ(Read(u"HKCU\\Software\\ShellTest\\").bstrVal(), u"the default");
  EXPECT_EQ(Read(u"hkey_current_user\\software\\shelltest\\TEXT").bstrVal(), u"hello") << "names ignore case";
}

TEST_F(ShellTest, ReadsBinaryAndMultiStringAsArraysOfVariants) {
  Store().SetValue(kKey, u"Bin", RegValue::Binary(std::vector<std::uint8_t>{1, 0xFF, 7}));
  Store().SetValue(kKey, u"NoBytes", RegValue::Binary(std::vector<std::uint8_t>{}));
  Store().SetValue(kKey, u"Multi", RegValue::MultiString({u"a", u"bc"}));
  Store().SetValue(kKey, u"NoStrings", RegValue::Binary(std::vector<std::uint8_t>{0, 0}, REG_MULTI_SZ));

  std::vector<Variant> bytes = Elements(Read(u"HKCU\\Software\\ShellTest\\Bin"));
  ASSERT_EQ(bytes.size(), 3u);
  EXPECT_EQ(bytes[0].vt(), VT_UI1);
  EXPECT_EQ(bytes[1].bVal(), 0xFF);
  EXPECT_EQ(bytes[2].bVal(), 7);
  Variant none = Read(u"HKCU\\Software\\ShellTest\\NoBytes");
  EXPECT_EQ(none.parray()->UBound(0), -1);

  std::vector<Variant> strings = Elements(Read(u"HKCU\\Software\\ShellTest\\Multi"));
  ASSERT_EQ(strings.size(), 2u);
  EXPECT_EQ(strings[0].vt(), VT_BSTR);
  EXPECT_EQ(strings[1].bstrVal(), u"bc");
  Variant empty = Read(u"HKCU\\Software\\ShellTest\\NoStrings");
  EXPECT_EQ(empty.parray()->UBound(0), -1);
}

TEST_F(ShellTest, OtherRegistryTypesCannotBeRead) {
  Store().SetValue(kKey, u"Q", RegValue::Qword(5));
  Store().SetValue(kKey, u"N", RegValue::Binary(std::vector<std::uint8_t>{1}, REG_NONE));
  for (const char16_t* name : {u"HKCU\\Software\\ShellTest\\Q", u"HKCU\\Software\\ShellTest\\N"}) {
    ComError e = ErrorOf([&] { Read(name); });
    EXPECT_EQ(e.Number(), 13);
    EXPECT_EQ(e.Source(), u"WshShell.RegRead");
  }
  ComError q = ErrorOf([&] { Read(u"HKCU\\Software\\ShellTest\\Q"); });
  EXPECT_EQ(q.Description(), u"Registry value \"HKCU\\Software\\ShellTest\\Q\" is of REG_QWORD, which cannot be read.");
  // A DWORD whose data has the wrong size is refused with the store's reason.
  Store().SetValue(kKey, u"Short", RegValue::Binary(std::vector<std::uint8_t>{1, 2, 3}, REG_DWORD));
  ComError shortDword = ErrorOf([&] { Read(u"HKCU\\Software\\ShellTest\\Short"); });
  EXPECT_EQ(shortDword.Number(), -2147024883);  // 0x8007000D
  EXPECT_NE(shortDword.Description().find(u"Unable to open registry key"), UString::npos);
}

TEST_F(ShellTest, AcceptsTheLongAndShortRootNames) {
  const char16_t* names[] = {u"HKEY_CURRENT_USER", u"HKCU", u"HKEY_LOCAL_MACHINE", u"HKLM",
                             u"HKEY_CLASSES_ROOT", u"HKCR", u"HKEY_USERS",         u"HKEY_CURRENT_CONFIG"};
  for (const char16_t* root : names) {
    UString name = UString(root) + u"\\RootTest\\V";
    Write(name, Variant(UString(root)), Variant::Missing());
    EXPECT_EQ(Read(name).bstrVal(), root);
  }
  EXPECT_EQ(Read(u"HKEY_CURRENT_USER\\RootTest\\V").bstrVal(), u"HKCU") << "HKCU is HKEY_CURRENT_USER";
}

TEST_F(ShellTest, UnknownRootsAndNamesWithoutRootAreInvalidRoots) {
  for (const char16_t* name :
       {u"HKCU", u"HKEY_CURRENT_USERa", u"NOROOT\\x", u"HKU\\x", u"HKCC\\Software\\x", u"\\Software\\x", u""}) {
    ComError e = ErrorOf([&] { Read(name); });
    EXPECT_EQ(e.Number(), kInvalidRoot) << ToUtf8(name);
    EXPECT_EQ(e.Description(), u"Invalid root in registry key \"" + UString(name) + u"\".");
    EXPECT_EQ(e.Source(), u"WshShell.RegRead");
    EXPECT_EQ(ErrorOf([&] { Write(name, Variant(1), Variant(u"REG_DWORD")); }).Number(), kInvalidRoot);
    EXPECT_EQ(ErrorOf([&] { Delete(name); }).Source(), u"WshShell.RegDelete");
  }
}

TEST_F(ShellTest, MissingKeysAndValuesAreNotFound) {
  Store().SetValue(kKey, u"There", RegValue::String(u"x"));
  // A missing value of an existing key, or its unset default value.
  for (const char16_t* name : {u"HKCU\\Software\\ShellTest\\Missing", u"HKCU\\Software\\ShellTest\\"}) {
    ComError e = ErrorOf([&] { Read(name); });
    EXPECT_EQ(e.Number(), kNotFound) << ToUtf8(name);
    EXPECT_EQ(e.Description(), u"Unable to open registry key \"" + UString(name) + u"\" for reading.");
  }
  // A missing key: the shell object words it as an invalid root.
  for (const char16_t* name : {u"HKCU\\Software\\NoSuchKey\\Value", u"HKCU\\Software\\NoSuchKey\\"}) {
    ComError e = ErrorOf([&] { Read(name); });
    EXPECT_EQ(e.Number(), kNotFound) << ToUtf8(name);
    EXPECT_EQ(e.Description(), u"Invalid root in registry key \"" + UString(name) + u"\".");
  }
}

TEST_F(ShellTest, WritesEachTypeAsItsTypeStringSays) {
  Write(u"HKCU\\Software\\ShellTest\\Sz", Variant(12), Variant::Missing());
  EXPECT_EQ(Store().GetValue(kKey, u"Sz"), RegValue::String(u"12")) << "omitted type is REG_SZ";
  Write(u"HKCU\\Software\\ShellTest\\Empty", Variant(), Variant(u"REG_SZ"));
  EXPECT_EQ(Store().GetValue(kKey, u"Empty"), RegValue::String(u""));
  Write(u"HKCU\\Software\\ShellTest\\Exp", Variant(u"%PATH%"), Variant(u"REG_EXPAND_SZ"));
  EXPECT_EQ(Store().GetValue(kKey, u"Exp"), RegValue::String(u"%PATH%", REG_EXPAND_SZ));
  Write(u"HKCU\\Software\\ShellTest\\Dw", Variant(u"42"), Variant(u"REG_DWORD"));
  EXPECT_EQ(Store().GetValue(kKey, u"Dw"), RegValue::Dword(42));
  Write(u"HKCU\\Software\\ShellTest\\Neg", Variant(-2), Variant(u"REG_DWORD"));
  EXPECT_EQ(Store().GetValue(kKey, u"Neg"), RegValue::Dword(0xFFFFFFFEu));
  Write(u"HKCU\\Software\\ShellTest\\Bin", Variant(0x01020304), Variant(u"REG_BINARY"));
  EXPECT_EQ(Store().GetValue(kKey, u"Bin"), RegValue::Binary(std::vector<std::uint8_t>{4, 3, 2, 1}));
  // Writing over a value replaces its type too.
  Write(u"HKCU\\Software\\ShellTest\\Dw", Variant(u"now text"), Variant(u"REG_SZ"));
  EXPECT_EQ(Read(u"HKCU\\Software\\ShellTest\\Dw").bstrVal(), u"now text");
}

TEST_F(ShellTest, WritingCreatesMissingKeysAndTheDefaultValue) {
  Write(u"HKCU\\Software\\ShellTest\\A\\B\\C\\", Variant(u"deep"), Variant(u"REG_SZ"));
  EXPECT_TRUE(Store().KeyExists(u"HKCU\\Software\\ShellTest\\A\\B"));
  EXPECT_EQ(Store().GetValue(u"HKCU\\Software\\ShellTest\\A\\B\\C", u"")->AsString(), u"deep");
  EXPECT_EQ(Read(u"HKCU\\Software\\ShellTest\\A\\B\\C\\").bstrVal(), u"deep");
}

TEST_F(ShellTest, RefusesTypeStringsAndValuesItCannotWrite) {
  const UString name = u"HKCU\\Software\\ShellTest\\Bad";
  for (const char16_t* type : {u"REG_MULTI_SZ", u"REG_QWORD", u"reg_sz", u"xyz", u""}) {
    ComError e = ErrorOf([&] { Write(name, Variant(1), Variant(type)); });
    EXPECT_EQ(e.Number(), 5) << ToUtf8(type);
    EXPECT_EQ(e.Source(), u"WshShell.RegWrite");
    EXPECT_NE(e.Description().find(u"Invalid registry type"), UString::npos);
  }
  for (Variant type : {Variant(4), Variant(), Variant::Null()}) {
    EXPECT_EQ(ErrorOf([&] { Write(name, Variant(1), type); }).Number(), 5);
  }
  EXPECT_EQ(ErrorOf([&] { Write(name, Variant(u"abc"), Variant(u"REG_DWORD")); }).Number(), 13);
  EXPECT_EQ(ErrorOf([&] { Write(name, Variant(3e10), Variant(u"REG_BINARY")); }).Number(), 6);
  EXPECT_EQ(ErrorOf([&] { Write(name, Variant::Null(), Variant(u"REG_SZ")); }).Number(), 13);
  EXPECT_FALSE(Store().GetValue(kKey, u"Bad")) << "nothing was written";
  ComError path = ErrorOf([&] { Write(u"HKCU\\Software\\\\Empty\\V", Variant(1), Variant(u"REG_DWORD")); });
  EXPECT_EQ(path.Number(), -2147023886);  // 0x800703F2, a malformed key path
  EXPECT_NE(path.Description().find(u"Unable to save registry key"), UString::npos);
}

TEST_F(ShellTest, DeletesValuesAndKeysWithoutSubkeys) {
  Store().SetValue(kKey, u"V", RegValue::String(u"x"));
  Store().SetValue(kKey, u"W", RegValue::String(u"y"));
  Store().CreateKey(u"HKCU\\Software\\ShellTest\\Sub");
  Delete(u"HKCU\\Software\\ShellTest\\V");
  EXPECT_FALSE(Store().GetValue(kKey, u"V"));
  EXPECT_TRUE(Store().GetValue(kKey, u"W"));

  ComError withSubkeys = ErrorOf([&] { Delete(u"HKCU\\Software\\ShellTest\\"); });
  EXPECT_EQ(withSubkeys.Number(), kAccessDenied);
  EXPECT_TRUE(Store().KeyExists(kKey));
  Delete(u"HKCU\\Software\\ShellTest\\Sub\\");
  Delete(u"HKCU\\Software\\ShellTest\\");
  EXPECT_FALSE(Store().KeyExists(kKey)) << "the key went with its values";

  for (const char16_t* name : {u"HKCU\\Software\\ShellTest\\V", u"HKCU\\Software\\ShellTest\\"}) {
    ComError e = ErrorOf([&] { Delete(name); });
    EXPECT_EQ(e.Number(), kNotFound);
    EXPECT_EQ(e.Description(), u"Unable to remove registry key \"" + UString(name) + u"\".");
    EXPECT_EQ(e.Source(), u"WshShell.RegDelete");
  }
  EXPECT_EQ(ErrorOf([&] { Delete(u"HKCU\\"); }).Number(), kAccessDenied) << "a root cannot be deleted";
}

TEST_F(ShellTest, IsABuiltInClassCalledByName) {
  EXPECT_EQ(ShellClass().progId, UString(u"WScript.Shell"));
  Guid clsid;
  ASSERT_TRUE(ClsidFromProgId(u"wscript.shell", clsid));
  EXPECT_EQ(clsid, ShellClass().clsid);
  RegisterShellClasses();  // again: harmless
  Store().SetValue(kKey, u"V", RegValue::String(u"x"));
  EXPECT_EQ(CallByName(shell.get(), u"regread", DISPATCH_METHOD, {Variant(u"HKCU\\Software\\ShellTest\\V")}).bstrVal(),
            u"x");
  ComError count = ErrorOf([&] { CallByName(shell.get(), u"RegRead", DISPATCH_METHOD, {}); });
  EXPECT_EQ(count.Number(), 450);
  ComError member = ErrorOf([&] { CallByName(shell.get(), u"Run", DISPATCH_METHOD, {Variant(u"ls")}); });
  EXPECT_EQ(member.Number(), 438);
}

}  // namespace
}  // namespace tarnel
