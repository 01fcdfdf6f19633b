// Tests of the registry store in one process: typed values that survive
// reopening, case-insensitive names that keep their case, default values,
// key deletion, transactions, file permissions, refusal of corrupt files,
// the default location and the process store.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdlib>
#include <thread>

#include "platform/registry/registry_store.h"
#include "registry_test_support.h"

namespace tarnel {
namespace {

using registry_test::ReadBytes;
using registry_test::TempDir;
using registry_test::WriteBytes;

RegErrorCode CodeOf(const std::function<void()>& f, std::string* message = nullptr) {
  try {
    f();
  } catch (const RegistryError& e) {
    if (message != nullptr) *message = e.what();
    return e.code();
  }
  ADD_FAILURE() << "no RegistryError thrown";
  return RegErrorCode::kFileNotFound;
}

class RegistryStoreTest : public ::testing::Test {
 protected:
  TempDir dir_;
  std::string path_ = dir_.File("registry.db");
  std::unique_ptr<RegistryStore> store_ = RegistryStore::Open(path_);
};

TEST_F(RegistryStoreTest, TypedValuesSurviveReopening) {
  const UString key = u"HKEY_CURRENT_USER\\Software\\Types";
  std::vector<std::pair<UString, RegValue>> values = {
      {u"sz", RegValue::String(u"Grüße \u4e16\u754c")},
      {u"expand", RegValue::String(u"%HOME%\\bin", REG_EXPAND_SZ)},
      {u"binary", RegValue::Binary(std::vector<std::uint8_t>{0, 1, 0xfe, 0xff})},
      {u"emptyBinary", RegValue::Binary(std::vector<std::uint8_t>{})},
      {u"dword", RegValue::Dword(0xdeadbeef)},
      {u"multi", RegValue::MultiString({u"one", u"two"})},
      {u"qword", RegValue::Qword(0x8000000000000001ull)},
      {u"none", RegValue::Binary(std::vector<std::uint8_t>{9}, REG_NONE)},
      {u"bigEndian", RegValue::Binary(std::vector<std::uint8_t>{0, 0, 1, 2}, REG_DWORD_BIG_ENDIAN)},
      {u"unknownType", RegValue::Binary(std::vector<std::uint8_t>{1, 2, 3}, 0x12345678u)},
  };
  for (const auto& [name, value] : values) store_->SetValue(key, name, value);
  store_.reset();
  store_ = RegistryStore::Open(path_);
  for (const auto& [name, value] : values) {
    std::optional<RegValue> read = store_->GetValue(key, name);
    ASSERT_TRUE(read.has_value()) << ToUtf8(name);
    EXPECT_EQ(*read, value) << ToUtf8(name);
  }
  EXPECT_EQ(store_->GetValue(key, u"sz")->AsString(), u"Grüße \u4e16\u754c");
  EXPECT_EQ(store_->GetValue(key, u"qword")->AsQword(), 0x8000000000000001ull);
  EXPECT_EQ(store_->Values(key).size(), values.size());
}

TEST_F(RegistryStoreTest, OverwritingAValueReplacesTypeAndData) {
  store_->SetValue(u"HKCU\\K", u"v", RegValue::String(u"text"));
  store_->SetValue(u"HKCU\\K", u"v", RegValue::Dword(7));
  EXPECT_EQ(*store_->GetValue(u"HKCU\\K", u"v"), RegValue::Dword(7));
  EXPECT_EQ(store_->Values(u"HKCU\\K").size(), 1u);
}

TEST_F(RegistryStoreTest, NamesIgnoreCaseAndKeepTheirFirstCase) {
  EXPECT_TRUE(store_->CreateKey(u"HKEY_CURRENT_USER\\Software\\MyApp"));
  EXPECT_FALSE(store_->CreateKey(u"hkcu\\SOFTWARE\\myapp"));
  EXPECT_TRUE(store_->KeyExists(u"HKCU\\software\\MYAPP"));
  store_->SetValue(u"HKCU\\Software\\MyApp", u"Count", RegValue::Dword(1));
  store_->SetValue(u"HKCU\\SOFTWARE\\MYAPP", u"COUNT", RegValue::Dword(2));
  std::vector<RegValueInfo> values = store_->Values(u"HKCU\\Software\\MyApp");
  ASSERT_EQ(values.size(), 1u);
  EXPECT_EQ(values[0].name, u"Count");
  EXPECT_EQ(values[0].value.AsDword(), 2u);
  EXPECT_EQ(store_->SubKeys(u"HKCU\\software"), std::vector<UString>{u"MyApp"});

  // Letters beyond ASCII fold too.
  store_->CreateKey(u"HKCU\\Ärger");
  EXPECT_TRUE(store_->KeyExists(u"HKCU\\äRGER"));
  store_->SetValue(u"HKCU\\Ärger", u"Ωmega", RegValue::Dword(3));
  EXPECT_EQ(store_->GetValue(u"HKCU\\ärger", u"ωMEGA")->AsDword(), 3u);
  EXPECT_TRUE(store_->DeleteValue(u"HKCU\\ÄRGER", u"ΩMEGA"));
}

TEST_F(RegistryStoreTest, ListsAreOrderedByNameIgnoringCase) {
  for (const char16_t* name : {u"beta", u"Alpha", u"gamma", u"ALPHA2"}) {
    store_->CreateKey(UString(u"HKLM\\List\\") + name);
    store_->SetValue(u"HKLM\\List", name, RegValue::Dword(0));
  }
  store_->SetValue(u"HKLM\\List", u"", RegValue::String(u"default"));
  EXPECT_EQ(store_->SubKeys(u"HKLM\\List"), (std::vector<UString>{u"Alpha", u"ALPHA2", u"beta", u"gamma"}));
  std::vector<RegValueInfo> values = store_->Values(u"HKLM\\List");
  ASSERT_EQ(values.size(), 5u);
  EXPECT_EQ(values[0].name, u"");  // the default value first
  EXPECT_EQ(values[1].name, u"Alpha");
}

TEST_F(RegistryStoreTest, DefaultValueIsTheEmptyName) {
  store_->CreateKey(u"HKCR\\Prog.Id");
  EXPECT_FALSE(store_->GetValue(u"HKCR\\Prog.Id", u"").has_value());
  store_->SetValue(u"HKCR\\Prog.Id\\", u"", RegValue::String(u"Description"));
  store_->SetValue(u"HKCR\\Prog.Id", u"Named", RegValue::String(u"other"));
  EXPECT_EQ(store_->GetValue(u"HKEY_CLASSES_ROOT\\prog.id", u"")->AsString(), u"Description");
  EXPECT_TRUE(store_->DeleteValue(u"HKCR\\Prog.Id", u""));
  EXPECT_FALSE(store_->GetValue(u"HKCR\\Prog.Id", u"").has_value());
  EXPECT_EQ(store_->GetValue(u"HKCR\\Prog.Id", u"Named")->AsString(), u"other");
}

TEST_F(RegistryStoreTest, MissingKeysAndValues) {
  EXPECT_FALSE(store_->KeyExists(u"HKCU\\Nope"));
  EXPECT_FALSE(store_->GetValue(u"HKCU\\Nope", u"v").has_value());
  EXPECT_FALSE(store_->DeleteValue(u"HKCU\\Nope", u"v"));
  EXPECT_FALSE(store_->DeleteKey(u"HKCU\\Nope"));
  EXPECT_EQ(CodeOf([&] { store_->SubKeys(u"HKCU\\Nope"); }), RegErrorCode::kFileNotFound);
  EXPECT_EQ(CodeOf([&] { store_->Values(u"HKCU\\Nope"); }), RegErrorCode::kFileNotFound);
  store_->CreateKey(u"HKCU\\Yes");
  EXPECT_FALSE(store_->DeleteValue(u"HKCU\\Yes", u"v"));
  // Every root exists and is empty in a new store.
  for (RegRoot root : kAllRoots) {
    EXPECT_TRUE(store_->KeyExists(RootName(root)));
  }
  EXPECT_TRUE(store_->SubKeys(u"HKEY_USERS").empty());
  EXPECT_EQ(CodeOf([&] { store_->KeyExists(u"HKXX\\a"); }), RegErrorCode::kPathNotFound);
}

TEST_F(RegistryStoreTest, SetValueCreatesMissingParents) {
  store_->SetValue(u"HKCU\\A\\B\\C", u"v", RegValue::Dword(1));
  EXPECT_TRUE(store_->KeyExists(u"HKCU\\A"));
  EXPECT_TRUE(store_->KeyExists(u"HKCU\\A\\B"));
  EXPECT_EQ(store_->SubKeys(u"HKCU\\A\\B"), std::vector<UString>{u"C"});
}

TEST_F(RegistryStoreTest, DeleteKeyWithAndWithoutSubkeys) {
  store_->SetValue(u"HKCU\\Tree", u"top", RegValue::Dword(1));
  store_->SetValue(u"HKCU\\Tree\\Sub\\Leaf", u"deep", RegValue::Dword(2));
  store_->SetValue(u"HKCU\\TreeSibling", u"keep", RegValue::Dword(3));

  std::string message;
  EXPECT_EQ(CodeOf([&] { store_->DeleteKey(u"HKCU\\Tree"); }, &message), RegErrorCode::kAccessDenied);
  EXPECT_NE(message.find("subkeys"), std::string::npos) << message;
  EXPECT_TRUE(store_->GetValue(u"HKCU\\Tree", u"top").has_value());  // nothing removed

  EXPECT_TRUE(store_->DeleteKey(u"HKCU\\Tree\\Sub\\Leaf"));  // a leaf goes with its values
  EXPECT_FALSE(store_->KeyExists(u"HKCU\\Tree\\Sub\\Leaf"));
  store_->CreateKey(u"HKCU\\Tree\\Sub\\Leaf");
  EXPECT_TRUE(store_->Values(u"HKCU\\Tree\\Sub\\Leaf").empty());  // no leftover values

  store_->SetValue(u"HKCU\\Tree\\Sub\\Leaf\\Deeper", u"x", RegValue::Dword(4));
  EXPECT_TRUE(store_->DeleteKey(u"hkcu\\tree", true));
  EXPECT_FALSE(store_->KeyExists(u"HKCU\\Tree"));
  EXPECT_FALSE(store_->KeyExists(u"HKCU\\Tree\\Sub\\Leaf\\Deeper"));
  EXPECT_EQ(store_->SubKeys(u"HKCU"), std::vector<UString>{u"TreeSibling"});
  store_->CreateKey(u"HKCU\\Tree\\Sub");
  EXPECT_TRUE(store_->SubKeys(u"HKCU\\Tree\\Sub").empty());

  EXPECT_EQ(CodeOf([&] { store_->DeleteKey(u"HKEY_CURRENT_USER", true); }), RegErrorCode::kAccessDenied);
  EXPECT_EQ(CodeOf([&] { store_->DeleteKey(u"HKCU\\"); }), RegErrorCode::kAccessDenied);
}

TEST_F(RegistryStoreTest, TransactionIsAllOrNothing) {
  store_->SetValue(u"HKCU\\T", u"before", RegValue::Dword(1));
  EXPECT_THROW(store_->Transaction([&] {
    store_->SetValue(u"HKCU\\T", u"a", RegValue::Dword(1));
    store_->DeleteKey(u"HKCU\\T", true);
    throw std::runtime_error("abandon");
  }),
               std::runtime_error);
  EXPECT_TRUE(store_->GetValue(u"HKCU\\T", u"before").has_value());
  EXPECT_FALSE(store_->GetValue(u"HKCU\\T", u"a").has_value());

  store_->Transaction([&] {
    store_->SetValue(u"HKCU\\T", u"outer", RegValue::Dword(1));
    EXPECT_THROW(store_->Transaction([&] {
      store_->SetValue(u"HKCU\\T", u"inner", RegValue::Dword(1));
      throw std::runtime_error("inner fails");
    }),
                 std::runtime_error);
    store_->Transaction([&] { store_->SetValue(u"HKCU\\T", u"inner2", RegValue::Dword(1)); });
  });
  EXPECT_TRUE(store_->GetValue(u"HKCU\\T", u"outer").has_value());
  EXPECT_FALSE(store_->GetValue(u"HKCU\\T", u"inner").has_value());
  EXPECT_TRUE(store_->GetValue(u"HKCU\\T", u"inner2").has_value());
}

TEST_F(RegistryStoreTest, SnapshotRefusesChanges) {
  store_->SetValue(u"HKCU\\S", u"v", RegValue::Dword(1));
  EXPECT_EQ(CodeOf([&] { store_->Snapshot([&] { store_->SetValue(u"HKCU\\S", u"v", RegValue::Dword(2)); }); }),
            RegErrorCode::kAccessDenied);
  EXPECT_EQ(store_->GetValue(u"HKCU\\S", u"v")->AsDword(), 1u);
  // The store is usable afterwards.
  store_->SetValue(u"HKCU\\S", u"v", RegValue::Dword(3));
  EXPECT_EQ(store_->GetValue(u"HKCU\\S", u"v")->AsDword(), 3u);
}

TEST_F(RegistryStoreTest, ThreadsShareOneStore) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 50; ++i) {
        store_->Transaction([&] {
          std::uint32_t n = store_->GetValue(u"HKCU\\Counter", u"n").value_or(RegValue::Dword(0)).AsDword();
          store_->SetValue(u"HKCU\\Counter", u"n", RegValue::Dword(n + 1));
        });
        store_->SetValue(u"HKCU\\Thread" + DecimalText(t), DecimalText(i), RegValue::Dword(1));
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(store_->GetValue(u"HKCU\\Counter", u"n")->AsDword(), 200u);
  for (int t = 0; t < 4; ++t) EXPECT_EQ(store_->Values(u"HKCU\\Thread" + DecimalText(t)).size(), 50u);
}

TEST(RegistryStoreFileTest, NewFileIsOwnerOnlyInNewOwnerOnlyDirectories) {
  TempDir dir;
  std::string path = dir.File("a/b/registry.db");
  auto store = RegistryStore::Open(path);
  store->SetValue(u"HKCU\\x", u"v", RegValue::Dword(1));
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  ASSERT_EQ(::stat(dir.File("a").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  ASSERT_EQ(::stat(dir.File("a/b").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  // The journal files beside it are no more open than the store.
  for (const char* suffix : {"-wal", "-shm", "-journal"}) {
    if (::stat((path + suffix).c_str(), &st) == 0) {
      EXPECT_EQ(st.st_mode & 0077, 0u) << suffix;
    }
  }
}

TEST(RegistryStoreFileTest, RandomBytesAreRefusedAndLeftAlone) {
  TempDir dir;
  std::string path = dir.File("registry.db");
  std::string garbage;
  for (int i = 0; i < 8192; ++i) garbage.push_back(static_cast<char>((i * 7919 + 13) % 251));
  WriteBytes(path, garbage);
  std::string message;
  EXPECT_EQ(CodeOf([&] { RegistryStore::Open(path); }, &message), RegErrorCode::kBadDb);
  EXPECT_NE(message.find(path), std::string::npos) << message;
  EXPECT_NE(message.find("not a valid store"), std::string::npos) << message;
  EXPECT_EQ(ReadBytes(path), garbage);
  // A second attempt gives the same answer: nothing was repaired or reset.
  EXPECT_EQ(CodeOf([&] { RegistryStore::Open(path); }), RegErrorCode::kBadDb);
  EXPECT_EQ(ReadBytes(path), garbage);
}

TEST(RegistryStoreFileTest, OtherDatabasesAreRefused) {
  TempDir dir;
  std::string path = dir.File("other.db");
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE customers(id INTEGER); INSERT INTO customers VALUES (1);", nullptr,
                         nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  std::string before = ReadBytes(path);
  std::string message;
  EXPECT_EQ(CodeOf([&] { RegistryStore::Open(path); }, &message), RegErrorCode::kBadDb);
  EXPECT_NE(message.find("another kind"), std::string::npos) << message;
  EXPECT_EQ(ReadBytes(path), before);
}

TEST(RegistryStoreFileTest, DamagedPagesAreReportedNotUsed) {
  TempDir dir;
  std::string path = dir.File("registry.db");
  {
    auto store = RegistryStore::Open(path);
    store->Transaction([&] {
      for (int i = 0; i < 400; ++i) {
        store->SetValue(u"HKLM\\Bulk\\K" + DecimalText(i), u"v", RegValue::String(UString(40, u'x')));
      }
    });
  }
  std::string bytes = ReadBytes(path);
  ASSERT_GT(bytes.size(), 16384u);
  for (std::size_t i = 8192; i < 12288; ++i) bytes[i] = static_cast<char>(i * 31);
  WriteBytes(path, bytes);
  std::string message;
  EXPECT_EQ(CodeOf([&] { RegistryStore::Open(path); }, &message), RegErrorCode::kBadDb);
  EXPECT_NE(message.find(path), std::string::npos) << message;
  EXPECT_EQ(ReadBytes(path), bytes);
}

TEST(RegistryStoreFileTest, UnopenablePaths) {
  TempDir dir;
  EXPECT_EQ(CodeOf([] { RegistryStore::Open(""); }), RegErrorCode::kCantOpen);
  std::string message;
  EXPECT_EQ(CodeOf([&] { RegistryStore::Open(dir.File("")); }, &message), RegErrorCode::kCantOpen);
  WriteBytes(dir.File("plainfile"), "x");
  EXPECT_EQ(CodeOf([&] { RegistryStore::Open(dir.File("plainfile/registry.db")); }, &message),
            RegErrorCode::kCantOpen);
  EXPECT_NE(message.find("plainfile"), std::string::npos) << message;
}

TEST(RegistryStoreFileTest, EmptyFileBecomesAStore) {
  TempDir dir;
  std::string path = dir.File("empty.db");
  WriteBytes(path, "");
  auto store = RegistryStore::Open(path);
  store->SetValue(u"HKCU\\x", u"v", RegValue::Dword(5));
  EXPECT_EQ(store->GetValue(u"HKCU\\x", u"v")->AsDword(), 5u);
}

// Sets or clears environment variables for one test and restores them.
class ScopedEnv {
 public:
  void Set(const char* name, const char* value) {
    const char* old = std::getenv(name);
    saved_.emplace_back(name, old != nullptr ? std::optional<std::string>(old) : std::nullopt);
    if (value != nullptr) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnv() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->second) {
        ::setenv(it->first.c_str(), it->second->c_str(), 1);
      } else {
        ::unsetenv(it->first.c_str());
      }
    }
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST(RegistryStoreLocationTest, DefaultPathFollowsEnvironment) {
  ScopedEnv env;
  env.Set("TARNEL_REGISTRY", "/custom/reg.db");
  env.Set("XDG_DATA_HOME", "/xdg");
  env.Set("HOME", "/home/someone");
  EXPECT_EQ(RegistryStore::DefaultPath(), "/custom/reg.db");
  env.Set("TARNEL_REGISTRY", nullptr);
  EXPECT_EQ(RegistryStore::DefaultPath(), "/xdg/tarnel/registry.db");
  env.Set("XDG_DATA_HOME", "relative/dir");  // ignored, as the XDG rules say
  EXPECT_EQ(RegistryStore::DefaultPath(), "/home/someone/.local/share/tarnel/registry.db");
  env.Set("XDG_DATA_HOME", "");
  env.Set("TARNEL_REGISTRY", "");
  EXPECT_EQ(RegistryStore::DefaultPath(), "/home/someone/.local/share/tarnel/registry.db");
}

TEST(RegistryStoreLocationTest, ProcessStoreSwitchesFiles) {
  TempDir dir;
  RegistryStore::SetProcessPath(dir.File("first.db"));
  RegistryStore& store = RegistryStore::Process();
  store.SetValue(u"HKCU\\P", u"v", RegValue::Dword(1));
  EXPECT_EQ(&RegistryStore::Process(), &store);

  RegistryStore::SetProcessPath(dir.File("second.db"));
  EXPECT_EQ(&RegistryStore::Process(), &store);  // the same object, now on the other file
  EXPECT_EQ(store.Path(), dir.File("second.db"));
  EXPECT_FALSE(store.KeyExists(u"HKCU\\P"));

  // A bad file is refused and the store stays where it was.
  WriteBytes(dir.File("bad.db"), std::string(4096, '\x5a'));
  EXPECT_THROW(RegistryStore::SetProcessPath(dir.File("bad.db")), RegistryError);
  EXPECT_EQ(store.Path(), dir.File("second.db"));

  RegistryStore::SetProcessPath(dir.File("first.db"));
  EXPECT_EQ(store.GetValue(u"HKCU\\P", u"v")->AsDword(), 1u);
}

}  // namespace
}  // namespace tarnel
