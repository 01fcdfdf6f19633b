// The asynchronous and transactional behaviour both providers share:
// completions on the worker in start order, asynchronous open, nested
// transactions with their levels, time-outs, cancellation, and releasing a
// session while a statement still runs.
#include "provider_test_support.h"

namespace tarnel::adodb::provider::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Async = ProviderTest;

TEST_P(Async, OpenAndExecuteReturnAtOnceAndCompleteInOrder) {
  ConnectOptions options;
  options.connectionString = ConnectionString();
  Status status;
  auto s = CreateSession(options, &status);
  ASSERT_TRUE(s) << Describe(status);
  Completions done;
  s->OpenAsync(done.Callback(0));
  if (IsPg()) s->ExecuteAsync(Sql("SET search_path TO " + schema_), done.Callback(1));
  else s->ExecuteAsync(Sql("SELECT 1"), done.Callback(1));
  s->ExecuteAsync(Sql("CREATE TABLE seq (n INTEGER)"), done.Callback(2));
  for (int i = 3; i < 23; ++i) {
    s->ExecuteAsync(Sql("INSERT INTO seq VALUES (?)", {In(Value::Int(i))}), done.Callback(i));
  }
  ASSERT_TRUE(done.WaitFor(23));
  std::vector<int> expected;
  for (int i = 0; i < 23; ++i) expected.push_back(i);
  EXPECT_EQ(done.Tags(), expected);
  EXPECT_TRUE(done.Take(0).connected);
  EXPECT_NE(done.Thread(0), std::this_thread::get_id());
  for (int i = 0; i < 23; ++i) EXPECT_TRUE(done.Take(i).status.ok()) << i;
  // A synchronous call runs after everything queued before it.
  Result r = Ok(*s, "SELECT n FROM seq ORDER BY n");
  ASSERT_EQ(r.sets.at(0).rows->RowCount(), 20u);
  EXPECT_EQ(r.sets[0].rows->Integer(19, 0), 22);
}

TEST_P(Async, NestedTransactionsUseLevels) {
  auto s = Connect();
  ASSERT_TRUE(s);
  Ok(*s, "CREATE TABLE tx (a INTEGER)");
  Result none = s->CommitTrans();
  EXPECT_EQ(none.status.number, XACT_E_NOTRANSACTION);
  ASSERT_EQ(none.status.errors.size(), 1u);
  EXPECT_NE(none.status.description.find("No transaction"), std::string::npos);
  EXPECT_EQ(s->RollbackTrans().status.number, XACT_E_NOTRANSACTION);

  EXPECT_EQ(s->BeginTrans().transactionLevel, 1);
  Ok(*s, "INSERT INTO tx VALUES (1)");
  EXPECT_EQ(s->BeginTrans().transactionLevel, 2);
  Ok(*s, "INSERT INTO tx VALUES (2)");
  EXPECT_EQ(s->TransactionLevel(), 2);
  Result inner = s->RollbackTrans();
  EXPECT_TRUE(inner.status.ok()) << Describe(inner.status);
  EXPECT_EQ(inner.transactionLevel, 1);
  EXPECT_EQ(s->BeginTrans().transactionLevel, 2);
  Ok(*s, "INSERT INTO tx VALUES (3)");
  EXPECT_EQ(s->CommitTrans().transactionLevel, 1);
  EXPECT_EQ(s->CommitTrans().transactionLevel, 0);
  EXPECT_EQ(s->TransactionLevel(), 0);
  Result r = Ok(*s, "SELECT a FROM tx ORDER BY a");
  ASSERT_EQ(r.sets[0].rows->RowCount(), 2u);
  EXPECT_EQ(r.sets[0].rows->Integer(0, 0), 1);
  EXPECT_EQ(r.sets[0].rows->Integer(1, 0), 3);
  // A rolled back outer transaction leaves nothing.
  s->BeginTrans();
  Ok(*s, "INSERT INTO tx VALUES (4)");
  EXPECT_TRUE(s->RollbackTrans().status.ok());
  EXPECT_EQ(Ok(*s, "SELECT count(*) FROM tx").sets[0].rows->Integer(0, 0), 2);
  // A transaction ended by the command text is no longer counted.
  s->BeginTrans();
  Ok(*s, "COMMIT");
  EXPECT_EQ(s->TransactionLevel(), 0);
  EXPECT_EQ(s->CommitTrans().status.number, XACT_E_NOTRANSACTION);
}

