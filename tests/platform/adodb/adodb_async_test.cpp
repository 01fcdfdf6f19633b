// Background work: adAsyncConnect and adAsyncExecute return at once, the
// states move on while the work runs, and the completion events arrive only
// when the apartment thread processes its messages; statements of one
// connection run in the order they were started; releasing or closing
// objects while a statement runs leaves no thread and no object behind.
#include "adodb_test_support.h"
#include "silent_server.h"

namespace tarnel::adodb::testing {
namespace {

using AsyncTest = AdodbTest;

void SleepWithoutMessages(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Polls a property without processing messages.
bool PollState(Dispatch* object, std::int32_t wanted, int seconds = 20) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < until) {
    if (Long(Get(object, u"State")) == wanted) return true;
    SleepWithoutMessages(5);
  }
  return false;
}

TEST_P(AsyncTest, AsyncOpenCompletesOnTheApartmentWhenItProcessesMessages) {
  ComPtr<Dispatch> conn = CreateObject(u"ADODB.Connection");
  ComPtr<EventLog> events = Listen(conn.get(), DIID_ConnectionEvents);
  Call(conn.get(), u"Open", {Variant(ConnectionString()), Missing(), Missing(), V(adAsyncConnect)});
  EXPECT_EQ(events->Count(ev::WillConnect), 1) << "the Will event runs inside Open";
  // The outcome shows in State without the message loop; the event waits.
  ASSERT_TRUE(PollState(conn.get(), adStateOpen));
  SleepWithoutMessages(50);
  EXPECT_EQ(events->Count(ev::ConnectComplete), 0);
  Apartment::Current().ProcessPending();
  ASSERT_EQ(events->Count(ev::ConnectComplete), 1);
  const EventLog::Entry* done = events->Last(ev::ConnectComplete);
  EXPECT_EQ(Long(done->args[1]), adStatusOK);
  EXPECT_EQ(TypeName(done->args[0]), u"Nothing");
  EXPECT_EQ(done->thread, std::this_thread::get_id());
  EXPECT_EQ(done->objects[2], conn.get());
  ComPtr<Dispatch> rs = Execute(conn.get(), u"SELECT 5 AS x");
  EXPECT_EQ(Long(FieldValue(rs.get(), u"x")), 5);
}

TEST_P(AsyncTest, ExecuteWhileConnectingIsRefused) {
  ComPtr<Dispatch> conn = CreateObject(u"ADODB.Connection");
  Call(conn.get(), u"Open", {Variant(ConnectionString()), Missing(), Missing(), V(adAsyncConnect)});
  const std::int32_t state = Long(Get(conn.get(), u"State"));
  if (state == adStateConnecting) {
    // The open may finish between reading State and Execute (SQLite opens
    // at once): Execute then runs on the open connection. The silent-server
    // test below refuses it without that race.
    const std::int32_t error = ErrorOf([&] { Execute(conn.get(), u"SELECT 1"); });
    if (error != 0 || Long(Get(conn.get(), u"State")) != adStateOpen) {
      EXPECT_EQ(error, adErrStillConnecting);
    }
  }
  ASSERT_TRUE(RunMessagesUntil([&] { return Long(Get(conn.get(), u"State")) == adStateOpen; }));
}

TEST(AsyncConnectTest, AServerThatDoesNotAnswerLeavesConnectingThenClosed) {
  RegisterAdodbClasses();
  SilentServer server;
  ComPtr<Dispatch> conn = CreateObject(u"ADODB.Connection");
  ComPtr<EventLog> events = Listen(conn.get(), DIID_ConnectionEvents);
  Put(conn.get(), u"ConnectionTimeout", V(1));
  const UString cs = u"Provider=PostgreSQL;Server=127.0.0.1;Port=" + DecimalText(server.Port()) +
                     u";Database=x;User ID=nobody";
  const auto started = std::chrono::steady_clock::now();
  Call(conn.get(), u"Open", {Variant(cs), Missing(), Missing(), V(adAsyncConnect)});
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(500)) << "Open returns at once";
  EXPECT_EQ(Long(Get(conn.get(), u"State")), adStateConnecting);
  EXPECT_EQ(ErrorOf([&] { Call(conn.get(), u"Execute", {Variant(u"SELECT 1")}); }), adErrStillConnecting)
      << "a statement while the server has not answered";
  ASSERT_TRUE(PollState(conn.get(), adStateClosed, 30));
  EXPECT_EQ(events->Count(ev::ConnectComplete), 0);
  ASSERT_TRUE(RunMessagesUntil([&] { return events->Count(ev::ConnectComplete) == 1; }));
  const EventLog::Entry* done = events->Last(ev::ConnectComplete);
  EXPECT_EQ(Long(done->args[1]), adStatusErrorsOccurred);
  EXPECT_EQ(TypeName(done->args[0]), u"Error");
  EXPECT_GE(Long(Get(Obj(Get(conn.get(), u"Errors")).get(), u"Count")), 1);
}

