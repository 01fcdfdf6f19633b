// AdoCmdExec: its options and their write-back, its lines, the executing
// flag it sets and that a failed start clears again, parameters bound by
// the engine (never pasted into the text), results read through the command
// handle, and stored procedures and functions with input, output and
// input-output parameters on PostgreSQL.
#include "ado_handle_fixture.h"
#include "tarneltools/control/type_library.h"

namespace tarnel::testing {
namespace {

constexpr std::int32_t adInteger = 3, adVarWChar = 202;
constexpr std::int32_t adParamInput = 1, adParamOutput = 2, adParamInputOutput = 3;
constexpr std::int32_t adCmdText = 1, adCmdStoredProc = 4;

class CommandExecution : public AdoHandles {
 protected:
  std::int32_t Create(std::int32_t h, const UString& text) {
    return CallLong(u"AdoCmdCreate", {Variant(h), Variant(text)});
  }
  std::int32_t AddParm(std::int32_t cmd, const UString& name, Variant value, std::int32_t type,
                       std::int32_t direction = adParamInput, std::int32_t size = 0) {
    return CallLong(u"AdoCmdAddParm", {Variant(cmd), Variant(name), std::move(value), Variant(type), Variant(direction),
                                       Variant(size), Variant(0), Variant(0)});
  }
  // Runs the command with the options given and returns the result and
  // the options written back.
  std::pair<std::int32_t, std::int32_t> Run(std::int32_t cmd, std::int32_t options, std::int32_t timeout = 30) {
    std::int32_t handle = cmd, opts = options, secs = timeout;
    const std::int32_t result =
        ToInt32(Call(u"AdoCmdExec", {Variant::RefTyped(VT_I4, &handle), Variant::RefTyped(VT_I4, &opts),
                                     Variant::RefTyped(VT_I4, &secs)}));
    return {result, opts};
  }
  std::int32_t Executing(std::int32_t h) { return CallLong(u"AdoExecuting", {Variant(h)}); }
  std::string Field(std::int32_t h, const char16_t* name) {
    std::int32_t handle = h, type = 0, precision = 0, scale = 0;
    UString field(name);
    return ToUtf8(TextOf(Call(u"AdoGetField", {Variant::RefTyped(VT_I4, &handle), Variant::RefTyped(VT_BSTR, &field),
                                               Variant::RefTyped(VT_I4, &type), Variant::RefTyped(VT_I4, &precision),
                                               Variant::RefTyped(VT_I4, &scale)})));
  }
};

TEST_P(CommandExecution, OptionsGainAsyncExecuteAndAreWrittenBack) {
  const std::int32_t h = Connect();
  const std::int32_t cmd = Create(h, u"SELECT 1 AS one");
  for (auto [given, used] : {std::pair{-1, 16}, std::pair{adCmdText, 17}, std::pair{16, 16}, std::pair{0, 16}}) {
    const std::size_t mark = Mark();
    EXPECT_EQ(Run(cmd, given, 7), std::make_pair(0, used)) << given;
    const std::vector<std::string> lines = Lines(mark);
    ASSERT_GE(lines.size(), 4u);
    const std::string c = std::to_string(cmd);
    EXPECT_EQ(lines[0], "AdoCmdExec() Begin");
    EXPECT_EQ(lines[1], "AdoCmdExec() mhADO=" + c + " Executing=TRUE");
    EXPECT_EQ(lines[2], "ConnectionEventSource([Connection])");
    EXPECT_EQ(lines.back(), "AdoCmdExec(" + c + ", " + std::to_string(used) + ", 7) = 0");
    AwaitCompletion(cmd);
  }
}

TEST_P(CommandExecution, TheFlagIsSetUntilTheCompletionIsCredited) {
  const UString t = Table("flag");
  Direct(u"CREATE TABLE " + t + u" (id integer, name varchar(40))");
  const std::int32_t h = Connect();
  const std::int32_t cmd = Create(h, u"INSERT INTO " + t + u" (id, name) VALUES (?, ?)");
  ASSERT_EQ(AddParm(cmd, u"id", Variant(1), adInteger), 0);
  ASSERT_EQ(AddParm(cmd, u"name", Variant(u"one"), adVarWChar, adParamInput, 40), 0);
  ASSERT_EQ(Run(cmd, -1).first, 0);
  EXPECT_EQ(Executing(cmd), 1);
  AwaitCompletion(cmd);
  EXPECT_EQ(CallLong(u"AdoNumChange", {Variant(cmd)}), 1);
  EXPECT_EQ(Executing(h), 0);
  // Parameters stay on the command; a new value runs again.
  ASSERT_EQ(CallLong(u"AdoCmdSetParm", {Variant(cmd), Variant(u"id"), Variant(2)}), 0);
  ASSERT_EQ(CallLong(u"AdoCmdSetParm", {Variant(cmd), Variant(u"name"), Variant(u"two")}), 0);
  ASSERT_EQ(Run(cmd, adCmdText).first, 0);
  AwaitCompletion(cmd);
  EXPECT_EQ(Count(t), 2);
  EXPECT_EQ(ToUtf8(TextOf(Scalar(u"SELECT name FROM " + t + u" WHERE id = 2"))), "two");
}

TEST_P(CommandExecution, ParameterValuesAreBoundByTheEngineNotPastedIntoTheText) {
  const UString t = Table("safe");
  Direct(u"CREATE TABLE " + t + u" (id integer, name varchar(200))");
  const std::int32_t h = Connect();
  const UString hostile = u"x'); DROP TABLE " + t + u"; --";
  const std::int32_t insert = Create(h, u"INSERT INTO " + t + u" (id, name) VALUES (1, ?)");
  ASSERT_EQ(AddParm(insert, u"name", Variant(hostile), adVarWChar, adParamInput, 200), 0);
  ASSERT_EQ(Run(insert, -1).first, 0);
  AwaitCompletion(insert);
  EXPECT_EQ(Count(t), 1);  // the table is still there
  EXPECT_EQ(TextOf(Scalar(u"SELECT name FROM " + t)), hostile);

  // Read back through a command handle and its result set.
  const std::int32_t select = Create(h, u"SELECT id, name FROM " + t + u" WHERE name = ?");
  ASSERT_EQ(AddParm(select, u"name", Variant(hostile), adVarWChar, adParamInput, 200), 0);
  ASSERT_EQ(Run(select, -1).first, 0);
  AwaitCompletion(select);
  EXPECT_EQ(CallLong(u"AdoRecordsetState", {Variant(select)}), 1);
  EXPECT_EQ(Field(select, u"id"), "1");
  EXPECT_EQ(FromUtf8(Field(select, u"name")), hostile);
}

TEST_P(CommandExecution, AStartThatFailsClearsTheFlagAgain) {
  const std::int32_t h = Connect();
  const std::string hs = std::to_string(h);
  // A connection handle has no command.
  std::size_t mark = Mark();
  EXPECT_EQ(Run(h, -1), std::make_pair(static_cast<std::int32_t>(InvalidArgument), 16));
  std::vector<std::string> lines = Lines(mark);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1], "AdoCmdExec() mhADO=" + hs + " Executing=TRUE");
  EXPECT_EQ(lines[2], "AdoCmdExec(" + hs + ", 16, 30) Error 91 Object variable or With block variable not set");
  EXPECT_EQ(Executing(h), 0);

