// AdoGetField remembers where it found a field by name. What it remembers
// must never outlive what it describes: a new statement on the same handle,
// another handle's recordset with the same column names, names in another
// case, more names than it keeps, and a handle given back and taken again
// all read the field the recordset itself names.
#include "ado_test_support.h"

namespace tarnel::testing_ado {
namespace {

class FieldLookup : public AdoTest {
 protected:
  void SetUp() override {
    AdoTest::SetUp();
    CallByName(ado->AsDispatch(), u"DebugMode", DISPATCH_PROPERTYPUT, {Variant(std::int32_t{0})});
  }

  // A handle on its own database file with table T (a, b, c) of two rows.
  std::int32_t Table(const std::string& file, const std::string& rows) {
    std::int32_t h = ConnectOpen(SqliteConnection(file));
    Run(h, "CREATE TABLE T(a INTEGER, b TEXT, c REAL)");
    Run(h, "INSERT INTO T VALUES " + rows);
    return h;
  }
};

TEST_F(FieldLookup, ANewStatementOnTheHandleReadsItsOwnColumns) {
  std::int32_t h = Table("one.db", "(1, 'x', 1.5), (2, 'y', 2.5)");
  Run(h, "SELECT a, b, c FROM T ORDER BY a");
  EXPECT_EQ(Field(h, u"b"), "x");
  EXPECT_EQ(Field(h, u"c"), "1.5");
  // The same names at other positions, then fewer columns.
  Run(h, "SELECT c, b, a FROM T ORDER BY a DESC");
  EXPECT_EQ(Field(h, u"b"), "y");
  EXPECT_EQ(Field(h, u"a"), "2");
  EXPECT_EQ(Field(h, u"c"), "2.5");
  Run(h, "SELECT b AS c FROM T ORDER BY a");
  EXPECT_EQ(Field(h, u"c"), "x");
  EXPECT_EQ(ErrorNumberOf([&] { Field(h, u"b"); }), 3265);
  // The row moves: the remembered field reads the current row.
  ASSERT_EQ(Next(h), 0);
  EXPECT_EQ(Field(h, u"c"), "y");
}

TEST_F(FieldLookup, TheSameRecordsetReopenedWithOtherColumns) {
  // A script given the handle's recordset by an event reopens it: the same
  // object, new Field objects, the names at other positions.
  std::int32_t h = Table("reopen.db", "(1, 'x', 1.5)");
  ClearLines();
  Run(h, "SELECT a, b FROM T");
  EXPECT_EQ(Field(h, u"a"), "1");
  EXPECT_EQ(Field(h, u"b"), "x");
  std::vector<Container::Received> completions = container->Of(kExecuteComplete);
  ASSERT_FALSE(completions.empty());
  const std::vector<Variant>& args = completions.back().args;  // ..., pCommand, pRecordset, pConnection
  ASSERT_EQ(args.size(), 6u);
  ASSERT_TRUE(args[4].IsObject() && args[5].IsObject());
  Dispatch* recordset = args[4].Target().pdispVal();
  CallByName(recordset, u"Close", DISPATCH_METHOD);
  CallByName(recordset, u"Open", DISPATCH_METHOD, {Variant(u"SELECT b AS a, a AS b FROM T"), args[5]});
  EXPECT_EQ(Field(h, u"a"), "x");
  EXPECT_EQ(Field(h, u"b"), "1");
}

TEST_F(FieldLookup, HandlesWithTheSameColumnNamesKeepToTheirOwn) {
  std::int32_t first = Table("first.db", "(1, 'first', 0.5)");
  std::int32_t second = Table("second.db", "(2, 'second', 0.25)");
  Run(first, "SELECT a, b, c FROM T");
  Run(second, "SELECT c, a, b FROM T");
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(Field(first, u"b"), "first");
    EXPECT_EQ(Field(second, u"b"), "second");
    EXPECT_EQ(Field(second, u"a"), "2");
    EXPECT_EQ(Field(first, u"a"), "1");
  }
}

TEST_F(FieldLookup, NamesInAnyCaseAndMoreNamesThanItKeeps) {
  std::int32_t h = ConnectOpen(SqliteConnection());
  std::string select = "SELECT ";
  for (int i = 0; i < 40; ++i) select += (i ? ", " : "") + std::to_string(i * 10) + " AS col" + std::to_string(i);
  Run(h, select);
  for (int round = 0; round < 2; ++round) {
    for (int i = 0; i < 40; ++i) {
      const UString lower = FromUtf8("col" + std::to_string(i));
      const UString upper = FromUtf8("COL" + std::to_string(i));
      EXPECT_EQ(Field(h, lower.c_str()), std::to_string(i * 10));
      EXPECT_EQ(Field(h, upper.c_str()), std::to_string(i * 10));
    }
  }
}

TEST_F(FieldLookup, AHandleGivenBackAndTakenAgainReadsTheNewRecordset) {
  for (int round = 0; round < 4; ++round) {
    const std::string file = "round" + std::to_string(round) + ".db";
    std::int32_t h = Table(file, "(" + std::to_string(round) + ", 'r" + std::to_string(round) + "', 0.5)");
    // Alternate the column order, so that a stale position would show.
    Run(h, round % 2 ? "SELECT b, a FROM T" : "SELECT a, b FROM T");
    EXPECT_EQ(Field(h, u"a"), std::to_string(round));
    EXPECT_EQ(Field(h, u"b"), "r" + std::to_string(round));
    ASSERT_EQ(ado->AdoDisconnect(h), 0);
    EXPECT_EQ(ErrorNumberOf([&] { Field(h, u"a"); }), -2147221504) << "a handle given back has no fields";
  }
}

}  // namespace
}  // namespace tarnel::testing_ado