TEST(AsyncConnectTest, ReleasingAConnectionWhileItConnectsReturnsPromptly) {
  RegisterAdodbClasses();
  SilentServer server;
  const long before = ModuleLock::Count();
  {
    ComPtr<Dispatch> conn = CreateObject(u"ADODB.Connection");
    Put(conn.get(), u"ConnectionTimeout", V(30));
    const UString cs = u"Provider=PostgreSQL;Server=127.0.0.1;Port=" + DecimalText(server.Port()) +
                       u";Database=x;User ID=nobody";
    Call(conn.get(), u"Open", {Variant(cs), Missing(), Missing(), V(adAsyncConnect)});
    EXPECT_EQ(Long(Get(conn.get(), u"State")), adStateConnecting);
    const auto started = std::chrono::steady_clock::now();
    conn.Reset();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
  }
  Apartment::Current().ProcessPending();
  EXPECT_EQ(ModuleLock::Count(), before);
}

TEST_P(AsyncTest, AsyncRecordsetGoesExecutingFetchingOpenAndEventsWaitForMessages) {
  ComPtr<Dispatch> conn = Open();
  ComPtr<EventLog> events = Listen(conn.get(), DIID_ConnectionEvents);
  // The first statement runs long; the second waits behind it.
  ComPtr<Dispatch> slow = Obj(Call(conn.get(), u"Execute", {Variant(LongStatement()), Missing(), V(adAsyncExecute)}));
  ComPtr<Dispatch> rs = Obj(Call(conn.get(), u"Execute", {V(u"SELECT 41 + 1 AS x"), Missing(), V(adAsyncExecute)}));
  EXPECT_EQ(events->Count(ev::WillExecute), 2) << "Will events run inside Execute";
  EXPECT_EQ(Long(Get(rs.get(), u"State")), adStateExecuting);
  EXPECT_EQ(Long(Get(conn.get(), u"State")) & adStateExecuting, adStateExecuting);
  EXPECT_EQ(ErrorOf([&] { Get(rs.get(), u"EOF"); }), adErrStillExecuting);
  ComPtr<EventLog> rsEvents = Listen(rs.get(), DIID_RecordsetEvents);

  Call(slow.get(), u"Cancel");
  EXPECT_EQ(Long(Get(slow.get(), u"State")), adStateClosed);
  ASSERT_TRUE(PollState(rs.get(), adStateFetching));
  EXPECT_EQ(events->Count(ev::ExecuteComplete), 0) << "completion events wait for the message loop";

  ASSERT_TRUE(RunMessagesUntil([&] { return events->Count(ev::ExecuteComplete) == 2; }));
  EXPECT_EQ(Long(Get(rs.get(), u"State")), adStateOpen);
  EXPECT_EQ(Long(FieldValue(rs.get(), u"x")), 42);
  // In the order the statements were started; the cancelled one failed.
  EXPECT_EQ(Long(events->entries[events->entries.size() - 2].args[2]), adStatusErrorsOccurred);
  const EventLog::Entry* done = events->Last(ev::ExecuteComplete);
  EXPECT_EQ(Long(done->args[2]), adStatusOK);
  EXPECT_EQ(done->objects[4], rs.get());
  EXPECT_EQ(done->thread, std::this_thread::get_id());
  // The client cursor's fetch events came through the queue as well.
  EXPECT_EQ(rsEvents->Count(ev::FetchProgress), 1);
  EXPECT_EQ(rsEvents->Count(ev::FetchComplete), 1);
  EXPECT_EQ(Long(rsEvents->Last(ev::FetchProgress)->args[0]), 1);
}

