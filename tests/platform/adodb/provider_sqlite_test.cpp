// What only the SQLite provider does: file handling (missing, read-only,
// not a database), the busy time-out on a locked database, the absence of
// stored procedures, and the mapping of declared column types.
#include <fstream>

#include "platform/adodb/provider/sqlite/sqlite_backend.h"
#include "provider_test_support.h"

namespace tarnel::adodb::provider::testing {
namespace {

using namespace std::chrono_literals;

class SqliteProvider : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("tt_sqlite_" + std::to_string(::getpid()) + "_" +
                                                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::unique_ptr<Session> Create(const std::string& cs, Status* status) {
    ConnectOptions o;
    o.connectionString = cs;
    return CreateSession(o, status);
  }
  std::string Path(const char* name) const { return (dir_ / name).string(); }

  std::filesystem::path dir_;
};

TEST_F(SqliteProvider, MissingFileIsAnErrorUnlessCreateIsAsked) {
  Status status;
  auto s = Create("Provider=SQLite;Data Source=" + Path("absent.db"), &status);
  ASSERT_TRUE(s) << Describe(status);
  Result r = s->Open();
  EXPECT_EQ(r.status.number, E_FAIL);
  ASSERT_EQ(r.status.errors.size(), 1u);
  EXPECT_EQ(r.status.errors[0].sqlState, "08001");
  EXPECT_EQ(r.status.errors[0].nativeError, SQLITE_CANTOPEN);
  EXPECT_NE(r.status.description.find("does not exist"), std::string::npos);
  EXPECT_FALSE(r.connected);
  EXPECT_FALSE(std::filesystem::exists(Path("absent.db")));

  auto c = Create("Data Source=" + Path("new.db") + ";Create=True", &status);  // SQLite is the default
  ASSERT_TRUE(c);
  EXPECT_EQ(c->ProviderName(), "SQLite");
  EXPECT_TRUE(c->Open().status.ok());
  EXPECT_TRUE(std::filesystem::exists(Path("new.db")));

  auto nowhere = Create("Provider=SQLite;Data Source=" + Path("no/such/dir/x.db") + ";Create=True", &status);
  Result n = nowhere->Open();
  EXPECT_EQ(n.status.errors.at(0).nativeError & 0xFF, SQLITE_CANTOPEN);
  EXPECT_NE(n.status.description.find("no/such/dir"), std::string::npos);

  auto noPath = Create("Provider=SQLite", &status);
  Result p = noPath->Open();
  EXPECT_NE(p.status.description.find("Data Source"), std::string::npos);
}

TEST_F(SqliteProvider, ReadOnlyModeRefusesWritesAndKeepsData) {
  Status status;
  auto rw = Create("Provider=SQLite;Data Source=" + Path("ro.db") + ";Create=True", &status);
  ASSERT_TRUE(rw->Open().status.ok());
  ASSERT_TRUE(rw->Execute(Sql("CREATE TABLE t (a INTEGER); INSERT INTO t VALUES (5)")).status.ok());
  rw.reset();
  auto ro = Create("Provider=SQLite;Data Source=" + Path("ro.db") + ";Mode=Read", &status);
  ASSERT_TRUE(ro->Open().status.ok());
  Result w = ro->Execute(Sql("INSERT INTO t VALUES (6)"));
  EXPECT_EQ(w.status.number, E_FAIL);
  EXPECT_EQ(w.status.errors.at(0).sqlState, "25006");
  EXPECT_NE(w.status.description.find("readonly"), std::string::npos) << w.status.description;
  Result r = ro->Execute(Sql("SELECT a FROM t"));
  ASSERT_TRUE(r.status.ok());
  EXPECT_EQ(r.sets[0].rows->RowCount(), 1u);
  EXPECT_EQ(r.sets[0].rows->Integer(0, 0), 5);
}

TEST_F(SqliteProvider, FileThatIsNotADatabaseFailsInOpen) {
  std::ofstream(Path("junk.db")) << std::string(4096, 'x');
  Status status;
  auto s = Create("Provider=SQLite;Data Source=" + Path("junk.db"), &status);
  Result r = s->Open();
  EXPECT_EQ(r.status.number, E_FAIL);
  EXPECT_NE(r.status.description.find("not a database"), std::string::npos) << r.status.description;
  EXPECT_FALSE(s->Connected());
}

TEST_F(SqliteProvider, LockedDatabaseWaitsForTheTimeOutThenFailsClearly) {
  Status status;
  const std::string cs = "Provider=SQLite;Data Source=" + Path("busy.db") + ";Create=True";
  auto a = Create(cs, &status);
  auto b = Create(cs, &status);
  ASSERT_TRUE(a->Open().status.ok());
  ASSERT_TRUE(b->Open().status.ok());
  ASSERT_TRUE(a->Execute(Sql("CREATE TABLE t (a INTEGER)")).status.ok());
  ASSERT_TRUE(a->BeginTrans().status.ok());
  ASSERT_TRUE(a->Execute(Sql("INSERT INTO t VALUES (1)")).status.ok());
  CommandRequest write = Sql("INSERT INTO t VALUES (2)");
  write.timeout = 400ms;
  const auto start = std::chrono::steady_clock::now();
  Result locked = b->Execute(write);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(locked.status.number, E_FAIL);
  EXPECT_EQ(locked.status.description, "database is locked");
  EXPECT_EQ(locked.status.errors.at(0).sqlState, "HYT00");
  EXPECT_EQ(locked.status.errors.at(0).nativeError & 0xFF, SQLITE_BUSY);
  EXPECT_GE(took, 350ms);
  EXPECT_LT(took, 5s);
  // Nothing is lost: the holder commits, the waiter succeeds on retry.
  ASSERT_TRUE(a->CommitTrans().status.ok());
  ASSERT_TRUE(b->Execute(write).status.ok());
  Result all = a->Execute(Sql("SELECT a FROM t ORDER BY a"));
  ASSERT_EQ(all.sets.at(0).rows->RowCount(), 2u);
  // A writer waiting for the lock is cancelled promptly.
  ASSERT_TRUE(a->BeginTrans().status.ok());
  ASSERT_TRUE(a->Execute(Sql("INSERT INTO t VALUES (3)")).status.ok());
  Completions done;
  write.timeout = 30s;
  const JobId id = b->ExecuteAsync(write, done.Callback(1));
  std::this_thread::sleep_for(100ms);
  b->Cancel(id);
  ASSERT_TRUE(done.WaitFor(1, 5s));
  EXPECT_EQ(done.Take(0).status.number, DB_E_CANCELED);
  EXPECT_TRUE(a->RollbackTrans().status.ok());
}

TEST_F(SqliteProvider, StoredProceduresAreAClearError) {
  Status status;
  auto s = Create("Provider=SQLite;Data Source=:memory:", &status);
  ASSERT_TRUE(s->Open().status.ok());
  CommandRequest proc = Sql("do_things");
  proc.type = adCmdStoredProc;
  Result r = s->Execute(proc);
  EXPECT_EQ(r.status.number, E_FAIL);
  EXPECT_EQ(r.status.errors.at(0).sqlState, "IM001");
  EXPECT_NE(r.status.description.find("no stored procedures"), std::string::npos);
}

TEST_F(SqliteProvider, SettingsAreCheckedBeforeAnyThreadStarts) {
  Status status;
  EXPECT_FALSE(Create("Provider=SQLite;Data Source=x.db;Create=perhaps", &status));
  EXPECT_EQ(status.number, ControlError(3001));
  EXPECT_FALSE(Create("Provider=SQLite;Data Source=x.db;Mode=Sideways", &status));
  EXPECT_EQ(status.number, ControlError(3001));
  EXPECT_FALSE(Create("Provider=SQLite;Data Sorce=x.db", &status));
  EXPECT_NE(status.description.find("'Data Sorce'"), std::string::npos);
  EXPECT_TRUE(Create("Provider=SQLite.1;Data Source=x.db;Persist Security Info=False", &status));
}

TEST(SqliteTypes, DeclaredTypesMapToAdoTypes) {
  struct Case {
    const char* declared;
    DataTypeEnum type;
    std::int32_t size;
  };
  const Case cases[] = {
      {"INT", adInteger, 4},           {"integer", adInteger, 4},        {"MEDIUMINT", adInteger, 4},
      {"BIGINT", adBigInt, 8},         {"UNSIGNED BIG INT", adBigInt, 8}, {"INT8", adBigInt, 8},
      {"TINYINT", adUnsignedTinyInt, 1}, {"REAL", adDouble, 8},          {"FLOAT", adDouble, 8},
      {"NVARCHAR(40)", adVarWChar, 40}, {"CHARACTER VARYING(7)", adVarWChar, 7},
      {"NCHAR(3)", adWChar, 3},        {"CLOB", adLongVarWChar, kLongTextSize},
      {"VARCHAR", adLongVarWChar, kLongTextSize}, {"VARBINARY(16)", adVarBinary, 16},
      {"DATETIME", adDBTimeStamp, 16}, {"DATE", adDBDate, 6},            {"TIME", adDBTime, 6},
      {"MONEY", adCurrency, 8},        {"BOOL", adBoolean, 2},           {"UUID", adGUID, 16},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.declared);
    const std::optional<ColumnInfo> info = ColumnFromDeclaredType("x", c.declared);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->type, c.type);
    EXPECT_EQ(info->definedSize, c.size);
  }
  const std::optional<ColumnInfo> decimal = ColumnFromDeclaredType("d", "DECIMAL(12, 4)");
  ASSERT_TRUE(decimal);
  EXPECT_EQ(decimal->precision, 12);
  EXPECT_EQ(decimal->numericScale, 4);
  EXPECT_FALSE(ColumnFromDeclaredType("x", "JSONISH"));
  EXPECT_FALSE(ColumnFromDeclaredType("x", ""));
}

