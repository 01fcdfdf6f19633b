// End to end through the script host: the built tarnelhost registers the
// built library in a scratch registry and runs Lua scripts that use command
// handles, transactions and the information queries as a SCADA script does,
// including what the host hands back in by-reference arguments. The stored
// procedure example runs against PostgreSQL when TARNEL_PG_CONN is set.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "host_script_fixture.h"

namespace tarnel {
namespace {

namespace fs = std::filesystem;

using Output = HostOutput;

class CommandScripts : public HostScriptFixture {
 protected:
  Output Script(const std::string& code, const std::string& args = "") { return RunScript(code, args); }
};

TEST_F(CommandScripts, AScriptRunsAParameterisedStatementAndReadsTheWriteBacks) {
  const std::string db = (dir_ / "plant.db").string();
  const Output r = Script(R"LUA(
local ado = CreateObject("TarnelTools.ADO")
ado.DebugMode = 1
local h = ado:AdoConnect("Provider=SQLite;Data Source=" .. arg[1] .. ";Create=True", 15)
while ado:AdoConnectionState(h) == 2 do Sleep(5) end
local function wait(x) while ado:AdoExecuting(x) ~= 0 do Sleep(5) end end
ado:AdoExec(h, "CREATE TABLE tags (name TEXT, value INTEGER)", -1, 0); wait(h)

print("begin", (ado:AdoBeginTran(h)))
ado:AdoSet(h, "INSERT INTO tags (name, value) ")
ado:AdoAppend(h, "VALUES (?, ?)")
local cmd, _, text = ado:AdoCmdCreate(h, "")
print("create", cmd, text)
print("add", (ado:AdoCmdAddParm(cmd, "name", "x'); DROP TABLE tags; --", 202, 1, 100, 0, 0)))
print("add", (ado:AdoCmdAddParm(cmd, "value", 7, 3, 1, 0, 0, 0)))
print("precision", (ado:AdoCmdAddParm(cmd, "bad", 1, 3, 1, 0, 256, 0)))
local result, _, options = ado:AdoCmdExec(cmd, -1, 5)
print("exec", result, options, (ado:AdoCmdState(h)))
wait(cmd)
print("changed", (ado:AdoNumChange(cmd)))
print("commit", (ado:AdoCommit(cmd)), (ado:AdoCommit(h)))
local msg, handle = ado:AdoErrMsg(-1, "SQLState", 0)
print("errmsg", msg, handle)
local ok, err = pcall(function() return ado:AdoCmdGetParm(cmd, "nothing") end)
print("getparm", ok, err.number)
ok, err = pcall(function() return ado:AdoInfo(h, "Query", 0) end)
print("info", ok, err.number)
print("close", (ado:AdoCmdClose(cmd)), (ado:AdoCmdClose(cmd)), ado.Connections)
ado:AdoExec(h, "SELECT name, value FROM tags", -1, 0); wait(h)
print("row", (ado:AdoGetField(h, "name", 0, 0, 0)), (ado:AdoGetField(h, "value", 0, 0, 0)))
print("query", (ado:AdoInfo(h, "Query", 8)))
ado:AdoDisconnect(h)
)LUA",
                          Quoted(db));
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const std::string expected =
      "begin\t0\n"
      "create\t1\tINSERT INTO tags (name, value) VALUES (?, ?)\n"
      "add\t0\n"
      "add\t0\n"
      "precision\t274\n"
      "exec\t0\t16\t269\n"
      "changed\t1\n"
      "commit\t0\t307\n"
      "errmsg\t25000\t1\n"
      "getparm\tfalse\t-2147221504\n"
      "info\tfalse\t5\n"
      "close\t0\t269\t1\n"
      "row\tx'); DROP TABLE tags; --\t7\n"
      "query\tname, value FROM tags\n";
  EXPECT_EQ(r.out, expected) << r.err;
  EXPECT_NE(r.err.find("AdoCmdAddParm(hCmd=1, sName='bad', Value='1', Type=3, Direction=1, SizeBytes=0, "
                       "Precision=256, Scale=0) Error 6 Overflow"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("AdoCommit(0) = 307 Error -2147168242 "), std::string::npos) << r.err;
}

TEST_F(CommandScripts, TheStoredProcedureExampleRunsOnPostgreSQL) {
  const char* pg = std::getenv("TARNEL_PG_CONN");
  if (!pg || !*pg) GTEST_SKIP() << "TARNEL_PG_CONN is not set";
  const fs::path example = fs::path(TARNEL_SOURCE_DIR) / "examples" / "stored_procedure.lua";
  const Output r = Host("--debug-output " + Quoted(example.string()) + " " + Quoted(pg));
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("ran with options 20: stock = 14, note = \"Pump 7 seal restocked to 14\""), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("again: stock = 10, note = \"x'); DROP TABLE pg_class; -- restocked to 10\""), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("2 rows at or above 50:\n  Tank2.Level = 75\n  Tank3.Level = 90\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("done, connections open: 0"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("AdoCmdExec(1, 20, 30) = 0"), std::string::npos) << r.err;
}

TEST_F(CommandScripts, TheStoredProcedureExampleSaysHowToRunItWithoutAConnectionString) {
  const fs::path example = fs::path(TARNEL_SOURCE_DIR) / "examples" / "stored_procedure.lua";
  const Output r = Host(Quoted(example.string()), "-u TARNEL_PG_CONN");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("usage: tarnelhost examples/stored_procedure.lua CONNECTION-STRING"), std::string::npos)
      << r.err;
}

}  // namespace
}  // namespace tarnel
