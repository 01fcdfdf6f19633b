// Tests of .reg import and export: the exact text the export writes, a
// round trip of every kind of value through a file, the syntax the import
// accepts (UTF-16, UTF-8, REGEDIT4, deletions, continuations), and malformed
// files rejected with their line number and without any change.
#include "platform/registry/reg_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "registry_test_support.h"

namespace tarnel {
namespace {

using registry_test::DumpTree;
using registry_test::ReadBytes;
using registry_test::TempDir;
using registry_test::WriteBytes;

std::string Utf16LeToUtf8(const std::string& bytes) {
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
  std::vector<std::uint8_t> raw(bytes.begin() + 2, bytes.end());
  return ToUtf8(FromUtf16LeBytes(raw));
}

std::string Utf16LeWithBom(std::string_view utf8) {
  std::vector<std::uint8_t> raw = Utf16LeBytes(FromUtf8(utf8));
  return "\xFF\xFE" + std::string(raw.begin(), raw.end());
}

class RegFileTest : public ::testing::Test {
 protected:
  TempDir dir_;
  std::unique_ptr<RegistryStore> store_ = RegistryStore::Open(dir_.File("registry.db"));
};

TEST_F(RegFileTest, ExportWritesTheEditorsFormat) {
  const UString key = u"HKCU\\Software\\Example";
  store_->SetValue(key, u"", RegValue::String(u"default text"));
  store_->SetValue(key, u"Path", RegValue::String(u"C:\\Program Files\\\"Example\""));
  store_->SetValue(key, u"Count", RegValue::Dword(10));
  store_->SetValue(key, u"Blob", RegValue::Binary(std::vector<std::uint8_t>{0xde, 0xad, 0xbe, 0xef}));
  store_->SetValue(key, u"Expand", RegValue::String(u"%T%", REG_EXPAND_SZ));
  store_->SetValue(key, u"Multi", RegValue::MultiString({u"a", u"b"}));
  store_->SetValue(key, u"Big", RegValue::Qword(1));
  store_->SetValue(key, u"Lines", RegValue::String(u"a\r\nb"));
  store_->CreateKey(key + u"\\Sub");
  const std::string expected =
      "Windows Registry Editor Version 5.00\r\n"
      "\r\n"
      "[HKEY_CURRENT_USER\\Software\\Example]\r\n"
      "@=\"default text\"\r\n"
      "\"Big\"=hex(b):01,00,00,00,00,00,00,00\r\n"
      "\"Blob\"=hex:de,ad,be,ef\r\n"
      "\"Count\"=dword:0000000a\r\n"
      "\"Expand\"=hex(2):25,00,54,00,25,00,00,00\r\n"
      "\"Lines\"=hex(1):61,00,0d,00,0a,00,62,00,00,00\r\n"
      "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
      "\"Path\"=\"C:\\\\Program Files\\\\\\\"Example\\\"\"\r\n"
      "\r\n"
      "[HKEY_CURRENT_USER\\Software\\Example\\Sub]\r\n"
      "\r\n";
  EXPECT_EQ(Utf16LeToUtf8(ExportRegText(*store_, u"hkcu\\software\\example")), expected);
}

TEST_F(RegFileTest, LongHexDataWrapsBelowEightyColumns) {
  std::vector<std::uint8_t> bytes(100);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i);
  store_->SetValue(u"HKLM\\W", u"Blob", RegValue::Binary(bytes));
  std::string text = Utf16LeToUtf8(ExportRegText(*store_, u"HKLM\\W"));
  std::size_t start = text.find("\"Blob\"=hex:");
  ASSERT_NE(start, std::string::npos);
  std::size_t lines = 0;
  for (std::size_t pos = start;; ++lines) {
    std::size_t end = text.find("\r\n", pos);
    std::string line = text.substr(pos, end - pos);
    EXPECT_LE(line.size(), 80u) << line;
    if (lines > 0) {
      EXPECT_EQ(line.substr(0, 2), "  ");
    }
    if (line.back() != '\\') break;
    EXPECT_EQ(line.substr(line.size() - 2), ",\\");
    pos = end + 2;
  }
  EXPECT_GE(lines, 3u);
}

TEST_F(RegFileTest, RoundTripThroughAFileKeepsEveryValue) {
  const UString root = u"HKEY_LOCAL_MACHINE\\Software\\RoundTrip";
  std::vector<std::uint8_t> large(300);
  for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<std::uint8_t>(i * 37);
  store_->SetValue(root, u"", RegValue::String(u"top default"));
  store_->SetValue(root, u"Quote\"And\\Slash", RegValue::String(u"\"q\" \\s\\ ünï \u4e2d"));
  store_->SetValue(root, u"multi line name\r\nx", RegValue::String(u"tab\there"));
  store_->SetValue(root, u"@", RegValue::String(u"named at"));
  store_->SetValue(root, u"empty", RegValue::String(u""));
  store_->SetValue(root, u"large", RegValue::Binary(large));
  store_->SetValue(root, u"noBytes", RegValue::Binary(std::vector<std::uint8_t>{}));
  store_->SetValue(root, u"maxDword", RegValue::Dword(0xffffffff));
  store_->SetValue(root, u"qword", RegValue::Qword(0x1122334455667788ull));
  store_->SetValue(root, u"none", RegValue::Binary(std::vector<std::uint8_t>{}, REG_NONE));
  store_->SetValue(root, u"oddType", RegValue::Binary(std::vector<std::uint8_t>{1, 2}, 0xabcdef01u));
  store_->SetValue(root, u"shortDword", RegValue::Binary(std::vector<std::uint8_t>{1, 2}, REG_DWORD));
  store_->SetValue(root, u"unterminated", RegValue::Binary(std::vector<std::uint8_t>{'a', 0}, REG_SZ));
  store_->SetValue(root, u"embeddedNul", RegValue::Binary(std::vector<std::uint8_t>{'a', 0, 0, 0, 'b', 0, 0, 0}, REG_SZ));
  store_->SetValue(root, u"multi", RegValue::MultiString({u"x", u"yz"}));
  store_->SetValue(root + u"\\Child\\GrandChild", u"deep", RegValue::String(u"d", REG_EXPAND_SZ));
  store_->CreateKey(root + u"\\Empty]Key");
  store_->SetValue(root + u"\\MixedCase", u"v", RegValue::Dword(1));

  const std::string file = dir_.File("export.reg");
  ExportRegFile(*store_, root, file);
  std::vector<std::string> before = DumpTree(*store_, root);

  auto other = RegistryStore::Open(dir_.File("other.db"));
  ImportRegFile(*other, file);
  EXPECT_EQ(DumpTree(*other, root), before);

  // Importing over the same tree changes nothing either.
  ImportRegFile(*store_, file);
  EXPECT_EQ(DumpTree(*store_, root), before);
}

TEST_F(RegFileTest, ImportOfTheEditorsExample) {
  store_->SetValue(u"HKCU\\Software\\Example", u"Gone", RegValue::Dword(1));
  store_->SetValue(u"HKCU\\Software\\Example\\Obsolete\\Deeper", u"x", RegValue::Dword(1));
  const std::string text =
      "Windows Registry Editor Version 5.00\r\n"
      "\r\n"
      "; a comment\r\n"
      "[HKEY_CURRENT_USER\\Software\\Example]\r\n"
      "@=\"default text\"\r\n"
      "\"Path\"=\"C:\\\\Program Files\\\\Example\"\r\n"
      "\"Count\"=dword:0000000a\r\n"
      "\"Short\"=dword:2A\r\n"
      "\"Blob\"=hex:de,ad,be,ef\r\n"
      "\"Expand\"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,00,00\r\n"
      "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
      "\"Big\"=hex(b):01,00,00,00,00,00,00,00\r\n"
      "\"Wrapped\"=hex:01,02,\\\r\n"
      "  03,04\r\n"
      "\"Gone\"=-\r\n"
      "\r\n"
      "[-HKEY_CURRENT_USER\\Software\\Example\\Obsolete]\r\n";
  ImportRegText(*store_, Utf16LeWithBom(text), "example.reg");
  const UString key = u"HKCU\\Software\\Example";
  EXPECT_EQ(store_->GetValue(key, u"")->AsString(), u"default text");
  EXPECT_EQ(store_->GetValue(key, u"Path")->AsString(), u"C:\\Program Files\\Example");
  EXPECT_EQ(store_->GetValue(key, u"Count")->AsDword(), 10u);
  EXPECT_EQ(store_->GetValue(key, u"Short")->AsDword(), 42u);
  EXPECT_EQ(store_->GetValue(key, u"Blob")->data, (std::vector<std::uint8_t>{0xde, 0xad, 0xbe, 0xef}));
  EXPECT_EQ(store_->GetValue(key, u"Expand")->AsString(), u"%TEMP%");
  EXPECT_EQ(store_->GetValue(key, u"Multi")->AsMultiString(), (std::vector<UString>{u"a", u"b"}));
  EXPECT_EQ(store_->GetValue(key, u"Big")->AsQword(), 1u);
  EXPECT_EQ(store_->GetValue(key, u"Wrapped")->data, (std::vector<std::uint8_t>{1, 2, 3, 4}));
  EXPECT_FALSE(store_->GetValue(key, u"Gone").has_value());
  EXPECT_FALSE(store_->KeyExists(key + u"\\Obsolete"));
}

TEST_F(RegFileTest, ImportOfUtf8AndRegedit4Text) {
  ImportRegText(*store_,
                "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n"
                "[HKEY_USERS\\U]\n"
                "\"Name\" = \"Gr\xC3\xBC\xC3\x9F""e\"  ; trailing comment\n"
                "@=-\n",
                "utf8.reg");
  EXPECT_EQ(store_->GetValue(u"HKEY_USERS\\U", u"Name")->AsString(), u"Grüße");

  // REGEDIT4 keeps string bytes in the file's character set (here Latin-1).
  ImportRegText(*store_,
                "REGEDIT4\r\n"
                "[HKEY_CURRENT_CONFIG\\Old]\r\n"
                "\"Text\"=\"caf\xE9\"\r\n"
                "\"Expand\"=hex(2):25,41,25,e9,00\r\n",
                "old.reg");
  EXPECT_EQ(store_->GetValue(u"HKEY_CURRENT_CONFIG\\Old", u"Text")->AsString(), u"café");
  RegValue expand = *store_->GetValue(u"HKEY_CURRENT_CONFIG\\Old", u"Expand");
  EXPECT_EQ(expand.type, REG_EXPAND_SZ);
  EXPECT_EQ(expand.data, Utf16LeBytes(UStringView(u"%A%\u00e9\0", 5)));
}

TEST_F(RegFileTest, MalformedFilesAreRejectedWithLineAndChangeNothing) {
  store_->SetValue(u"HKCU\\Keep", u"v", RegValue::String(u"original"));
  store_->SetValue(u"HKCU\\Keep\\Sub", u"w", RegValue::Dword(5));
  const std::vector<std::string> before = DumpTree(*store_, u"HKEY_CURRENT_USER");
  const std::string header = "Windows Registry Editor Version 5.00\r\n";
  const std::string good =
      "[HKEY_CURRENT_USER\\Keep]\r\n"
      "\"v\"=\"changed\"\r\n"
      "\"new\"=dword:1\r\n"
      "[-HKEY_CURRENT_USER\\Keep\\Sub]\r\n"
      "[HKEY_CURRENT_USER\\Added]\r\n";  // lines 2 to 6
  struct Case {
    std::string text;
    int line;
    const char* words;
  };
  const std::vector<Case> cases = {
      {"REGEDIT5\r\n" + good, 1, "first line"},
      {"", 1, "empty"},
      {header + good + "\"x\" \"y\"\r\n", 7, "'='"},
      {header + good + "\"x\"=dword:123456789\r\n", 7, "8 hexadecimal"},
      {header + good + "\"x\"=dword:\r\n", 7, "dword"},
      {header + good + "\"x\"=\"open\r\n", 7, "closing"},
      {header + good + "\"x\"=\"a\\tb\"\r\n", 7, "escape"},
      {header + good + "\"x\"=hex:01,02,\\\r\n  03,zz\r\n", 8, "'zz'"},
      {header + good + "\"x\"=hex:01,,02\r\n", 7, "hex byte"},
      {header + good + "\"x\"=hex:01,\\\r\n", 7, "end of the file"},
      {header + good + "\"x\"=hex(2x):00\r\n", 7, "hexadecimal"},
      {header + good + "\"x\"=string\r\n", 7, "value data"},
      {header + good + "\"x\"=\"a\" extra\r\n", 7, "unexpected text"},
      {header + good + "[HKEY_NOWHERE\\A]\r\n", 7, "HKEY_NOWHERE"},
      {header + good + "[HKEY_CURRENT_USER\\A\r\n", 7, "']'"},
      {header + good + "[HKEY_CURRENT_USER\\A\\\\B]\r\n", 7, "empty key name"},
      {header + good + "[-HKEY_CURRENT_USER]\r\n", 7, "cannot be deleted"},
      {header + good + "[-HKEY_CURRENT_USER\\Gone]\r\n\"x\"=\"y\"\r\n", 8, "[key]"},
      {header + "\"x\"=\"y\"\r\n", 2, "[key]"},
      {header + good + "garbage\r\n", 7, "unrecognised line"},
  };
  for (const Case& c : cases) {
    try {
      ImportRegText(*store_, c.text, "bad.reg");
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const RegFileError& e) {
      EXPECT_EQ(e.line(), c.line) << e.what();
      std::string message = e.what();
      EXPECT_NE(message.find("bad.reg"), std::string::npos) << message;
      EXPECT_NE(message.find("line " + std::to_string(c.line)), std::string::npos) << message;
      EXPECT_NE(message.find(c.words), std::string::npos) << message;
    }
    EXPECT_EQ(DumpTree(*store_, u"HKEY_CURRENT_USER"), before) << c.text;
  }
  // The good part alone imports.
  ImportRegText(*store_, header + good, "good.reg");
  EXPECT_EQ(store_->GetValue(u"HKCU\\Keep", u"v")->AsString(), u"changed");
  EXPECT_FALSE(store_->KeyExists(u"HKCU\\Keep\\Sub"));
  EXPECT_TRUE(store_->KeyExists(u"HKCU\\Added"));
}

TEST_F(RegFileTest, UnreadableFilesAndMissingKeys) {
  try {
    ImportRegFile(*store_, dir_.File("missing.reg"));
    ADD_FAILURE() << "missing file accepted";
  } catch (const RegistryError& e) {
    EXPECT_EQ(e.code(), RegErrorCode::kFileNotFound);
    EXPECT_NE(std::string(e.what()).find("missing.reg"), std::string::npos);
  }
  try {
    ImportRegFile(*store_, dir_.File(""));
    ADD_FAILURE() << "directory accepted";
  } catch (const RegistryError& e) {
    EXPECT_NE(std::string(e.what()).find("directory"), std::string::npos) << e.what();
  }
  WriteBytes(dir_.File("odd.reg"), "\xFF\xFEW\0x");
  EXPECT_THROW(ImportRegFile(*store_, dir_.File("odd.reg")), RegFileError);

  const std::string out = dir_.File("out.reg");
  try {
    ExportRegFile(*store_, u"HKCU\\NoSuchKey", out);
    ADD_FAILURE() << "missing key exported";
  } catch (const RegistryError& e) {
    EXPECT_EQ(e.code(), RegErrorCode::kFileNotFound);
  }
  struct stat st {};
  EXPECT_NE(::stat(out.c_str(), &st), 0);  // no file left behind
}

TEST_F(RegFileTest, ExportReplacesAFileAndKeepsItsMode) {
  const std::string out = dir_.File("out.reg");
  WriteBytes(out, "old contents");
  ASSERT_EQ(::chmod(out.c_str(), 0640), 0);
  store_->SetValue(u"HKCU\\E", u"v", RegValue::Dword(1));
  ExportRegFile(*store_, u"HKCU\\E", out);
  EXPECT_EQ(ReadBytes(out), ExportRegText(*store_, u"HKCU\\E"));
  struct stat st {};
  ASSERT_EQ(::stat(out.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  // Only the file itself is in the directory besides the store.
  std::size_t leftovers = 0;
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(out).parent_path())) {
    leftovers += entry.path().string().find(".tmp-") != std::string::npos;
  }
  EXPECT_EQ(leftovers, 0u);
}

}  // namespace
}  // namespace tarnel
