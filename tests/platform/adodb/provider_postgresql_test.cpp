// What only the PostgreSQL provider does: refused, failed and timed-out
// logins, a server that stops in the middle of a statement, functions and
// procedures with output values, the PostgreSQL-only types, notices, and
// the rollback of a transaction that a failed statement has doomed.
#include <cmath>
#include <cstdio>

#include "platform/adodb/provider/postgresql/postgresql_library.h"
#include "provider_test_support.h"
#include "silent_server.h"

namespace tarnel::adodb::provider::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Postgres = ProviderTest;

// The client library is loaded by name at the first connection (it is a
// dependency of the tests' machine): once per process, with every function.
TEST(PqLibrary, LoadsOnceWithEveryFunction) {
  std::string error;
  const PqFunctions* first = LoadPqLibrary(error);
  ASSERT_NE(first, nullptr) << error;
  EXPECT_EQ(LoadPqLibrary(error), first);
  EXPECT_EQ(&Pq(), first);
#define TARNEL_PQ_PRESENT(name) EXPECT_NE(first->name, nullptr) << #name;
  TARNEL_PQ_FUNCTIONS(TARNEL_PQ_PRESENT)
#undef TARNEL_PQ_PRESENT
  EXPECT_EQ(first->PQstatus(nullptr), CONNECTION_BAD);
}

std::string Loopback(int port, const std::string& extra = "") {
  return "Provider=PostgreSQL;Server=127.0.0.1;Port=" + std::to_string(port) +
         ";Database=postgres;User ID=postgres" + extra;
}

Result OpenWith(const std::string& cs, ConnectOptions options = {}) {
  options.connectionString = cs;
  Status status;
  auto s = CreateSession(options, &status);
  if (!s) {
    Result r;
    r.status = status;
    return r;
  }
  return s->Open();
}

TEST_P(Postgres, RefusedAndFailedLoginsAreClearErrors) {
  Result role = OpenWith(std::string(PgConnectionString()) + ";User ID=no_such_role_here");
  EXPECT_EQ(role.status.number, E_FAIL);
  ASSERT_EQ(role.status.errors.size(), 1u);
  EXPECT_EQ(role.status.errors[0].sqlState, "28000");
  EXPECT_NE(role.status.description.find("no_such_role_here"), std::string::npos) << role.status.description;
  EXPECT_FALSE(role.connected);

  Result db = OpenWith(std::string(PgConnectionString()) + ";Initial Catalog=no_such_db");
  EXPECT_EQ(db.status.errors.at(0).sqlState, "3D000");

  int closedPort;
  {
    SilentServer probe;
    closedPort = probe.Port();
  }
  const auto start = Clock::now();
  Result refused = OpenWith(Loopback(closedPort));
  EXPECT_LT(Clock::now() - start, 5s);
  EXPECT_EQ(refused.status.number, E_FAIL);
  EXPECT_EQ(refused.status.errors.at(0).sqlState, "08001");
  EXPECT_NE(refused.status.description.find("refused"), std::string::npos) << refused.status.description;

  // Open's user argument overrides the string.
  ConnectOptions o;
  o.userId = "another_missing_role";
  Result overridden = OpenWith(PgConnectionString(), o);
  EXPECT_NE(overridden.status.description.find("another_missing_role"), std::string::npos);
}

TEST_P(Postgres, SilentServerFailsAfterTheConnectionTimeOut) {
  SilentServer silent;
  const auto start = Clock::now();
  Result r = OpenWith(Loopback(silent.Port(), ";Connect Timeout=1"));
  const auto took = Clock::now() - start;
  EXPECT_EQ(r.status.number, E_FAIL);
  ASSERT_EQ(r.status.errors.size(), 1u);
  EXPECT_EQ(r.status.errors[0].sqlState, "HYT00");
  EXPECT_NE(r.status.description.find("Login timeout expired"), std::string::npos);
  EXPECT_GE(took, 900ms);
  EXPECT_LT(took, 5s);

  // Released while still connecting: the open is cancelled at once.
  Completions done;
  {
    ConnectOptions options;
    options.connectionString = Loopback(silent.Port(), ";Connect Timeout=60");
    Status status;
    auto s = CreateSession(options, &status);
    ASSERT_TRUE(s);
    s->OpenAsync(done.Callback(1));
    std::this_thread::sleep_for(100ms);
    const auto released = Clock::now();
    s.reset();
    EXPECT_LT(Clock::now() - released, 2s);
  }
  ASSERT_TRUE(done.WaitFor(1, 0ms));
  EXPECT_EQ(done.Take(0).status.number, DB_E_CANCELED);
}