  // A value that ADO cannot convert to the parameter's type.
  const std::int32_t cmd = Create(h, u"SELECT ? AS v");
  ASSERT_EQ(AddParm(cmd, u"n", Variant(u"abc"), adInteger), 0);
  mark = Mark();
  EXPECT_EQ(Run(cmd, -1).first, InvalidArgument);
  lines = Lines(mark);
  EXPECT_EQ(lines.back().rfind("AdoCmdExec(" + std::to_string(cmd) + ", 16, 30) Error 3421 ", 0), 0u) << lines.back();
  EXPECT_EQ(Executing(cmd), 0);

  // A time-out ADO refuses.
  ASSERT_EQ(CallLong(u"AdoCmdSetParm", {Variant(cmd), Variant(u"n"), Variant(3)}), 0);
  EXPECT_EQ(Run(cmd, -1, -5).first, InvalidArgument);
  EXPECT_EQ(Executing(cmd), 0);

  // The shared connection was closed by giving its handle back.
  ASSERT_EQ(CallLong(u"AdoDisconnect", {Variant(h)}), 0);
  mark = Mark();
  EXPECT_EQ(Run(cmd, -1).first, InvalidArgument);
  EXPECT_NE(Lines(mark).back().find(") Error 3709 "), std::string::npos) << Lines(mark).back();
  EXPECT_EQ(Executing(cmd), 0);
}