TEST_F(SqliteProvider, ColumnsWithoutDeclaredTypesUseTheFirstRow) {
  Status status;
  auto s = Create("Provider=SQLite;Data Source=:memory:", &status);
  ASSERT_TRUE(s->Open().status.ok());
  Result r = s->Execute(Sql("SELECT 5000000000 AS big, 1.5 AS real, 'abc' AS txt, x'00ff' AS bin, NULL AS none_here"));
  ASSERT_TRUE(r.status.ok()) << Describe(r.status);
  const auto& cols = r.sets.at(0).rows->Columns();
  EXPECT_EQ(cols[0].type, adBigInt);
  EXPECT_EQ(cols[1].type, adDouble);
  EXPECT_EQ(cols[2].type, adVarWChar);
  EXPECT_EQ(cols[3].type, adLongVarBinary);
  EXPECT_EQ(cols[4].type, adVarWChar);
  EXPECT_EQ(r.sets[0].rows->Kind(0, 4), CellKind::Null);
  // Base table, key and nullability come from the schema.
  ASSERT_TRUE(s->Execute(Sql("CREATE TABLE k (id INTEGER PRIMARY KEY, name TEXT NOT NULL, note TEXT)")).status.ok());
  Result k = s->Execute(Sql("SELECT id, name AS n, note FROM k"));
  const auto& kc = k.sets.at(0).rows->Columns();
  EXPECT_EQ(kc[1].baseTable, "k");
  EXPECT_EQ(kc[1].baseColumn, "name");
  EXPECT_TRUE(kc[0].attributes & adFldKeyColumn);
  EXPECT_FALSE(kc[1].attributes & adFldIsNullable);
  EXPECT_TRUE(kc[2].attributes & adFldIsNullable);
}

}  // namespace
}  // namespace tarnel::adodb::provider::testing
