// The behaviour both providers share, one test body run against each:
// opening and closing, field metadata, values in and out of the client
// store, parameters bound by the engine, several statements in one command,
// row limits, and engine errors landing in the error records.
#include <cmath>

#include "platform/adodb/provider/date_text.h"
#include "provider_test_support.h"

namespace tarnel::adodb::provider::testing {
namespace {

using Behaviour = ProviderTest;

TEST_P(Behaviour, OpenCloseAndUseAfterClose) {
  auto s = Connect();
  ASSERT_TRUE(s);
  EXPECT_TRUE(s->Connected());
  EXPECT_EQ(s->ProviderName(), IsPg() ? "PostgreSQL" : "SQLite");
  Result again = s->Open();
  EXPECT_EQ(again.status.number, ControlError(3705));
  EXPECT_TRUE(s->Close().status.ok());
  EXPECT_FALSE(s->Connected());
  Result r = Run(*s, "SELECT 1");
  EXPECT_EQ(r.status.number, ControlError(3709));
  EXPECT_TRUE(r.status.errors.empty());
  // A closed session opens again.
  EXPECT_TRUE(s->Open().status.ok());
  EXPECT_TRUE(Run(*s, "SELECT 1").status.ok());
}

TEST_P(Behaviour, FieldMetadataFollowsDeclaredTypes) {
  auto s = Connect();
  ASSERT_TRUE(s);
  Ok(*s, "CREATE TABLE t (i INTEGER NOT NULL PRIMARY KEY, b BIGINT, sm SMALLINT, d DOUBLE PRECISION, "
         "v VARCHAR(20), c CHAR(5), tx TEXT, n NUMERIC(10,2), bo BOOLEAN, ts TIMESTAMP, dt DATE, bl " +
             BinaryType() + ")");
  Result r = Ok(*s, "SELECT * FROM t");
  ASSERT_EQ(r.sets.size(), 1u);
  ASSERT_TRUE(r.sets[0].rows);
  const auto& cols = r.sets[0].rows->Columns();
  ASSERT_EQ(cols.size(), 12u);
  struct Expect {
    const char* name;
    DataTypeEnum type;
    std::int32_t size;
    int precision;
    int scale;
  };
  const Expect expected[] = {
      {"i", adInteger, 4, 10, 0},          {"b", adBigInt, 8, 19, 0},
      {"sm", adSmallInt, 2, 5, 0},         {"d", adDouble, 8, 15, 255},
      {"v", adVarWChar, 20, 255, 255},     {"c", adWChar, 5, 255, 255},
      {"tx", adLongVarWChar, kLongTextSize, 255, 255},
      {"n", adNumeric, 19, 10, 2},         {"bo", adBoolean, 2, 255, 255},
      {"ts", adDBTimeStamp, 16, 23, 3},    {"dt", adDBDate, 6, 10, 255},
      {"bl", adLongVarBinary, kLongBinarySize, 255, 255},
  };
  for (std::size_t i = 0; i < cols.size(); ++i) {
    SCOPED_TRACE(expected[i].name);
    EXPECT_EQ(cols[i].name, expected[i].name);
    EXPECT_EQ(cols[i].type, expected[i].type);
    EXPECT_EQ(cols[i].definedSize, expected[i].size);
    EXPECT_EQ(cols[i].precision, expected[i].precision);
    EXPECT_EQ(cols[i].numericScale, expected[i].scale);
  }
  EXPECT_TRUE(cols[10].attributes & adFldMayBeNull);
  EXPECT_TRUE(cols[6].attributes & adFldLong);
  EXPECT_TRUE(cols[0].attributes & adFldFixed);
  // An integer expression without a declared type.
  Result e = Ok(*s, "SELECT 1 + 1 AS two");
  EXPECT_EQ(e.sets[0].rows->Columns()[0].type, adInteger);
  EXPECT_EQ(e.sets[0].rows->Columns()[0].name, "two");
}

TEST_P(Behaviour, ValuesRoundTripThroughBoundParameters) {
  auto s = Connect();
  ASSERT_TRUE(s);
  Ok(*s, "CREATE TABLE v (i INTEGER, b BIGINT, d DOUBLE PRECISION, t VARCHAR(100), n NUMERIC(10,2), bo BOOLEAN, "
         "ts TIMESTAMP, bl " + BinaryType() + ", z INTEGER)");
  const double when = *OleDateFromIso("2024-03-01 12:30:15.250");
  const std::string blob("\x00\x01\xff\x00z", 5);
  const std::string text = "O'Brien; DROP TABLE v; -- Grüße ✓ 😀";
  Result ins = Ok(*s, "INSERT INTO v VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)",
                  {In(Value::Int(-42), adInteger), In(Value::Int(9007199254740993LL), adBigInt),
                   In(Value::Real(0.1), adDouble), In(Value::Text(text), adVarWChar),
                   In(Value::Decimal("12.34"), adNumeric), In(Value::Bool(true), adBoolean),
                   In(Value::OleDate(when), adDBTimeStamp), In(Value::Binary(blob), adLongVarBinary),
                   In(Value::Null(), adInteger)});
  EXPECT_EQ(ins.recordsAffected, 1);
  Result r = Ok(*s, "SELECT i, b, d, t, n, bo, ts, bl, z FROM v");
  ASSERT_TRUE(r.sets.at(0).rows);
  const RowStore& rows = *r.sets[0].rows;
  ASSERT_EQ(rows.RowCount(), 1u);
  EXPECT_EQ(rows.Kind(0, 0), CellKind::Integer);
  EXPECT_EQ(rows.Integer(0, 0), -42);
  EXPECT_EQ(rows.Integer(0, 1), 9007199254740993LL);
  EXPECT_EQ(rows.Kind(0, 2), CellKind::Double);
  EXPECT_EQ(rows.Double(0, 2), 0.1);
  EXPECT_EQ(rows.Kind(0, 3), CellKind::Text);
  EXPECT_EQ(rows.Bytes(0, 3), text);
  EXPECT_EQ(rows.TextUtf16(0, 3), FromUtf8(text));
  // NUMERIC keeps its digits on PostgreSQL; SQLite stores it as a REAL.
  if (rows.Kind(0, 4) == CellKind::Numeric) {
    EXPECT_EQ(rows.Bytes(0, 4), "12.34");
  } else {
    EXPECT_EQ(rows.Kind(0, 4), CellKind::Double);
    EXPECT_DOUBLE_EQ(rows.Double(0, 4), 12.34);
  }
  EXPECT_EQ(rows.Kind(0, 5), CellKind::Boolean);
  EXPECT_EQ(rows.Integer(0, 5), 1);
  EXPECT_EQ(rows.Kind(0, 6), CellKind::Date);
  EXPECT_NEAR(rows.Double(0, 6), when, 1e-9);
  EXPECT_EQ(rows.Kind(0, 7), CellKind::Blob);
  EXPECT_EQ(rows.Bytes(0, 7), blob);
  EXPECT_EQ(rows.Kind(0, 8), CellKind::Null);
}

TEST_P(Behaviour, PlaceholdersInsideLiteralsAndCommentsAreText) {
  auto s = Connect();
  ASSERT_TRUE(s);
  Result r = Ok(*s, "SELECT '?' AS q, ? AS p /* ? */ -- ?\n", {In(Value::Text("x"), adVarWChar)});
  ASSERT_TRUE(r.sets.at(0).rows);
  EXPECT_EQ(r.sets[0].rows->Bytes(0, 0), "?");
  EXPECT_EQ(r.sets[0].rows->Bytes(0, 1), "x");
}

TEST_P(Behaviour, WrongParameterCountIsAnError) {
  auto s = Connect();
  ASSERT_TRUE(s);
  Ok(*s, "CREATE TABLE p (a INTEGER, b INTEGER)");
  Result few = Run(*s, "INSERT INTO p VALUES (?, ?)", {In(Value::Int(1))});
  EXPECT_EQ(few.status.number, E_FAIL);
  ASSERT_EQ(few.status.errors.size(), 1u);
  EXPECT_EQ(few.status.errors[0].sqlState, "07002");
  Result many = Run(*s, "SELECT ?", {In(Value::Int(1)), In(Value::Int(2))});
  EXPECT_FALSE(many.status.ok());
  EXPECT_EQ(many.status.errors.at(0).sqlState, "07002");
  Result count = Ok(*s, "SELECT count(*) FROM p");
  EXPECT_EQ(count.sets[0].rows->Integer(0, 0), 0);
}

TEST_P(Behaviour, EngineErrorsLandInTheErrorRecords) {
  auto s = Connect();
  ASSERT_TRUE(s);
  Result syntax = Run(*s, "SELEC 1");
  EXPECT_EQ(syntax.status.number, E_FAIL);
  ASSERT_EQ(syntax.status.errors.size(), 1u);
  const ErrorRecord& e = syntax.status.errors[0];
  EXPECT_EQ(e.number, E_FAIL);
  EXPECT_NE(e.description.find("syntax error"), std::string::npos) << e.description;
  EXPECT_EQ(syntax.status.description, e.description);
  EXPECT_EQ(e.source, IsPg() ? "TarnelTools PostgreSQL Provider" : "TarnelTools SQLite Provider");
  EXPECT_EQ(e.sqlState.size(), 5u);
  EXPECT_EQ(e.sqlState.substr(0, 2), "42");
  EXPECT_TRUE(syntax.sets.empty());

  Ok(*s, "CREATE TABLE u (k INTEGER PRIMARY KEY)");
  Ok(*s, "INSERT INTO u VALUES (1)");
  Result dup = Run(*s, "INSERT INTO u VALUES (1)");
  ASSERT_FALSE(dup.status.ok());
  EXPECT_EQ(dup.status.errors.at(0).sqlState.substr(0, 2), "23");
  Result missing = Run(*s, "SELECT * FROM no_such_table");
  ASSERT_FALSE(missing.status.ok());
  EXPECT_NE(missing.status.description.find("no_such_table"), std::string::npos);
  Result empty = Run(*s, "  ");
  EXPECT_FALSE(empty.status.ok());
  // The connection is still usable.
  EXPECT_EQ(Ok(*s, "SELECT count(*) FROM u").sets[0].rows->Integer(0, 0), 1);
}

TEST_P(Behaviour, SeveralStatementsGiveSeveralResults) {
  auto s = Connect();
  ASSERT_TRUE(s);
  Result r = Ok(*s, "CREATE TABLE m (a INTEGER); INSERT INTO m VALUES (1), (2), (3); "
                    "UPDATE m SET a = a * 10 WHERE a >= 2; SELECT a FROM m ORDER BY a");
  ASSERT_EQ(r.sets.size(), 4u);
  EXPECT_FALSE(r.sets[0].rows);
  EXPECT_EQ(r.sets[1].recordsAffected, 3);
  EXPECT_EQ(r.sets[2].recordsAffected, 2);
  EXPECT_EQ(r.recordsAffected, 5);
  ASSERT_TRUE(r.sets[3].rows);
  EXPECT_EQ(r.sets[3].recordsAffected, -1);
  ASSERT_EQ(r.sets[3].rows->RowCount(), 3u);
  EXPECT_EQ(r.sets[3].rows->Integer(2, 0), 30);
  // A failing statement fails the command; earlier statements have run.
  Result bad = Run(*s, "INSERT INTO m VALUES (4); SELECT nope FROM m");
  EXPECT_FALSE(bad.status.ok());
  EXPECT_TRUE(bad.sets.empty());
}

TEST_P(Behaviour, RowLimitsTableCommandsAndDiscardedRows) {
  auto s = Connect();
  ASSERT_TRUE(s);
  Ok(*s, "CREATE TABLE r (a INTEGER)");
  for (int i = 0; i < 10; ++i) Ok(*s, "INSERT INTO r VALUES (?)", {In(Value::Int(i))});
  CommandRequest limited = Sql("SELECT a FROM r ORDER BY a");
  limited.maxRecords = 4;
  Result few = s->Execute(limited);
  ASSERT_TRUE(few.status.ok());
  EXPECT_EQ(few.sets.at(0).rows->RowCount(), 4u);
  CommandRequest table = Sql("r");
  table.type = adCmdTable;
  Result all = s->Execute(table);
  ASSERT_TRUE(all.status.ok()) << Describe(all.status);
  EXPECT_EQ(all.sets.at(0).rows->RowCount(), 10u);
  CommandRequest none = Sql("SELECT a FROM r");
  none.noRecords = true;
  Result discarded = s->Execute(none);
  ASSERT_TRUE(discarded.status.ok());
  EXPECT_FALSE(discarded.sets.at(0).rows);
  Result update = Ok(*s, "UPDATE r SET a = a + 1 WHERE a < 3");
  EXPECT_EQ(update.recordsAffected, 3);
  EXPECT_EQ(Ok(*s, "SELECT a FROM r").recordsAffected, -1);
}

TEST_P(Behaviour, EmptyResultKeepsItsColumns) {
  auto s = Connect();
  ASSERT_TRUE(s);
  Ok(*s, "CREATE TABLE e (id INTEGER, name VARCHAR(30))");
  Result r = Ok(*s, "SELECT id, name FROM e");
  ASSERT_TRUE(r.sets.at(0).rows);
  EXPECT_EQ(r.sets[0].rows->RowCount(), 0u);
  ASSERT_EQ(r.sets[0].rows->ColumnCount(), 2u);
  EXPECT_EQ(r.sets[0].rows->Columns()[1].type, adVarWChar);
  EXPECT_EQ(r.sets[0].rows->Columns()[1].definedSize, 30);
}

TEST_P(Behaviour, ResultColumnsNameTheirBaseTableAndKey) {
  auto s = Connect();
  ASSERT_TRUE(s);
  Ok(*s, "CREATE TABLE parts (id INTEGER PRIMARY KEY, name VARCHAR(20) NOT NULL, note TEXT)");
  Ok(*s, "CREATE TABLE \"odd.na\"\"me\" (k INTEGER NOT NULL, v INTEGER NOT NULL, w INTEGER, PRIMARY KEY (k, v))");
  Result r = Ok(*s, "SELECT p.id, p.name AS label, p.note, 1 + 1 AS two, o.v, o.w FROM parts p "
                    "JOIN \"odd.na\"\"me\" o ON o.k = p.id");
  const auto& cols = r.sets.at(0).rows->Columns();
  ASSERT_EQ(cols.size(), 6u);
  const std::string schema = IsPg() ? schema_ : "main";
  struct Expect {
    const char* table;
    const char* column;
    bool key;
    bool nullable;
  };
  const Expect expected[] = {{"parts", "id", true, false},           {"parts", "name", false, false},
                             {"parts", "note", false, true},         {"", "", false, true},
                             {"odd.na\"me", "v", true, false},       {"odd.na\"me", "w", false, true}};
  for (std::size_t i = 0; i < cols.size(); ++i) {
    SCOPED_TRACE(cols[i].name);
    EXPECT_EQ(cols[i].baseTable, expected[i].table);
    EXPECT_EQ(cols[i].baseColumn, expected[i].column);
    EXPECT_EQ(cols[i].baseSchema, *expected[i].table ? schema : "");
    EXPECT_EQ((cols[i].attributes & adFldKeyColumn) != 0, expected[i].key);
    EXPECT_EQ((cols[i].attributes & adFldIsNullable) != 0, expected[i].nullable);
    EXPECT_EQ((cols[i].attributes & adFldUpdatable) != 0, *expected[i].table != 0);
  }
  EXPECT_EQ(cols[1].name, "label") << "the result keeps its own column name";
  // A changed definition shows in the next result of the same session.
  Ok(*s, "ALTER TABLE parts RENAME COLUMN note TO remark");
  Result renamed = Ok(*s, "SELECT remark FROM parts");
  EXPECT_EQ(renamed.sets.at(0).rows->Columns()[0].baseColumn, "remark");
  // Rows computed from other rows name no base table.
  Result grouped = Ok(*s, "SELECT count(*) AS n FROM parts");
  EXPECT_EQ(grouped.sets.at(0).rows->Columns()[0].baseTable, "");
  // Inside a transaction the description leaves the transaction as it was.
  ASSERT_TRUE(s->BeginTrans().status.ok());
  Ok(*s, "CREATE TABLE later (id INTEGER PRIMARY KEY)");
  Ok(*s, "INSERT INTO later VALUES (1)");
  Result inside = Ok(*s, "SELECT id FROM later");
  EXPECT_TRUE(inside.sets.at(0).rows->Columns()[0].attributes & adFldKeyColumn);
  EXPECT_EQ(inside.transactionLevel, 1);
  ASSERT_TRUE(s->CommitTrans().status.ok());
  EXPECT_EQ(Ok(*s, "SELECT id FROM later").sets.at(0).rows->RowCount(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Providers, Behaviour, ::testing::Values(Engine::SQLite, Engine::PostgreSQL), EngineName);

}  // namespace
}  // namespace tarnel::adodb::provider::testing