TEST_P(CommandExecution, ABadHandleGives269WithOptionsUnchanged) {
  const std::size_t mark = Mark();
  EXPECT_EQ(Run(99, -1, 5), std::make_pair(269, -1));
  EXPECT_EQ(Lines(mark), (std::vector<std::string>{"AdoCmdExec() Begin", "AdoCmdExec(99, -1, 5) = 269"}));
}

TEST_P(CommandExecution, AValueTheEngineRefusesFailsTheStatementNotTheCall) {
  const UString t = Table("refuse");
  Direct(u"CREATE TABLE " + t + u" (id integer NOT NULL)");
  const std::int32_t h = Connect();
  const std::int32_t cmd = Create(h, u"INSERT INTO " + t + u" (id) VALUES (?)");
  ASSERT_EQ(AddParm(cmd, u"id", Variant::Null(), adInteger), 0);
  ASSERT_EQ(Run(cmd, -1).first, 0);
  AwaitCompletion(cmd);
  EXPECT_EQ(Count(t), 0);
  // The engine's reason is in the connection's errors.
  EXPECT_NE(CallText(u"AdoErrMsg", {Variant(-1), Variant(u"Description"), Variant(0)}), "");
  if (IsPg()) {
    EXPECT_EQ(CallText(u"AdoErrMsg", {Variant(cmd), Variant(u"SQLState"), Variant(0)}), "23502");
  }
}

TEST_P(CommandExecution, EachCompletionIsCreditedToTheHandleWhoseStatementItCompletes) {
  const UString t = Table("credit");
  Direct(u"CREATE TABLE " + t + u" (id integer)");
  Direct(u"INSERT INTO " + t + u" (id) VALUES (1), (2), (3)");
  const std::int32_t h = Connect();
  const std::int32_t one = Create(h, u"UPDATE " + t + u" SET id = id WHERE id = 1");
  const std::int32_t two = Create(h, u"UPDATE " + t + u" SET id = id WHERE id >= 2");
  // Three statements on one connection, started before any completes.
  ASSERT_EQ(Run(one, -1).first, 0);
  ASSERT_EQ(Run(two, -1).first, 0);
  // Nothing has run the thread's messages yet, so nothing has completed.
  EXPECT_EQ(Executing(one), 1);
  EXPECT_EQ(Executing(two), 1);
  Variant all(u"UPDATE " + t + u" SET id = id");
  ASSERT_EQ(CallLong(u"AdoExec", {Variant(h), all, Variant(-1), Variant(0)}), 0);
  AwaitCompletion(one);
  AwaitCompletion(two);
  AwaitCompletion(h);
  EXPECT_EQ(CallLong(u"AdoNumChange", {Variant(one)}), 1);
  EXPECT_EQ(CallLong(u"AdoNumChange", {Variant(two)}), 2);
  EXPECT_EQ(CallLong(u"AdoNumChange", {Variant(h)}), 3);
}

INSTANTIATE_TEST_SUITE_P(Engines, CommandExecution, ::testing::Values(Engine::SQLite, Engine::PostgreSQL), EngineName);

// Stored procedures and functions exist on PostgreSQL only.
class StoredProcedures : public CommandExecution {};

TEST_P(StoredProcedures, AProcedureFillsItsOutputAndInputOutputParameters) {
  const std::string name = "h9_bump" + Suffix();
  Direct(FromUtf8("CREATE PROCEDURE " + name +
                  "(INOUT counter integer, step integer, OUT note text) LANGUAGE plpgsql AS $$BEGIN "
                  "counter := counter + step; note := 'bumped by ' || step; END$$"));
  DropAtEnd("DROP PROCEDURE " + name);
  const std::int32_t h = Connect();
  const std::int32_t cmd = Create(h, FromUtf8(name));
  ASSERT_EQ(AddParm(cmd, u"counter", Variant(5), adInteger, adParamInputOutput), 0);
  ASSERT_EQ(AddParm(cmd, u"step", Variant(3), adInteger), 0);
  ASSERT_EQ(AddParm(cmd, u"note", Variant(), adVarWChar, adParamOutput, 100), 0);
  EXPECT_EQ(Run(cmd, adCmdStoredProc), std::make_pair(0, 20));
  AwaitCompletion(cmd);
  EXPECT_EQ(ToInt32(Call(u"AdoCmdGetParm", {Variant(cmd), Variant(u"counter")})), 8);
  EXPECT_EQ(ToUtf8(TextOf(Call(u"AdoCmdGetParm", {Variant(cmd), Variant(u"note")}))), "bumped by 3");
  EXPECT_EQ(ToInt32(Call(u"AdoCmdGetParm", {Variant(cmd), Variant(u"step")})), 3);

  // Again with new inputs: the outputs follow.
  ASSERT_EQ(CallLong(u"AdoCmdSetParm", {Variant(cmd), Variant(u"counter"), Variant(100)}), 0);
  ASSERT_EQ(CallLong(u"AdoCmdSetParm", {Variant(cmd), Variant(u"step"), Variant(-1)}), 0);
  ASSERT_EQ(Run(cmd, adCmdStoredProc).first, 0);
  AwaitCompletion(cmd);
  EXPECT_EQ(ToInt32(Call(u"AdoCmdGetParm", {Variant(cmd), Variant(u"counter")})), 99);
  EXPECT_EQ(ToUtf8(TextOf(Call(u"AdoCmdGetParm", {Variant(cmd), Variant(u"note")}))), "bumped by -1");
}