TEST_P(Async, CommandTimeoutStopsALongStatement) {
  auto s = Connect();
  ASSERT_TRUE(s);
  CommandRequest slow = Sql(LongStatement());
  slow.timeout = 300ms;
  const auto start = Clock::now();
  Result r = s->Execute(slow);
  const auto took = Clock::now() - start;
  EXPECT_EQ(r.status.number, DB_E_ABORTLIMITREACHED) << Describe(r.status);
  ASSERT_EQ(r.status.errors.size(), 1u);
  EXPECT_EQ(r.status.errors[0].sqlState, "HYT00");
  EXPECT_EQ(r.status.description, "Query timeout expired");
  EXPECT_GE(took, 250ms);
  EXPECT_LT(took, 5s);
  EXPECT_TRUE(r.connected);
  EXPECT_EQ(Ok(*s, "SELECT 7").sets[0].rows->Integer(0, 0), 7);
}

TEST_P(Async, CancelStopsTheRunningStatementAndSkipsQueuedOnes) {
  auto s = Connect();
  ASSERT_TRUE(s);
  Ok(*s, "CREATE TABLE c (a INTEGER)");
  Completions done;
  const JobId slow = s->ExecuteAsync(Sql(LongStatement()), done.Callback(1));
  const JobId queued = s->ExecuteAsync(Sql("INSERT INTO c VALUES (1)"), done.Callback(2));
  std::this_thread::sleep_for(200ms);
  s->Cancel(queued);
  s->Cancel(slow);
  ASSERT_TRUE(done.WaitFor(2, 10s));
  EXPECT_EQ(done.Tags(), (std::vector<int>{1, 2}));
  Result first = done.Take(0), second = done.Take(1);
  EXPECT_EQ(first.status.number, DB_E_CANCELED) << Describe(first.status);
  EXPECT_EQ(first.status.errors.at(0).sqlState, "HY008");
  EXPECT_EQ(second.status.number, DB_E_CANCELED);
  EXPECT_EQ(Ok(*s, "SELECT count(*) FROM c").sets[0].rows->Integer(0, 0), 0);
}

TEST_P(Async, ReleasingWhileExecutingCancelsJoinsAndCompletesEverything) {
  Completions done;
  {
    auto s = Connect();
    ASSERT_TRUE(s);
    s->ExecuteAsync(Sql(LongStatement()), done.Callback(1));
    s->ExecuteAsync(Sql("SELECT 1"), done.Callback(2));
    std::this_thread::sleep_for(150ms);
    const auto start = Clock::now();
    s.reset();
    EXPECT_LT(Clock::now() - start, 5s);
  }
  // Both completions ran before the session was gone.
  ASSERT_TRUE(done.WaitFor(2, 0ms));
  EXPECT_EQ(done.Take(0).status.number, DB_E_CANCELED);
  EXPECT_EQ(done.Take(1).status.number, DB_E_CANCELED);
}

TEST_P(Async, ReleasingWithoutOpeningOrWhileOpeningIsClean) {
  ConnectOptions options;
  options.connectionString = ConnectionString();
  Status status;
  Completions done;
  {
    auto never = CreateSession(options, &status);
    ASSERT_TRUE(never);
  }
  {
    auto s = CreateSession(options, &status);
    ASSERT_TRUE(s);
    s->OpenAsync(done.Callback(1));
  }
  ASSERT_TRUE(done.WaitFor(1, 0ms));
  // Either the open finished first or it was cancelled; both are reported.
  const Result r = done.Take(0);
  EXPECT_TRUE(r.status.ok() || r.status.number == DB_E_CANCELED) << Describe(r.status);
}

TEST_P(Async, SynchronousCallFromACompletionIsRefused) {
  auto s = Connect();
  ASSERT_TRUE(s);
  Completions done;
  Session* session = s.get();
  s->ExecuteAsync(Sql("SELECT 1"), [session, &done](Result) { done.Callback(1)(session->Execute(Sql("SELECT 2"))); });
  ASSERT_TRUE(done.WaitFor(1));
  Result inner = done.Take(0);
  EXPECT_FALSE(inner.status.ok());
  EXPECT_EQ(inner.status.errors.at(0).sqlState, "HY010");
}

INSTANTIATE_TEST_SUITE_P(Providers, Async, ::testing::Values(Engine::SQLite, Engine::PostgreSQL), EngineName);

}  // namespace
}  // namespace tarnel::adodb::provider::testing
