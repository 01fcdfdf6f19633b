// Statement execution: AdoSet/AdoAppend build a text that AdoExec runs,
// AdoExec writes back its text and options, starts the statement in the
// background after letting waiting messages run once, and the completion
// clears the executing flag of the handle whose statement it completes,
// also when statements overlap, a handle is given back meanwhile, or the
// statement fails or never starts.
#include "ado_test_support.h"

namespace tarnel::testing_ado {
namespace {

using Statements = AdoTest;

TEST_F(Statements, AssembledTextRunsWithOptionsWrittenBack) {
  std::int32_t h = ConnectOpen(SqliteConnection());
  Run(h, "CREATE TABLE T(a INTEGER, b TEXT)");
  Run(h, "INSERT INTO T VALUES (1, 'x'), (2, 'y')");
  UString select = u"SELECT ";
  UString rest = u"* FROM T";
  EXPECT_EQ(ado->AdoSet(h, select), 0);
  EXPECT_EQ(ado->AdoAppend(h, rest), 0);
  ClearLines();
  UString text;
  std::int32_t options = -1;
  std::int32_t timeout = 7;
  EXPECT_EQ(ado->AdoExec(h, text, options, timeout), 0);
  EXPECT_EQ(text, u"SELECT * FROM T");
  EXPECT_EQ(options, 16);
  // The INSERT before left a closed recordset; the statement's WillExecute
  // is forwarded from inside Execute.
  EXPECT_EQ(Lines(), (std::vector<std::string>{
                         "AdoExec() Begin",
                         "AdoExec(0, '', -1, 7) = 0 (3704 Operation is not allowed when the object is closed.)",
                         "ConnectionEventSource([Connection])", "AdoExec() mhADO=0 Executing=TRUE",
                         "Raise Event ConnectionEventSource_WillExecute('SELECT * FROM T', 3, 1, 24, 1, pCommand, "
                         "pRecordset, '" + SqliteConnection() + "')",
                         "AdoExec(0, 'SELECT * FROM T', 16, 7) = 0"}));
  EXPECT_EQ(Executing(h), 1);
  ASSERT_TRUE(WaitFor([&] { return Executing(h) == 0; }));
  EXPECT_EQ(Field(h, u"b"), "x");
}

TEST_F(Statements, OptionsAlwaysGainAsyncExecute) {
  std::int32_t h = ConnectOpen(SqliteConnection());
  for (auto [given, used] : {std::pair{1, 17}, {16, 16}, {0, 16}, {17, 17}}) {
    UString text = u"SELECT 1 AS one";
    std::int32_t options = given;
    std::int32_t timeout = 0;
    EXPECT_EQ(ado->AdoExec(h, text, options, timeout), 0) << given;
    EXPECT_EQ(options, used);
    ASSERT_TRUE(WaitFor([&] { return Executing(h) == 0; }));
    EXPECT_EQ(Field(h, u"one"), "1");
  }
}

TEST_F(Statements, BadHandlesAreRefusedWithoutSideEffects) {
  std::int32_t h = ConnectOpen(SqliteConnection());
  for (std::int32_t bad : {-1, 1, 50, INT32_MIN}) {
    ClearLines();
    UString text = u"SELECT 1";
    std::int32_t options = -1;
    std::int32_t timeout = 3;
    EXPECT_EQ(ado->AdoExec(bad, text, options, timeout), 269);
    EXPECT_EQ(options, -1);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"AdoExec() Begin", "AdoExec(" + std::to_string(bad) +
                                                                       ", 'SELECT 1', -1, 3) = 269"}));
    EXPECT_EQ(ado->AdoSet(bad, text), 269);
    EXPECT_EQ(ado->AdoAppend(bad, text), 269);
    EXPECT_EQ(ado->AdoNumChange(bad), -1);
    EXPECT_EQ(ado->AdoRecordsetState(bad), -1);
  }
  std::int32_t freeSlot = 1;
  EXPECT_EQ(Executing(freeSlot), 0);
  EXPECT_EQ(ErrorNumberOf([&] { Executing(-1); }), 9);
  EXPECT_EQ(ErrorNumberOf([&] { Executing(51); }), 9);
  EXPECT_EQ(ado->AdoRecordsetState(h), -1);  // nothing executed yet
}

