// Commands and parameters against both engines: building the Parameters
// collection and its errors, values bound by the engine (an injection
// string is stored as it is), Execute's parameter array, a Command as a
// recordset's source, background execution, and stored procedures and
// functions with output, input-output and return values on PostgreSQL.
#include "adodb_test_support.h"

namespace tarnel::adodb::testing {
namespace {

class CommandTest : public AdodbTest {
 protected:
  void SetUp() override {
    AdodbTest::SetUp();
    if (IsSkipped()) return;
    conn_ = Open();
    Execute(conn_.get(), u"CREATE TABLE notes (id INTEGER, body VARCHAR(200), amount NUMERIC(12,3), day DATE)");
  }

  ComPtr<Dispatch> NewCommand(const char16_t* text) {
    ComPtr<Dispatch> cmd = CreateObject(u"ADODB.Command");
    PutRef(cmd.get(), u"ActiveConnection", Variant(conn_.get()));
    Put(cmd.get(), u"CommandText", V(text));
    return cmd;
  }

  static void AddParameter(Dispatch* cmd, const char16_t* name, std::int32_t type, std::int32_t direction,
                           std::int32_t size, Variant value) {
    Variant p = Call(cmd, u"CreateParameter", {V(name), V(type), V(direction), V(size), std::move(value)});
    Call(Obj(Get(cmd, u"Parameters")).get(), u"Append", {p});
  }

