// Connection against both engines: opening and closing with their errors,
// Execute and what it returns, provider errors in the Errors collection,
// transactions (nested as savepoints), and the synchronous events.
#include "adodb_test_support.h"

namespace tarnel::adodb::testing {
namespace {

using ConnectionTest = AdodbTest;

TEST_P(ConnectionTest, OpenCloseAndTheirErrors) {
  ComPtr<Dispatch> conn = Open();
  EXPECT_EQ(Long(Get(conn.get(), u"State")), adStateOpen);
  EXPECT_EQ(Str(Get(conn.get(), u"Provider")), IsPg() ? u"PostgreSQL" : u"SQLite");
  EXPECT_EQ(ErrorOf([&] { Call(conn.get(), u"Open", {Variant(ConnectionString())}); }), adErrObjectOpen);
  EXPECT_EQ(ErrorOf([&] { Put(conn.get(), u"ConnectionString", V(u"x")); }), adErrObjectOpen);
  Call(conn.get(), u"Close");
  EXPECT_EQ(Long(Get(conn.get(), u"State")), adStateClosed);
  EXPECT_EQ(ErrorOf([&] { Call(conn.get(), u"Close"); }), adErrObjectClosed);
  // Closed, a connection opens again.
  Call(conn.get(), u"Open");
  EXPECT_EQ(Long(Get(conn.get(), u"State")), adStateOpen);
}

TEST_P(ConnectionTest, ExecuteReturnsRowsAClosedRecordsetOrNothing) {
  ComPtr<Dispatch> conn = Open();
  Execute(conn.get(), u"CREATE TABLE t (id INTEGER PRIMARY KEY, name VARCHAR(20))");
  Variant affected = V(-7);
  ComPtr<Dispatch> insert =
      Obj(Call(conn.get(), u"Execute", {V(u"INSERT INTO t VALUES (1, 'a'), (2, 'b')"), Variant::Ref(&affected)}));
  ASSERT_TRUE(insert);
  EXPECT_EQ(Long(Get(insert.get(), u"State")), adStateClosed) << "an action statement gives a closed recordset";
  EXPECT_EQ(Long(affected), 2);
  EXPECT_EQ(ErrorOf([&] { Call(insert.get(), u"Close"); }), adErrObjectClosed);

  Variant none = Call(conn.get(), u"Execute", {V(u"UPDATE t SET name = 'c'"), Variant::Ref(&affected),
                                               V(adCmdText | adExecuteNoRecords)});
  EXPECT_EQ(TypeName(none), u"Nothing");
  EXPECT_EQ(Long(affected), 2);

  ComPtr<Dispatch> rs = Execute(conn.get(), u"SELECT id, name FROM t ORDER BY id");
  EXPECT_EQ(Long(Get(rs.get(), u"State")), adStateOpen);
  EXPECT_EQ(Str(Get(rs.get(), u"Source")), u"SELECT id, name FROM t ORDER BY id");
  EXPECT_EQ(Long(Get(rs.get(), u"RecordCount")), 2);
  EXPECT_EQ(Long(Get(rs.get(), u"CursorType")), adOpenStatic);
  EXPECT_EQ(Long(Get(rs.get(), u"LockType")), adLockReadOnly);
  EXPECT_EQ(Obj(Get(rs.get(), u"ActiveConnection")).get(), conn.get());

  // adCmdTable turns a table name into a query of all its rows.
  ComPtr<Dispatch> table = Obj(Call(conn.get(), u"Execute", {V(u"t"), Missing(), V(adCmdTable)}));
  EXPECT_EQ(Long(Get(table.get(), u"RecordCount")), 2);
}

TEST_P(ConnectionTest, ProviderErrorsFillTheErrorsCollectionAndAreRaised) {
  ComPtr<Dispatch> conn = Open();
  ComError raised(S_OK, u"");
  try {
    Execute(conn.get(), u"SELEC nonsense FROM nowhere");
    FAIL() << "a syntax error must be raised";
  } catch (const ComError& e) {
    raised = e;
  }
  EXPECT_EQ(raised.hr(), E_FAIL);
  EXPECT_FALSE(raised.Description().empty());
  ComPtr<Dispatch> errors = Obj(Get(conn.get(), u"Errors"));
  ASSERT_GE(Long(Get(errors.get(), u"Count")), 1);
  ComPtr<Dispatch> first = Obj(Get(errors.get(), u"Item", {V(0)}));
  EXPECT_EQ(Long(Get(first.get(), u"Number")), static_cast<std::int32_t>(E_FAIL));
  EXPECT_EQ(Str(Get(first.get(), u"Description")), raised.Description());
  EXPECT_FALSE(Str(Get(first.get(), u"Source")).empty());
  EXPECT_EQ(Str(Get(first.get(), u"SQLState")).size(), 5u);
  if (IsPg()) {
    EXPECT_EQ(Str(Get(first.get(), u"SQLState")), u"42601");
  } else {
    EXPECT_NE(Long(Get(first.get(), u"NativeError")), 0);
  }
  EXPECT_EQ(ErrorOf([&] { Get(errors.get(), u"Item", {V(99)}); }), adErrItemNotFound);
  // A successful statement leaves the collection alone; Clear empties it.
  Execute(conn.get(), u"SELECT 1");
  EXPECT_GE(Long(Get(errors.get(), u"Count")), 1);
  Call(errors.get(), u"Clear");
  EXPECT_EQ(Long(Get(errors.get(), u"Count")), 0);
}

TEST_P(ConnectionTest, OpeningAMissingDatabaseFailsWithProviderError) {
  if (IsPg()) GTEST_SKIP() << "about SQLite files";
  ComPtr<Dispatch> conn = CreateObject(u"ADODB.Connection");
  const UString cs = FromUtf8("Provider=SQLite;Data Source=" + (dir_ / "missing" / "no.db").string());
  try {
    Call(conn.get(), u"Open", {Variant(cs)});
    FAIL() << "opening a missing file must fail";
  } catch (const ComError& e) {
    EXPECT_EQ(e.hr(), E_FAIL);
  }
  EXPECT_EQ(Long(Get(conn.get(), u"State")), adStateClosed);
  EXPECT_GE(Long(Get(Obj(Get(conn.get(), u"Errors")).get(), u"Count")), 1);
}

TEST_P(ConnectionTest, TransactionsNestAndRollBackInnerLevels) {
  ComPtr<Dispatch> conn = Open();
  Execute(conn.get(), u"CREATE TABLE t (id INTEGER)");
  ComPtr<EventLog> events = Listen(conn.get(), DIID_ConnectionEvents);
  EXPECT_EQ(Long(Call(conn.get(), u"BeginTrans")), 1);
  Execute(conn.get(), u"INSERT INTO t VALUES (1)");
  EXPECT_EQ(Long(Call(conn.get(), u"BeginTrans")), 2);
  Execute(conn.get(), u"INSERT INTO t VALUES (2)");
  Call(conn.get(), u"RollbackTrans");
  EXPECT_EQ(ErrorOf([&] { Call(conn.get(), u"Close"); }), adErrInTransaction) << "level 1 is still open";
  Call(conn.get(), u"CommitTrans");
  ComPtr<Dispatch> rs = Execute(conn.get(), u"SELECT id FROM t");
  EXPECT_EQ(Long(Get(rs.get(), u"RecordCount")), 1);
  EXPECT_EQ(Long(FieldValue(rs.get(), u"id")), 1);

  ASSERT_EQ(events->Count(ev::BeginTransComplete), 2);
  EXPECT_EQ(Long(events->Last(ev::BeginTransComplete)->args[0]), 2) << "the new level";
  EXPECT_EQ(events->Count(ev::RollbackTransComplete), 1);
  EXPECT_EQ(events->Count(ev::CommitTransComplete), 1);

  // Nothing open: both are provider errors (no transaction), with events.
  try {
    Call(conn.get(), u"CommitTrans");
    FAIL();
  } catch (const ComError& e) {
    EXPECT_EQ(static_cast<std::uint32_t>(e.hr()), 0x8004D00Eu);
  }
  EXPECT_NE(ErrorOf([&] { Call(conn.get(), u"RollbackTrans"); }), 0);
  const EventLog::Entry* failed = events->Last(ev::RollbackTransComplete);
  ASSERT_TRUE(failed);
  EXPECT_EQ(Long(failed->args[1]), adStatusErrorsOccurred);
  EXPECT_EQ(TypeName(failed->args[0]), u"Error");
  Call(conn.get(), u"Close");
}

TEST_P(ConnectionTest, WillConnectCanCancelAndRewriteTheOpen) {
  ComPtr<Dispatch> conn = CreateObject(u"ADODB.Connection");
  ComPtr<EventLog> events = Listen(conn.get(), DIID_ConnectionEvents);
  events->handlers[ev::WillConnect] = [](DispParams& p) { SetLongArg(p, 4, adStatusCancel); };
  EXPECT_EQ(ErrorOf([&] { Call(conn.get(), u"Open", {Variant(ConnectionString())}); }), adErrOperationCancelled);
  EXPECT_EQ(Long(Get(conn.get(), u"State")), adStateClosed);
  const EventLog::Entry* done = events->Last(ev::ConnectComplete);
  ASSERT_TRUE(done);
  EXPECT_EQ(Long(done->args[1]), adStatusErrorsOccurred);
  EXPECT_EQ(Long(Get(Obj(done->args[0]).get(), u"Number")), static_cast<std::int32_t>(ControlError(3712)));

  // A handler may replace the connection string that is opened.
  const UString good = ConnectionString();
  events->handlers[ev::WillConnect] = [good](DispParams& p) { SetStringArg(p, 0, good); };
  Call(conn.get(), u"Open", {V(u"Provider=NoSuchEngine")});
  EXPECT_EQ(Long(Get(conn.get(), u"State")), adStateOpen);
  EXPECT_EQ(Str(Get(conn.get(), u"ConnectionString")), good);
  EXPECT_EQ(Long(events->Last(ev::ConnectComplete)->args[1]), adStatusOK);
  Call(conn.get(), u"Close");
  EXPECT_EQ(events->Count(ev::Disconnect), 1);
}

TEST_P(ConnectionTest, WillExecuteCancelsWithAdoErrorAndTheStatementDoesNotRun) {
  ComPtr<Dispatch> conn = Open();
  Execute(conn.get(), u"CREATE TABLE t (id INTEGER)");
  ComPtr<EventLog> events = Listen(conn.get(), DIID_ConnectionEvents);
  events->handlers[ev::WillExecute] = [](DispParams& p) {
    const Variant source = ArgOf(p, 0).Deref();
    if (source.bstrVal().find(u"INSERT") != UString::npos) SetLongArg(p, 4, adStatusCancel);
  };
  EXPECT_EQ(ErrorOf([&] { Execute(conn.get(), u"INSERT INTO t VALUES (1)"); }), adErrOperationCancelled);
  const EventLog::Entry* done = events->Last(ev::ExecuteComplete);
  ASSERT_TRUE(done);
  EXPECT_EQ(Long(done->args[2]), adStatusErrorsOccurred);
  EXPECT_EQ(Str(done->args[3]), u"Command") << "ExecuteComplete always names a command";
  ComPtr<Dispatch> rs = Execute(conn.get(), u"SELECT count(*) AS n FROM t");
  EXPECT_EQ(Long(FieldValue(rs.get(), u"n")), 0);

  // A handler may rewrite the statement's text.
  events->handlers[ev::WillExecute] = [](DispParams& p) {
    if (ArgOf(p, 0).Deref().bstrVal() == u"SELECT 1 AS x") SetStringArg(p, 0, u"SELECT 2 AS x");
  };
  ComPtr<Dispatch> two = Execute(conn.get(), u"SELECT 1 AS x");
  EXPECT_EQ(Long(FieldValue(two.get(), u"x")), 2);
  EXPECT_EQ(Long(events->Last(ev::ExecuteComplete)->args[2]), adStatusOK);
}

TEST_P(ConnectionTest, OpenSchemaListsTablesAndColumns) {
  ComPtr<Dispatch> conn = Open();
  Execute(conn.get(), u"CREATE TABLE gadgets (id INTEGER NOT NULL, label VARCHAR(10))");
  Execute(conn.get(), u"CREATE VIEW gadget_view AS SELECT id FROM gadgets");
  const Variant schema = IsPg() ? Variant(FromUtf8(schema_)) : Variant();
  auto restrict = [&](std::vector<Variant> r) { return Variant::Array(SafeArray::Vector(VT_VARIANT, std::move(r))); };
  constexpr std::int32_t adSchemaTables = 20, adSchemaColumns = 4;

  ComPtr<Dispatch> tables =
      Obj(Call(conn.get(), u"OpenSchema", {V(adSchemaTables), restrict({Variant(), schema, V(u"gadgets")})}));
  ASSERT_EQ(Long(Get(tables.get(), u"RecordCount")), 1);
  EXPECT_EQ(Str(FieldValue(tables.get(), u"TABLE_TYPE")), u"TABLE");
  ComPtr<Dispatch> views =
      Obj(Call(conn.get(), u"OpenSchema", {V(adSchemaTables), restrict({Variant(), schema, Variant(), V(u"VIEW")})}));
  ASSERT_EQ(Long(Get(views.get(), u"RecordCount")), 1);
  EXPECT_EQ(Str(FieldValue(views.get(), u"TABLE_NAME")), u"gadget_view");

  ComPtr<Dispatch> columns =
      Obj(Call(conn.get(), u"OpenSchema", {V(adSchemaColumns), restrict({Variant(), schema, V(u"gadgets")})}));
  ASSERT_EQ(Long(Get(columns.get(), u"RecordCount")), 2);
  EXPECT_EQ(Str(FieldValue(columns.get(), u"COLUMN_NAME")), u"id");
  EXPECT_FALSE(ToBool(FieldValue(columns.get(), u"IS_NULLABLE")));
  Call(columns.get(), u"MoveNext");
  EXPECT_EQ(Long(FieldValue(columns.get(), u"ORDINAL_POSITION")), 2);
  EXPECT_TRUE(ToBool(FieldValue(columns.get(), u"IS_NULLABLE")));
  // A restriction is a value, not SQL.
  ComPtr<Dispatch> none = Obj(
      Call(conn.get(), u"OpenSchema", {V(adSchemaTables), restrict({Variant(), Variant(), V(u"x' OR '1'='1")})}));
  EXPECT_EQ(Long(Get(none.get(), u"RecordCount")), 0);
  EXPECT_EQ(ErrorOf([&] { Call(conn.get(), u"OpenSchema", {V(12345)}); }), adErrFeatureNotAvailable);
}

TARNEL_ADODB_ENGINES(ConnectionTest);

}  // namespace
}  // namespace tarnel::adodb::testing