TEST_P(Postgres, TerminatedBackendEndsTheStatementWithAnError) {
  auto victim = Connect();
  ASSERT_TRUE(victim);
  Result pid = Ok(*victim, "SELECT pg_backend_pid()");
  const std::int64_t backend = pid.sets.at(0).rows->Integer(0, 0);
  Completions done;
  victim->ExecuteAsync(Sql("SELECT pg_sleep(30)"), done.Callback(1));
  std::this_thread::sleep_for(200ms);
  Ok(*admin_, "SELECT pg_terminate_backend(?)", {In(Value::Int(backend), adInteger)});
  ASSERT_TRUE(done.WaitFor(1, 10s));
  Result r = done.Take(0);
  EXPECT_EQ(r.status.number, E_FAIL);
  ASSERT_FALSE(r.status.errors.empty());
  EXPECT_TRUE(r.status.errors[0].sqlState.starts_with("57") || r.status.errors[0].sqlState.starts_with("08"))
      << Describe(r.status);
  EXPECT_FALSE(r.connected);
  EXPECT_FALSE(victim->Connected());
  EXPECT_EQ(Run(*victim, "SELECT 1").status.number, ControlError(3709));
}

#ifdef TARNEL_SOURCE_DIR
TEST_P(Postgres, ServerStoppedInTheMiddleOfAStatement) {
  // A private server, so that stopping it disturbs no other test.
  const std::string state = (std::filesystem::temp_directory_path() /
                             ("tt_pg_state_" + std::to_string(::getpid()))).string();
  const std::string script = std::string("TARNEL_PG_STATE=") + state + " " TARNEL_SOURCE_DIR "/scripts/pg-test-server.sh";
  std::string line;
  if (FILE* out = ::popen((script + " start").c_str(), "r")) {
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, out)) line += buffer;
    ::pclose(out);
  }
  struct StopAtEnd {
    std::string command;
    ~StopAtEnd() { std::system(command.c_str()); }
  } stopAtEnd{script + " stop"};
  const std::size_t open = line.find('\''), close = line.rfind('\'');
  ASSERT_NE(open, std::string::npos) << line;
  const std::string cs = line.substr(open + 1, close - open - 1);
  ConnectOptions options;
  options.connectionString = cs;
  Status status;
  auto s = CreateSession(options, &status);
  ASSERT_TRUE(s && s->Open().status.ok());
  Completions done;
  s->ExecuteAsync(Sql("SELECT pg_sleep(60)"), done.Callback(1));
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(std::system((script + " stop").c_str()), 0);
  ASSERT_TRUE(done.WaitFor(1, 20s));
  Result r = done.Take(0);
  EXPECT_EQ(r.status.number, E_FAIL) << Describe(r.status);
  EXPECT_FALSE(r.connected);
  EXPECT_FALSE(s->Connected());
}
#endif