TEST_F(Statements, CompletionStoresRecordsAffectedBeforeTheContainerHears) {
  std::int32_t h = ConnectOpen(SqliteConnection());
  Run(h, "CREATE TABLE T(a)");
  std::int32_t seenExecuting = -1;
  container->reactions[kExecuteComplete] = [&](std::vector<Variant>&) { seenExecuting = Executing(h); };
  ClearLines();
  Run(h, "INSERT INTO T VALUES (1), (2), (3)");
  EXPECT_EQ(seenExecuting, 0);
  EXPECT_EQ(ado->AdoNumChange(h), 3);
  std::vector<std::string> lines = Lines();
  auto first = std::find(lines.begin(), lines.end(),
                         "Raise Event ConnectionEventSource_ExecuteComplete(3, pError, 1, pCommand, pRecordset, "
                         "pConnection)");
  ASSERT_NE(first, lines.end());
  ASSERT_NE(first + 1, lines.end());
  EXPECT_EQ(*(first + 1), "ConnectionEventSource_ExecuteComplete() mhADO(0) Executing = FALSE");
  ASSERT_EQ(container->Of(kExecuteComplete).size(), 1u);
  EXPECT_EQ(container->Of(kExecuteComplete)[0].args[0].lVal(), 3);
}

TEST_F(Statements, SecondExecAfterANoRowStatementLogsTheClosedErrorAndRuns) {
  std::int32_t h = ConnectOpen(SqliteConnection());
  Run(h, "CREATE TABLE T(a)");
  ClearLines();
  EXPECT_EQ(Exec(h, "SELECT count(*) AS n FROM T"), 0);
  std::vector<std::string> lines = Lines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "AdoExec() Begin");
  EXPECT_EQ(lines[1].rfind("AdoExec(0, 'SELECT count(*) AS n FROM T', -1, 0) = 0 (3704 ", 0), 0u) << lines[1];
  EXPECT_EQ(lines.back(), "AdoExec(0, 'SELECT count(*) AS n FROM T', 16, 0) = 0");
  ASSERT_TRUE(WaitFor([&] { return Executing(h) == 0; }));
  EXPECT_EQ(Field(h, u"n"), "0");
  EXPECT_EQ(ado->AdoRecordsetState(h), 1);
}

TEST_F(Statements, SyntaxErrorCompletesWithTheErrorAndClearsTheFlag) {
  std::int32_t h = ConnectOpen(SqliteConnection());
  ClearLines();
  EXPECT_EQ(Exec(h, "SELEKT nothing"), 0);
  ASSERT_TRUE(WaitFor([&] { return Executing(h) == 0; }));
  bool errorLine = false;
  for (const std::string& l : Lines()) {
    if (l.rfind("Raise Event ConnectionEventSource_ExecuteComplete(", 0) == 0) {
      errorLine = l.find("syntax error") != std::string::npos && l.find(", 2, pCommand") != std::string::npos;
    }
  }
  EXPECT_TRUE(errorLine);
  EXPECT_TRUE(HasLine("ConnectionEventSource_ExecuteComplete() mhADO(0) Executing = FALSE"));
  // The failed statement left a recordset that is not open.
  EXPECT_NE(ado->AdoRecordsetState(h), 1);
}

TEST_F(Statements, ExecOnAClosedConnectionReturnsTheErrorWithTheFlagClear) {
  // A connection whose open failed in the background is closed (3704).
  std::int32_t h = Connect("Provider=SQLite;Data Source=" + dir.Path("absent.db").string());
  ASSERT_TRUE(WaitFor([&] { return State(h) == 0; }));
  ClearLines();
  EXPECT_EQ(Exec(h, "SELECT 1"), 3704);
  // The state turns 0 as soon as the open has failed; its ConnectComplete
  // may still be waiting then and run among the messages that AdoExec lets
  // run, after the event source moved to this connection: then its line is
  // among AdoExec's, which are these four.
  std::vector<std::string> lines;
  std::string all;
  for (const std::string& l : Lines()) {
    all += l + "\n";
    if (l.rfind("Raise Event ConnectionEventSource_ConnectComplete(", 0) != 0) lines.push_back(l);
  }
  ASSERT_EQ(lines.size(), 4u) << all;
  EXPECT_EQ(lines[3], "AdoExec(0, 'SELECT 1', 16, 0) = 0 (3704 Operation is not allowed when the object is closed.)");
  EXPECT_EQ(Executing(h), 0);
}

