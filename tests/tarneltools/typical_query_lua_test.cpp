// The typical query end to end through the script host: the built
// tarnelhost registers the built library in a scratch registry and runs
// Lua scripts as a SCADA page does: the example script, bad input of every
// kind, a container that answers events, a locked database file, and (when
// TARNEL_PG_CONN names a server) the same on PostgreSQL with a session the
// server ends while its statement runs. Every wait in the scripts is
// bounded, so a flag that never clears shows as "timeout", not as a hang.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "host_script_fixture.h"

namespace tarnel {
namespace {

namespace fs = std::filesystem;

using Output = HostOutput;

// What every script below starts with: a control, a connection helper and
// a bounded wait for a handle's statement.
const char* const kPrelude = R"LUA(
local ado = CreateObject("TarnelTools.ADO")
ado.DebugMode = 1
local function connect(cs)
  local h = ado:AdoConnect(cs, 5)
  for _ = 1, 2000 do
    if ado:AdoConnectionState(h) ~= 2 then break end
    Sleep(5)
  end
  return h
end
local function wait(h)
  for _ = 1, 4000 do
    if ado:AdoExecuting(h) == 0 then return true end
    Sleep(5)
  end
  print("timeout")
  return false
end
local function exec(h, sql)
  local r = ado:AdoExec(h, sql, -1, 0)
  wait(h)
  return r
end
)LUA";

class TypicalQueryScripts : public HostScriptFixture {
 protected:
  // Runs the prelude followed by `code` with --debug-output.
  Output Script(const std::string& code, const std::string& args = "") { return RunScript(kPrelude + code, args); }
  std::string Sqlite(const std::string& file = "plant.db") {
    return "Provider=SQLite;Data Source=" + (dir_ / file).string() + ";Create=True";
  }

};

TEST_F(TypicalQueryScripts, TheExampleScriptPrintsTheRows) {
  const fs::path example = fs::path(TARNEL_SOURCE_DIR) / "examples" / "typical_query.lua";
  const Output r = Host(Quoted(example.string()) + " " + Quoted((dir_ / "parts.db").string()));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "3 rows inserted\n"
            "id\tname\tprice\tstock\n"
            "1\tvalve\t12.5\t40\n"
            "2\tpump\t249\t3\n"
            "3\tsensor\t31.75\t18\n");
  // Run again on the same file: the script starts from a clean table.
  EXPECT_EQ(Host(Quoted(example.string()) + " " + Quoted((dir_ / "parts.db").string())).out, r.out);
}

TEST_F(TypicalQueryScripts, BadInputGivesTheDefinedResults) {
  const Output r = Script(R"LUA(
local h = connect(arg[1])
exec(h, "CREATE TABLE t (a INTEGER, b TEXT)")
exec(h, "INSERT INTO t VALUES (1, 'x'), (2, NULL)")
print("syntax", exec(h, "SELEC oops"), (ado:AdoExecuting(h)), (ado:AdoRecordsetState(h)))
exec(h, "SELECT a, b FROM t ORDER BY a")
print("words", (ado:AdoMove(h, "next")), (ado:AdoMove(h, "Next ")), (ado:AdoMove(h, "")), (ado:AdoMove(h, "LAST")))
for _, bad in ipairs({-1, 99, 1}) do
  print("bad", bad, (ado:AdoNext(bad)), (ado:AdoNoFields(bad)), (ado:AdoRecordCount(bad)),
        (ado:AdoExec(bad, "SELECT 1", -1, 0)), (ado:AdoDisconnect(bad)), (ado:AdoConnectionState(bad)),
        (ado:AdoNumChange(bad)), (ado:AdoRecordsetState(bad)))
end
local r0, _, _, n0, s0 = ado:AdoFieldInfo(h, 0, "x", 9)
local r1, _, _, n1, s1 = ado:AdoFieldInfo(h, -2147483648, "x", 9)
print("fieldinfo", r0, "[" .. n0 .. "]", s0, r1, "[" .. n1 .. "]", s1)
local function fails(f) local ok, e = pcall(f); return ok and "ok" or e.number end
print("getfield", fails(function() return ado:AdoGetField(h, "nosuch", 0, 0, 0) end),
      fails(function() return ado:AdoGetField(99, "a", 0, 0, 0) end))
print("next", (ado:AdoNext(h)))
print("null", fails(function() return ado:AdoGetField(h, "b", 0, 0, 0) end))
print("end", (ado:AdoNext(h)), fails(function() return ado:AdoNext(h) end))
print("executing", fails(function() return ado:AdoExecuting(-1) end), fails(function() return ado:AdoExecuting(51) end))
print("disconnect", (ado:AdoDisconnect(h)), ado.Connections)
)LUA",
                          Quoted(Sqlite()));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "syntax\t0\t0\t0\n"
            "words\t274\t274\t274\t274\n"
            "bad\t-1\t269\t-1\t-1\t269\t269\t-1\t-1\t-1\n"
            "bad\t99\t269\t-1\t-1\t269\t269\t-1\t-1\t-1\n"
            "bad\t1\t269\t-1\t-1\t269\t269\t-1\t-1\t-1\n"
            "fieldinfo\t269\t[]\t0\t269\t[]\t0\n"
            "getfield\t3265\t-2147221504\n"
            "next\t0\n"
            "null\t94\n"
            "end\t294\t3021\n"
            "executing\t9\t9\n"
            "disconnect\t0\t0\n");
  EXPECT_NE(r.err.find(".ocx AdoFieldInfo(0, -2147483648) Error 6 Overflow\n"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(".ocx AdoGetField(0) Invalid Handle\n"), std::string::npos);
  EXPECT_NE(r.err.find("syntax error"), std::string::npos);
}