TEST_P(Postgres, FunctionsAndProceduresReturnOutputValues) {
  Ok(*admin_, "SET search_path TO " + schema_);
  Ok(*admin_, "CREATE FUNCTION add_them(a integer, b integer) RETURNS integer LANGUAGE sql AS 'SELECT a + b'");
  Ok(*admin_, "CREATE FUNCTION split_it(x integer, OUT half integer, OUT twice integer) LANGUAGE sql "
              "AS 'SELECT x / 2, x * 2'");
  Ok(*admin_, "CREATE PROCEDURE bump(INOUT counter integer, step integer, OUT note text) LANGUAGE plpgsql "
              "AS $$BEGIN counter := counter + step; note := 'bumped ' || step; END$$");
  Ok(*admin_, "CREATE FUNCTION upto(n integer) RETURNS SETOF integer LANGUAGE sql AS 'SELECT generate_series(1, n)'");
  auto s = Connect();
  ASSERT_TRUE(s);

  CommandRequest add = Sql("add_them");
  add.type = adCmdStoredProc;
  add.parameters = {Parameter{.name = "ret", .type = adInteger, .direction = adParamReturnValue},
                    In(Value::Int(2), adInteger), In(Value::Int(40), adInteger)};
  Result a = s->Execute(add);
  ASSERT_TRUE(a.status.ok()) << Describe(a.status);
  EXPECT_EQ(a.outputs.at(0), Value::Int(42));
  EXPECT_FALSE(a.sets.at(0).rows);

  CommandRequest split = Sql(schema_ + ".split_it");
  split.type = adCmdStoredProc;
  split.parameters = {In(Value::Int(10), adInteger),
                      Parameter{.name = "half", .type = adInteger, .direction = adParamOutput},
                      Parameter{.name = "twice", .type = adInteger, .direction = adParamOutput}};
  Result sp = s->Execute(split);
  ASSERT_TRUE(sp.status.ok()) << Describe(sp.status);
  EXPECT_EQ(sp.outputs[1], Value::Int(5));
  EXPECT_EQ(sp.outputs[2], Value::Int(20));

  CommandRequest bump = Sql("BUMP");  // unquoted names fold to lower case
  bump.type = adCmdStoredProc;
  bump.parameters = {Parameter{.type = adInteger, .direction = adParamInputOutput, .value = Value::Int(5)},
                     In(Value::Int(3), adInteger),
                     Parameter{.type = adVarWChar, .direction = adParamOutput, .size = 50}};
  Result b = s->Execute(bump);
  ASSERT_TRUE(b.status.ok()) << Describe(b.status);
  EXPECT_EQ(b.outputs[0], Value::Int(8));
  EXPECT_EQ(b.outputs[2], Value::Text("bumped 3"));

  // The same procedure through a text CALL with placeholders.
  CommandRequest call = Sql("CALL bump(?, ?, ?)");
  call.parameters = bump.parameters;
  Result c = s->Execute(call);
  ASSERT_TRUE(c.status.ok()) << Describe(c.status);
  EXPECT_EQ(c.outputs[0], Value::Int(8));
  EXPECT_EQ(c.outputs[2], Value::Text("bumped 3"));

  CommandRequest rows = Sql("upto");
  rows.type = adCmdStoredProc;
  rows.parameters = {In(Value::Int(4), adInteger)};
  Result u = s->Execute(rows);
  ASSERT_TRUE(u.status.ok()) << Describe(u.status);
  ASSERT_TRUE(u.sets.at(0).rows);
  EXPECT_EQ(u.sets[0].rows->RowCount(), 4u);

  CommandRequest missing = Sql("no_such_proc");
  missing.type = adCmdStoredProc;
  Result m = s->Execute(missing);
  EXPECT_EQ(m.status.errors.at(0).sqlState, "42883");
  CommandRequest injected = Sql("add_them(1,1); DROP TABLE x; --");
  injected.type = adCmdStoredProc;
  EXPECT_EQ(s->Execute(injected).status.errors.at(0).sqlState, "42602");
}