TEST_F(Statements, WaitingMessagesRunOnceBeforeTheStatementStarts) {
  std::int32_t h = ConnectOpen(SqliteConnection());
  std::int32_t executingInMessage = -1;
  bool lineWritten = false;
  Apartment::Current().Post([&] {
    executingInMessage = Executing(h);
    lineWritten = HasLine("AdoExec() mhADO=0 Executing=TRUE");
  });
  EXPECT_EQ(Exec(h, "SELECT 1 AS one"), 0);
  EXPECT_EQ(executingInMessage, 1);
  EXPECT_TRUE(lineWritten);
  ASSERT_TRUE(WaitFor([&] { return Executing(h) == 0; }));
}

TEST_F(Statements, HandleGivenBackWhileMessagesRunEndsTheExecCleanly) {
  std::int32_t h = ConnectOpen(SqliteConnection());
  Apartment::Current().Post([&] { ado->AdoDisconnect(h); });
  // Execute on the emptied slot's connection: object variable not set.
  EXPECT_EQ(Exec(h, "SELECT 1"), 91);
  EXPECT_EQ(Executing(h), 0);
  EXPECT_EQ(ado->Connections(), 0);
}

TEST_F(Statements, OverlappingStatementsOnTwoConnectionsAreEachCredited) {
  const std::string cs = SqliteConnection();
  std::int32_t a = ConnectOpen(cs);
  Run(a, "CREATE TABLE T(x)");
  std::int32_t b = ConnectOpen(SqliteConnection("other.db"));
  Run(b, "CREATE TABLE U(x)");
  ClearLines();
  ASSERT_EQ(Exec(a, "INSERT INTO T VALUES (1), (2), (3)"), 0);
  ASSERT_EQ(Exec(b, "INSERT INTO U VALUES (1), (2), (3), (4), (5)"), 0);
  ASSERT_TRUE(WaitFor([&] { return Executing(a) == 0 && Executing(b) == 0; }));
  EXPECT_EQ(ado->AdoNumChange(a), 3);
  EXPECT_EQ(ado->AdoNumChange(b), 5);
  // Only the event source's (b's) completion reaches the container.
  ASSERT_EQ(container->Of(kExecuteComplete).size(), 1u);
  EXPECT_EQ(container->Of(kExecuteComplete)[0].args[0].lVal(), 5);
  EXPECT_TRUE(HasLine("ConnectionEventSource_ExecuteComplete() mhADO(1) Executing = FALSE"));
  EXPECT_FALSE(HasLine("ConnectionEventSource_ExecuteComplete() mhADO(0) Executing = FALSE"));
}

TEST_F(Statements, OverlappingStatementsOnOneConnectionAreEachCredited) {
  std::int32_t h = ConnectOpen(SqliteConnection());
  Run(h, "CREATE TABLE T(x)");
  UString text = u"INSERT INTO T VALUES (1), (2), (3)";
  std::int32_t cmd = ado->AdoCmdCreate(h, text);
  ASSERT_GT(cmd, h);
  ClearLines();
  // The handle's statement starts first; the command's, on the same
  // connection, before the first has completed.
  ASSERT_EQ(Exec(h, "INSERT INTO T VALUES (9)"), 0);
  std::int32_t options = -1;
  std::int32_t timeout = 0;
  ASSERT_EQ(ado->AdoCmdExec(cmd, options, timeout), 0);
  ASSERT_TRUE(WaitFor([&] { return Executing(h) == 0 && Executing(cmd) == 0; }));
  EXPECT_EQ(ado->AdoNumChange(h), 1);
  EXPECT_EQ(ado->AdoNumChange(cmd), 3);
  // Both completions come from the event source and are forwarded, each
  // line naming the handle it was credited to.
  EXPECT_EQ(container->Of(kExecuteComplete).size(), 2u);
  EXPECT_TRUE(HasLine("ConnectionEventSource_ExecuteComplete() mhADO(0) Executing = FALSE"));
  EXPECT_TRUE(HasLine("ConnectionEventSource_ExecuteComplete() mhADO(" + std::to_string(cmd) + ") Executing = FALSE"));
}