TEST_P(AsyncTest, StatementsOfOneConnectionRunInTheOrderTheyStarted) {
  ComPtr<Dispatch> conn = Open();
  Execute(conn.get(), IsPg() ? u"CREATE TABLE t (seq SERIAL PRIMARY KEY, v INTEGER)"
                             : u"CREATE TABLE t (seq INTEGER PRIMARY KEY AUTOINCREMENT, v INTEGER)");
  ComPtr<EventLog> events = Listen(conn.get(), DIID_ConnectionEvents);
  std::vector<ComPtr<Dispatch>> started;
  for (int i = 1; i <= 5; ++i) {
    started.push_back(Obj(Call(conn.get(), u"Execute",
                               {Variant(u"INSERT INTO t (v) VALUES (" + DecimalText(i) + u")"), Missing(),
                                V(adAsyncExecute | adExecuteNoRecords)})));
  }
  EXPECT_EQ(TypeName(Variant(started[0].get())), u"Nothing") << "no records: no recordset";
  // A synchronous statement waits for those started before it.
  ComPtr<Dispatch> rs = Execute(conn.get(), u"SELECT v FROM t ORDER BY seq");
  ASSERT_EQ(Long(Get(rs.get(), u"RecordCount")), 5);
  for (int i = 1; i <= 5; ++i) {
    EXPECT_EQ(Long(FieldValue(rs.get(), u"v")), i);
    Call(rs.get(), u"MoveNext");
  }
  ASSERT_TRUE(RunMessagesUntil([&] { return events->Count(ev::ExecuteComplete) == 6; }));
  for (const EventLog::Entry& e : events->entries) {
    if (e.id == ev::ExecuteComplete) {
      EXPECT_EQ(Long(e.args[2]), adStatusOK);
    }
  }
}

TEST_P(AsyncTest, WillExecuteCancelsAnAsyncStatementBeforeItStarts) {
  ComPtr<Dispatch> conn = Open();
  ComPtr<EventLog> events = Listen(conn.get(), DIID_ConnectionEvents);
  events->handlers[ev::WillExecute] = [](DispParams& p) { SetLongArg(p, 4, adStatusCancel); };
  EXPECT_EQ(ErrorOf([&] { Call(conn.get(), u"Execute", {V(u"SELECT 1"), Missing(), V(adAsyncExecute)}); }),
            adErrOperationCancelled);
  EXPECT_EQ(events->Count(ev::ExecuteComplete), 1);
  EXPECT_EQ(Long(Get(conn.get(), u"State")), adStateOpen) << "nothing runs";
}

TEST_P(AsyncTest, ReleasingEverythingWhileAStatementRunsLeavesNothing) {
  const long before = ModuleLock::Count();
  {
    ComPtr<Dispatch> conn = Open();
    ComPtr<Dispatch> rs = Obj(Call(conn.get(), u"Execute", {Variant(LongStatement()), Missing(), V(adAsyncExecute)}));
    EXPECT_EQ(Long(Get(rs.get(), u"State")), adStateExecuting);
    const auto started = std::chrono::steady_clock::now();
    // Released in the "wrong" order: the connection first.
    conn.Reset();
    rs.Reset();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
  }
  Apartment::Current().ProcessPending();
  EXPECT_EQ(ModuleLock::Count(), before) << "every object is gone";
}

TEST_P(AsyncTest, AReleasedRecordsetStillGetsItsStatementCompleted) {
  ComPtr<Dispatch> conn = Open();
  Execute(conn.get(), u"CREATE TABLE t (v INTEGER)");
  ComPtr<EventLog> events = Listen(conn.get(), DIID_ConnectionEvents);
  // The recordset of an async INSERT is dropped at once, as scripts do.
  Call(conn.get(), u"Execute", {V(u"INSERT INTO t VALUES (7)"), Missing(), V(adAsyncExecute)});
  ASSERT_TRUE(RunMessagesUntil([&] { return events->Count(ev::ExecuteComplete) == 1; }));
  EXPECT_EQ(Long(events->Last(ev::ExecuteComplete)->args[0]), 1) << "RecordsAffected";
  ComPtr<Dispatch> rs = Execute(conn.get(), u"SELECT v FROM t");
  EXPECT_EQ(Long(FieldValue(rs.get(), u"v")), 7);

  // The script keeps the recordset but drops the connection: the recordset
  // holds it, and the completion still comes.
  ComPtr<Dispatch> kept = Obj(Call(conn.get(), u"Execute", {V(u"SELECT 3 AS x"), Missing(), V(adAsyncExecute)}));
  conn.Reset();
  ASSERT_TRUE(RunMessagesUntil([&] { return events->Count(ev::ExecuteComplete) == 3; }));
  EXPECT_EQ(Long(FieldValue(kept.get(), u"x")), 3);
}