TEST_F(TypicalQueryScripts, AContainerCancelsAStatementInWillExecute) {
  const Output r = Script(R"LUA(
local h = connect(arg[1])
exec(h, "CREATE TABLE t (a INTEGER)")
local seen = {}
ConnectEvents(ado, {
  WillExecute = function(args)
    seen[#seen + 1] = "WillExecute " .. args.Source
    if args.Source:match("^DELETE") then args.adStatus = 4 end
  end,
  ExecuteComplete = function(args)
    seen[#seen + 1] = ("ExecuteComplete %d %d executing %d"):format(args.RecordsAffected, args.adStatus,
                                                                    ado:AdoExecuting(h))
  end,
})
print("insert", exec(h, "INSERT INTO t VALUES (1), (2)"), (ado:AdoNumChange(h)))
print("delete", (ado:AdoExec(h, "DELETE FROM t", -1, 0)), (ado:AdoExecuting(h)))
exec(h, "SELECT count(*) AS n FROM t")
print("count", (ado:AdoGetField(h, "n", 0, 0, 0)))
DisconnectEvents(ado)
for _, s in ipairs(seen) do print(s) end
)LUA",
                          Quoted(Sqlite()));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "insert\t0\t2\n"
            "delete\t3712\t0\n"
            "count\t2\n"
            "WillExecute INSERT INTO t VALUES (1), (2)\n"
            "ExecuteComplete 2 1 executing 0\n"
            "WillExecute DELETE FROM t\n"
            "ExecuteComplete -1 2 executing 0\n"
            "WillExecute SELECT count(*) AS n FROM t\n"
            "ExecuteComplete -1 1 executing 0\n");
}

TEST_F(TypicalQueryScripts, ALockedDatabaseFileFailsTheStatementWithinItsTimeOut) {
  const Output r = Script(R"LUA(
local first = connect(arg[1])
exec(first, "CREATE TABLE t (a INTEGER)")
local second = connect(arg[1])
-- The first connection holds the file's write lock.
exec(first, "BEGIN IMMEDIATE")
exec(second, "SELECT count(*) AS n FROM t")
-- The statement runs under the connection's own command time-out; the
-- control made the second connection its event source.
ado.ConnectionEventSource.CommandTimeout = 1
local started = os.time()
print("insert", (ado:AdoExec(second, "INSERT INTO t VALUES (1)", -1, 0)))
print("completed", wait(second), (ado:AdoExecuting(second)), os.time() - started <= 10)
exec(first, "COMMIT")
print("retry", exec(second, "INSERT INTO t VALUES (1)"), (ado:AdoNumChange(second)))
)LUA",
                          Quoted(Sqlite()));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "insert\t0\n"
            "completed\ttrue\t0\ttrue\n"
            "retry\t0\t1\n");
  EXPECT_NE(r.err.find("locked"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("ConnectionEventSource_ExecuteComplete() mhADO(1) Executing = FALSE"), std::string::npos);
}

TEST_F(TypicalQueryScripts, PostgreSQLQueryAndASessionEndedMidStatement) {
  const char* pg = std::getenv("TARNEL_PG_CONN");
  if (!pg || !*pg) GTEST_SKIP() << "TARNEL_PG_CONN is not set";
  const Output r = Script(R"LUA(
local h = connect(arg[1])
print("state", (ado:AdoConnectionState(h)))
exec(h, "DROP TABLE IF EXISTS tarnel_typical")
exec(h, "CREATE TABLE tarnel_typical (id integer, name text, price numeric(8,2))")
exec(h, "INSERT INTO tarnel_typical VALUES (1, 'valve', 12.50), (2, 'pump', 249)")
print("inserted", (ado:AdoNumChange(h)))
exec(h, "SELECT id, name, price FROM tarnel_typical ORDER BY id")
repeat
  local price, _, _, ptype, precision, scale = ado:AdoGetField(h, "price", 0, 0, 0)
  print((ado:AdoGetField(h, "id", 0, 0, 0)), (ado:AdoGetField(h, "name", 0, 0, 0)), price, ptype, precision, scale)
until ado:AdoNext(h) == 294
print("syntax", exec(h, "SELEC 1"), (ado:AdoExecuting(h)))
exec(h, "DROP TABLE tarnel_typical")
-- A second session ends the first one's backend while its statement runs.
exec(h, "SELECT pg_backend_pid() AS pid")
local pid = (ado:AdoGetField(h, "pid", 0, 0, 0))
local killer = connect(arg[1])
print("sleep", (ado:AdoExec(h, "SELECT pg_sleep(30)", -1, 0)), (ado:AdoExecuting(h)))
Sleep(300)
exec(killer, "SELECT pg_terminate_backend(" .. pid .. ")")
print("ended", wait(h), (ado:AdoExecuting(h)))
print("disconnect", (ado:AdoDisconnect(h)), (ado:AdoDisconnect(killer)), ado.Connections)
)LUA",
                          Quoted(pg));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "state\t1\n"
            "inserted\t2\n"
            "1\tvalve\t12.5\t131\t8\t2\n"
            "2\tpump\t249\t131\t8\t2\n"
            "syntax\t0\t0\n"
            "sleep\t0\t1\n"
            "ended\ttrue\t0\n"
            "disconnect\t0\t0\t0\n");
}

}  // namespace
}  // namespace tarnel