TEST_F(Statements, ClosingASharedConnectionEndsTheOtherHandlesStatement) {
  std::int32_t h = ConnectOpen(SqliteConnection());
  Run(h, "CREATE TABLE T(x)");
  UString text = u"SELECT 1";
  std::int32_t cmd = ado->AdoCmdCreate(h, text);
  ASSERT_EQ(Exec(h, "INSERT INTO T VALUES (1)"), 0);
  // Giving the command handle back closes the connection it shares with h
  // while h's statement may still run: h stops executing either way.
  EXPECT_EQ(ado->AdoDisconnect(cmd), 0);
  EXPECT_TRUE(WaitFor([&] { return Executing(h) == 0; }));
  EXPECT_EQ(State(h), 0);
}

TEST_F(Statements, CompletionAfterDisconnectChangesNoSlot) {
  std::int32_t a = ConnectOpen(SqliteConnection());
  Run(a, "CREATE TABLE T(x)");
  ClearLines();
  ASSERT_EQ(Exec(a, "INSERT INTO T VALUES (1), (2), (3)"), 0);
  EXPECT_EQ(ado->AdoDisconnect(a), 0);
  // The slot is taken again by a new connection before anything is
  // delivered.
  EXPECT_EQ(Connect(SqliteConnection()), a);
  Apartment::Current().WaitAndProcess(std::chrono::milliseconds(200));
  EXPECT_EQ(Executing(a), 0);
  EXPECT_EQ(ado->AdoNumChange(a), 0);
  EXPECT_FALSE(HasLine("ConnectionEventSource_ExecuteComplete() mhADO(0) Executing = FALSE"));
}

TEST_F(Statements, SecondExecOnTheSameHandleSupersedesTheFirst) {
  std::int32_t h = ConnectOpen(SqliteConnection());
  Run(h, "CREATE TABLE T(x)");
  ASSERT_EQ(Exec(h, "INSERT INTO T VALUES (1), (2)"), 0);
  ASSERT_EQ(Exec(h, "INSERT INTO T VALUES (1), (2), (3), (4)"), 0);
  ASSERT_TRUE(WaitFor([&] { return Executing(h) == 0; }));
  Apartment::Current().WaitAndProcess(std::chrono::milliseconds(100));
  EXPECT_EQ(ado->AdoNumChange(h), 4);
}

TEST_F(Statements, CancelledInWillExecuteNeverLeavesTheFlagSet) {
  std::int32_t h = ConnectOpen(SqliteConnection());
  Run(h, "CREATE TABLE T(x)");
  container->reactions[kWillExecute] = [](std::vector<Variant>& args) { SetLongRef(args[4], 4); };
  EXPECT_EQ(Exec(h, "INSERT INTO T VALUES (1)"), 3712);
  EXPECT_EQ(Executing(h), 0);
  // ADO reported the cancellation as the statement's completion.
  ASSERT_EQ(container->Of(kExecuteComplete).size(), 2u);
  EXPECT_EQ(container->Of(kExecuteComplete)[1].args[2].lVal(), 2);
  container->reactions.erase(kWillExecute);
  Run(h, "SELECT count(*) AS n FROM T");
  EXPECT_EQ(Field(h, u"n"), "0");
}

TEST_F(Statements, ExecuteWithoutRecordsIsCreditedByItsConnection) {
  std::int32_t h = ConnectOpen(SqliteConnection());
  Run(h, "CREATE TABLE T(x)");
  ASSERT_EQ(Exec(h, "INSERT INTO T VALUES (1), (2)", 128), 0);  // adExecuteNoRecords
  ASSERT_TRUE(WaitFor([&] { return Executing(h) == 0; }));
  EXPECT_EQ(ado->AdoNumChange(h), 2);
  EXPECT_EQ(ado->AdoRecordsetState(h), -1);
}

}  // namespace
}  // namespace tarnel::testing_ado