TEST_P(StoredProcedures, AFunctionsResultSetIsReadThroughTheCommandHandle) {
  const UString t = Table("items");
  Direct(u"CREATE TABLE " + t + u" (id integer, name text)");
  Direct(u"INSERT INTO " + t + u" VALUES (1, 'one'), (2, 'two'), (3, 'three')");
  const std::string name = "h9_items_from" + Suffix();
  Direct(FromUtf8("CREATE FUNCTION " + name +
                  "(first_id integer) RETURNS TABLE (id integer, name text) "
                  "LANGUAGE sql AS 'SELECT id, name FROM ") +
         t + u" WHERE id >= first_id ORDER BY id'");
  DropAtEnd("DROP FUNCTION " + name);
  const std::int32_t h = Connect();
  const std::int32_t cmd = Create(h, FromUtf8(name));
  ASSERT_EQ(AddParm(cmd, u"first_id", Variant(2), adInteger), 0);
  ASSERT_EQ(Run(cmd, adCmdStoredProc).first, 0);
  AwaitCompletion(cmd);
  EXPECT_EQ(CallLong(u"AdoRecordCount", {Variant(cmd)}), 2);
  EXPECT_EQ(Field(cmd, u"name"), "two");
  EXPECT_EQ(CallLong(u"AdoNext", {Variant(cmd)}), 0);
  EXPECT_EQ(Field(cmd, u"name"), "three");
  EXPECT_EQ(CallLong(u"AdoNext", {Variant(cmd)}), 294);
}

TEST_P(StoredProcedures, AStatementStillRunningShowsInTheCommandsState) {
  const std::int32_t h = Connect();
  const std::int32_t cmd = Create(h, u"SELECT pg_sleep(1)");
  ASSERT_EQ(Run(cmd, -1).first, 0);
  EXPECT_EQ(CallLong(u"AdoCmdState", {Variant(cmd)}), 4);
  EXPECT_EQ(Executing(cmd), 1);
  AwaitCompletion(cmd);
  EXPECT_EQ(CallLong(u"AdoCmdState", {Variant(cmd)}), 0);
}

TEST_P(StoredProcedures, ClosingACommandWhileItRunsLeavesNoFlagSetForTheSlotsNextOccupant) {
  const std::int32_t h = Connect();
  const std::int32_t cmd = Create(h, u"SELECT pg_sleep(0.5)");
  ASSERT_EQ(Run(cmd, -1).first, 0);
  ASSERT_EQ(CallLong(u"AdoCmdClose", {Variant(cmd)}), 0);
  EXPECT_EQ(Executing(cmd), 0);
  // The next handle takes the slot; the old statement's completion, when
  // it comes, is credited to nothing.
  const std::int32_t next = Connect();
  ASSERT_EQ(next, cmd);
  EXPECT_EQ(Executing(next), 0);
  Apartment::Current().WaitAndProcess(std::chrono::milliseconds(1500));
  EXPECT_EQ(Executing(next), 0);
  EXPECT_EQ(CallLong(u"AdoNumChange", {Variant(next)}), 0);
}

INSTANTIATE_TEST_SUITE_P(Engines, StoredProcedures, ::testing::Values(Engine::PostgreSQL), EngineName);

}  // namespace
}  // namespace tarnel::testing