TEST_P(AsyncTest, ClosingARecordsetWhoseStatementRunsLetsTheStatementFinish) {
  ComPtr<Dispatch> conn = Open();
  Execute(conn.get(), u"CREATE TABLE t (v INTEGER)");
  ComPtr<EventLog> events = Listen(conn.get(), DIID_ConnectionEvents);
  // As a caller that closes the previous statement's recordset before it
  // starts the next one: the INSERT is not lost.
  ComPtr<Dispatch> first = Obj(Call(conn.get(), u"Execute", {V(u"INSERT INTO t VALUES (1)"), Missing(), V(adAsyncExecute)}));
  Call(first.get(), u"Close");
  EXPECT_EQ(Long(Get(first.get(), u"State")), adStateClosed);
  EXPECT_EQ(ErrorOf([&] { Call(first.get(), u"Close"); }), adErrObjectClosed);
  ComPtr<Dispatch> second = Obj(Call(conn.get(), u"Execute", {V(u"SELECT count(*) AS n FROM t"), Missing(), V(adAsyncExecute)}));
  ASSERT_TRUE(RunMessagesUntil([&] { return events->Count(ev::ExecuteComplete) == 2; }));
  const EventLog::Entry& done = events->entries[events->entries.size() - 2];
  EXPECT_EQ(Long(done.args[2]), adStatusOK);
  EXPECT_EQ(Long(done.args[0]), 1) << "RecordsAffected of the INSERT";
  EXPECT_EQ(Long(FieldValue(second.get(), u"n")), 1);
  EXPECT_EQ(Long(Get(first.get(), u"State")), adStateClosed) << "its rows went nowhere";
}

TEST_P(AsyncTest, ClosingTheConnectionCancelsWhatRunsAndStillReportsIt) {
  ComPtr<Dispatch> conn = Open();
  ComPtr<EventLog> events = Listen(conn.get(), DIID_ConnectionEvents);
  ComPtr<Dispatch> rs = Obj(Call(conn.get(), u"Execute", {Variant(LongStatement()), Missing(), V(adAsyncExecute)}));
  const auto started = std::chrono::steady_clock::now();
  Call(conn.get(), u"Close");
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
  EXPECT_EQ(Long(Get(conn.get(), u"State")), adStateClosed);
  EXPECT_EQ(Long(Get(rs.get(), u"State")), adStateClosed);
  ASSERT_TRUE(RunMessagesUntil([&] { return events->Count(ev::ExecuteComplete) == 1; }));
  EXPECT_EQ(Long(events->Last(ev::ExecuteComplete)->args[2]), adStatusErrorsOccurred);
}

TEST_P(AsyncTest, AServerStoppedInTheMiddleOfAStatementCompletesItWithAnError) {
  if (!IsPg()) GTEST_SKIP() << "needs a server";
  ComPtr<Dispatch> conn = Open();
  ComPtr<Dispatch> pid = Execute(conn.get(), u"SELECT pg_backend_pid() AS pid");
  const std::int32_t backend = Long(FieldValue(pid.get(), u"pid"));
  ComPtr<EventLog> events = Listen(conn.get(), DIID_ConnectionEvents);
  Call(conn.get(), u"Execute", {V(u"SELECT pg_sleep(30)"), Missing(), V(adAsyncExecute)});
  SleepWithoutMessages(200);
  Execute(admin_.get(), u"SELECT pg_terminate_backend(" + DecimalText(backend) + u")");
  ASSERT_TRUE(RunMessagesUntil([&] { return events->Count(ev::ExecuteComplete) == 1; }, std::chrono::seconds(20)));
  const EventLog::Entry* done = events->Last(ev::ExecuteComplete);
  EXPECT_EQ(Long(done->args[2]), adStatusErrorsOccurred);
  EXPECT_GE(Long(Get(Obj(Get(conn.get(), u"Errors")).get(), u"Count")), 1);
  // The connection is gone; a new statement fails instead of hanging.
  EXPECT_NE(ErrorOf([&] { Execute(conn.get(), u"SELECT 1"); }), 0);
}

TARNEL_ADODB_ENGINES(AsyncTest);

}  // namespace
}  // namespace tarnel::adodb::testing