TEST_P(Postgres, PostgresqlTypesAndValues) {
  auto s = Connect();
  ASSERT_TRUE(s);
  Result r = Ok(*s,
                "SELECT 12345.678::numeric(9,3) AS n, '-1234.56'::money AS m, "
                "'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11'::uuid AS u, '\\x00ff10'::bytea AS b, "
                "'ab'::char(4) AS c, 'xyz'::varchar(9) AS v, 1.5::real AS f4, 7::smallint AS i2, "
                "'2024-02-29 23:59:59.5+02'::timestamptz AS tz, '1 day'::interval AS iv, "
                "'Infinity'::float8 AS inf, 'infinity'::timestamp AS tinf");
  const RowStore& row = *r.sets.at(0).rows;
  const auto& c = row.Columns();
  EXPECT_EQ(c[0].type, adNumeric);
  EXPECT_EQ(c[0].precision, 9);
  EXPECT_EQ(c[0].numericScale, 3);
  EXPECT_EQ(row.Kind(0, 0), CellKind::Numeric);
  EXPECT_EQ(row.Bytes(0, 0), "12345.678");
  EXPECT_EQ(c[1].type, adCurrency);
  EXPECT_EQ(row.Kind(0, 1), CellKind::Currency);
  EXPECT_EQ(row.Integer(0, 1), -12345600);
  EXPECT_EQ(c[2].type, adGUID);
  EXPECT_EQ(row.Bytes(0, 2), "a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11");
  EXPECT_EQ(row.Kind(0, 3), CellKind::Blob);
  EXPECT_EQ(row.Bytes(0, 3), std::string("\x00\xff\x10", 3));
  EXPECT_EQ(c[4].type, adWChar);
  EXPECT_EQ(c[4].definedSize, 4);
  EXPECT_EQ(row.Bytes(0, 4), "ab  ");
  EXPECT_EQ(c[5].type, adVarWChar);
  EXPECT_EQ(c[5].definedSize, 9);
  EXPECT_EQ(c[6].type, adSingle);
  EXPECT_EQ(row.Double(0, 6), 1.5);
  EXPECT_EQ(c[7].type, adSmallInt);
  EXPECT_EQ(c[8].type, adDBTimeStamp);
  EXPECT_EQ(row.Kind(0, 8), CellKind::Date);
  EXPECT_EQ(row.Kind(0, 9), CellKind::Text);
  EXPECT_TRUE(std::isinf(row.Double(0, 10)));
  EXPECT_EQ(row.Kind(0, 11), CellKind::Text);  // no OLE date for infinity
  EXPECT_EQ(row.Bytes(0, 11), "infinity");
}

TEST_P(Postgres, NoticesBecomeWarningsAndQuestionMarksStayWithoutParameters) {
  auto s = Connect();
  ASSERT_TRUE(s);
  Result n = Ok(*s, "DO $$BEGIN RAISE NOTICE 'hello %', 'there'; END$$");
  ASSERT_EQ(n.status.warnings.size(), 1u);
  EXPECT_EQ(n.status.warnings[0].description, "hello there");
  EXPECT_EQ(n.status.warnings[0].number, S_OK);
  EXPECT_EQ(n.status.warnings[0].sqlState, "00000");
  Result failing = Run(*s, "DO $$BEGIN RAISE NOTICE 'before'; RAISE EXCEPTION 'boom'; END$$");
  EXPECT_EQ(failing.status.description, "boom");
  ASSERT_EQ(failing.status.warnings.size(), 1u);
  EXPECT_EQ(failing.status.warnings[0].description, "before");
  Result j = Ok(*s, "SELECT '{\"a\":1}'::jsonb ? 'a' AS has");
  EXPECT_EQ(j.sets.at(0).rows->Integer(0, 0), 1);
  Result dollars = Ok(*s, "SELECT $body$ ? $body$ AS t, ? AS p", {In(Value::Text("q"))});
  EXPECT_EQ(dollars.sets.at(0).rows->Bytes(0, 0), " ? ");
  EXPECT_EQ(dollars.sets[0].rows->Bytes(0, 1), "q");
  Result nul = Run(*s, "SELECT ?", {In(Value::Text(std::string("a\0b", 3)))});
  EXPECT_EQ(nul.status.errors.at(0).sqlState, "22021");
}

TEST_P(Postgres, CommitOfADoomedTransactionRollsBackAndSaysSo) {
  auto s = Connect();
  ASSERT_TRUE(s);
  Ok(*s, "CREATE TABLE d (a INTEGER)");
  EXPECT_EQ(s->BeginTrans().transactionLevel, 1);
  Ok(*s, "INSERT INTO d VALUES (1)");
  EXPECT_FALSE(Run(*s, "SELECT 1/0").status.ok());
  Result c = s->CommitTrans();
  EXPECT_EQ(c.status.number, E_FAIL);
  EXPECT_EQ(c.status.errors.at(0).sqlState, "40000");
  EXPECT_NE(c.status.description.find("rolled back"), std::string::npos);
  EXPECT_EQ(c.transactionLevel, 0);
  EXPECT_EQ(Ok(*s, "SELECT count(*) FROM d").sets[0].rows->Integer(0, 0), 0);
}

INSTANTIATE_TEST_SUITE_P(Provider, Postgres, ::testing::Values(Engine::PostgreSQL), EngineName);

}  // namespace
}  // namespace tarnel::adodb::provider::testing