  ComPtr<Dispatch> conn_;
};

TEST_P(CommandTest, ParametersCollectionRules) {
  ComPtr<Dispatch> cmd = NewCommand(u"SELECT 1");
  ComPtr<Dispatch> params = Obj(Get(cmd.get(), u"Parameters"));
  Variant p = Call(cmd.get(), u"CreateParameter", {V(u"Amount"), V(adNumeric), V(adParamInput), V(0), Variant(1.5)});
  EXPECT_EQ(Long(Get(params.get(), u"Count")), 0) << "CreateParameter does not append";
  Call(params.get(), u"Append", {p});
  EXPECT_EQ(ErrorOf([&] { Call(params.get(), u"Append", {p}); }), adErrObjectInCollection);
  EXPECT_EQ(Obj(Get(params.get(), u"Item", {V(u"amount")})).get(), Obj(p).get()) << "found by name, any case";
  EXPECT_EQ(ErrorOf([&] { Get(params.get(), u"Item", {V(u"missing")}); }), adErrItemNotFound);
  // A variable-length type needs a size; a parameter needs a type.
  Variant text = Call(cmd.get(), u"CreateParameter", {V(u"t"), V(adVarWChar), V(adParamInput), V(0), V(u"x")});
  EXPECT_EQ(ErrorOf([&] { Call(params.get(), u"Append", {text}); }), adErrInvalidParamInfo);
  Variant untyped = Call(cmd.get(), u"CreateParameter", {V(u"u")});
  EXPECT_EQ(ErrorOf([&] { Call(params.get(), u"Append", {untyped}); }), adErrInvalidParamInfo);
  EXPECT_EQ(ErrorOf([&] { Call(params.get(), u"Append", {V(u"not a parameter")}); }), 13);
  Call(params.get(), u"Delete", {V(u"AMOUNT")});
  EXPECT_EQ(Long(Get(params.get(), u"Count")), 0);
}

TEST_P(CommandTest, ValuesAreBoundByTheEngineNeverPastedIntoTheText) {
  ComPtr<Dispatch> insert = NewCommand(u"INSERT INTO notes (id, body, amount, day) VALUES (?, ?, ?, ?)");
  const UString hostile = u"x'); DROP TABLE notes; -- \"quoted\" ? $1 \u00e9";
  AddParameter(insert.get(), u"id", adInteger, adParamInput, 0, V(1));
  AddParameter(insert.get(), u"body", adVarWChar, adParamInput, 200, Variant(hostile));
  AddParameter(insert.get(), u"amount", adNumeric, adParamInput, 0, Variant(12.345));
  AddParameter(insert.get(), u"day", adDBDate, adParamInput, 0, Variant::FromDate(45000.0));
  Variant affected;
  Call(insert.get(), u"Execute", {Variant::Ref(&affected), Missing(), V(adExecuteNoRecords)});
  EXPECT_EQ(Long(affected), 1);
  // Execute's array replaces input values by position, for this run only.
  std::vector<Variant> values{V(2), Variant(u"second")};
  Call(insert.get(), u"Execute", {Missing(), Variant::Array(SafeArray::Vector(VT_VARIANT, values))});
  ComPtr<Dispatch> p1 = Obj(Get(Obj(Get(insert.get(), u"Parameters")).get(), u"Item", {V(0)}));
  EXPECT_EQ(Long(Get(p1.get(), u"Value")), 1);

  ComPtr<Dispatch> select = NewCommand(u"SELECT body, amount, day FROM notes WHERE id = ?");
  AddParameter(select.get(), u"id", adInteger, adParamInput, 0, V(1));
  ComPtr<Dispatch> rs = Obj(Call(select.get(), u"Execute"));
  EXPECT_EQ(Str(FieldValue(rs.get(), u"body")), hostile);
  EXPECT_EQ(TextOf(FieldValue(rs.get(), u"amount"), Locale::Named("en-US")), u"12.345");
  EXPECT_DOUBLE_EQ(FieldValue(rs.get(), u"day").Deref().dblVal(), 45000.0);
  ComPtr<Dispatch> count = Execute(conn_.get(), u"SELECT count(*) AS n FROM notes");
  EXPECT_EQ(Long(FieldValue(count.get(), u"n")), 2) << "the table is still there";

  // Null binds as NULL.
  Put(Obj(Get(Obj(Get(select.get(), u"Parameters")).get(), u"Item", {V(0)})).get(), u"Value", Variant::Null());
  ComPtr<Dispatch> none = Obj(Call(select.get(), u"Execute"));
  EXPECT_TRUE(ToBool(Get(none.get(), u"EOF")));
}

TEST_P(CommandTest, ACommandIsARecordsetSourceAndRunsInTheBackground) {
  Execute(conn_.get(), u"INSERT INTO notes (id, body) VALUES (1, 'a'), (2, 'b')");
  ComPtr<Dispatch> cmd = NewCommand(u"SELECT body FROM notes WHERE id >= ? ORDER BY id");
  AddParameter(cmd.get(), u"from", adInteger, adParamInput, 0, V(2));
  ComPtr<Dispatch> rs = CreateObject(u"ADODB.Recordset");
  Call(rs.get(), u"Open", {Variant(cmd.get())});
  EXPECT_EQ(Str(FieldValue(rs.get(), u"body")), u"b");
  EXPECT_EQ(Str(Get(rs.get(), u"Source")), u"SELECT body FROM notes WHERE id >= ? ORDER BY id");
  EXPECT_EQ(Obj(Get(rs.get(), u"ActiveCommand")).get(), cmd.get());
  EXPECT_EQ(ErrorOf([&] { PutRef(rs.get(), u"ActiveConnection", Variant(conn_.get())); }), adErrBoundToCommand);

  ComPtr<Dispatch> slow = NewCommand(LongStatement().c_str());
  ComPtr<EventLog> events = Listen(conn_.get(), DIID_ConnectionEvents);
  ComPtr<Dispatch> running = Obj(Call(slow.get(), u"Execute", {Missing(), Missing(), V(adAsyncExecute)}));
  EXPECT_EQ(Long(Get(slow.get(), u"State")), adStateExecuting);
  Call(slow.get(), u"Cancel");
  ASSERT_TRUE(RunMessagesUntil([&] { return events->Count(ev::ExecuteComplete) == 1; }));
  EXPECT_EQ(Long(Get(slow.get(), u"State")), adStateClosed);
  EXPECT_EQ(Long(events->Last(ev::ExecuteComplete)->args[2]), adStatusErrorsOccurred);
  EXPECT_EQ(events->Last(ev::ExecuteComplete)->objects[3], slow.get()) << "pCommand is the command";
}

TEST_P(CommandTest, ClosingTheConnectionDetachesItsCommands) {
  ComPtr<Dispatch> cmd = NewCommand(u"SELECT 1 AS one");
  Call(conn_.get(), u"Close");
  EXPECT_EQ(TypeName(Get(cmd.get(), u"ActiveConnection")), u"Nothing");
  EXPECT_EQ(ErrorOf([&] { Call(cmd.get(), u"Execute"); }), adErrInvalidConnection);
  // A connection string makes the command open a connection of its own.
  Put(cmd.get(), u"ActiveConnection", Variant(ConnectionString()));
  EXPECT_EQ(Long(FieldValue(Obj(Call(cmd.get(), u"Execute")).get(), u"one")), 1);
}

TEST_P(CommandTest, StoredProceduresAndFunctionsReturnTheirOutputs) {
  if (!IsPg()) {
    ComPtr<Dispatch> cmd = NewCommand(u"no_procedures_here");
    Put(cmd.get(), u"CommandType", V(adCmdStoredProc));
    EXPECT_NE(ErrorOf([&] { Call(cmd.get(), u"Execute"); }), 0) << "SQLite has none";
    return;
  }
  Execute(conn_.get(),
          u"CREATE PROCEDURE bump(INOUT total INTEGER, IN step INTEGER, INOUT label TEXT) LANGUAGE plpgsql AS "
          u"$$ BEGIN total := total + step; label := label || '!'; END $$");
  Execute(conn_.get(), u"CREATE FUNCTION twice(x INTEGER, OUT doubled INTEGER, OUT shown TEXT) LANGUAGE sql AS "
                       u"$$ SELECT x * 2, 'x=' || x $$");
  Execute(conn_.get(), u"CREATE FUNCTION add_one(x INTEGER) RETURNS INTEGER LANGUAGE sql AS $$ SELECT x + 1 $$");

  ComPtr<Dispatch> bump = NewCommand(u"bump");
  Put(bump.get(), u"CommandType", V(adCmdStoredProc));
  AddParameter(bump.get(), u"total", adInteger, adParamInputOutput, 0, V(40));
  AddParameter(bump.get(), u"step", adInteger, adParamInput, 0, V(2));
  AddParameter(bump.get(), u"label", adVarWChar, adParamInputOutput, 50, V(u"hi"));
  Call(bump.get(), u"Execute");
  ComPtr<Dispatch> params = Obj(Get(bump.get(), u"Parameters"));
  EXPECT_EQ(Long(Get(Obj(Get(params.get(), u"Item", {V(u"total")})).get(), u"Value")), 42);
  EXPECT_EQ(Str(Get(Obj(Get(params.get(), u"Item", {V(u"label")})).get(), u"Value")), u"hi!");
  EXPECT_EQ(Long(Get(Obj(Get(params.get(), u"Item", {V(u"step")})).get(), u"Value")), 2) << "inputs stay";

  ComPtr<Dispatch> twice = NewCommand(u"twice");
  Put(twice.get(), u"CommandType", V(adCmdStoredProc));
  AddParameter(twice.get(), u"x", adInteger, adParamInput, 0, V(21));
  AddParameter(twice.get(), u"doubled", adInteger, adParamOutput, 0, Missing());
  AddParameter(twice.get(), u"shown", adVarWChar, adParamOutput, 20, Missing());
  // In the background, the outputs are there once the completion ran.
  ComPtr<EventLog> events = Listen(conn_.get(), DIID_ConnectionEvents);
  Call(twice.get(), u"Execute", {Missing(), Missing(), V(adAsyncExecute)});
  ASSERT_TRUE(RunMessagesUntil([&] { return events->Count(ev::ExecuteComplete) == 1; }));
  ComPtr<Dispatch> outs = Obj(Get(twice.get(), u"Parameters"));
  EXPECT_EQ(Long(Get(Obj(Get(outs.get(), u"Item", {V(u"doubled")})).get(), u"Value")), 42);
  EXPECT_EQ(Str(Get(Obj(Get(outs.get(), u"Item", {V(u"shown")})).get(), u"Value")), u"x=21");

  ComPtr<Dispatch> addOne = NewCommand(u"add_one");
  Put(addOne.get(), u"CommandType", V(adCmdStoredProc));
  AddParameter(addOne.get(), u"RETURN_VALUE", adInteger, adParamReturnValue, 0, Missing());
  AddParameter(addOne.get(), u"x", adInteger, adParamInput, 0, V(9));
  Call(addOne.get(), u"Execute");
  EXPECT_EQ(Long(Get(Obj(Get(Obj(Get(addOne.get(), u"Parameters")).get(), u"Item", {V(0)})).get(), u"Value")), 10);
}

TARNEL_ADODB_ENGINES(CommandTest);

}  // namespace
}  // namespace tarnel::adodb::testing
