-- A stored procedure and a set-returning function on PostgreSQL, run
-- through command handles of the ADO control: the procedure takes an input,
-- an input-output and an output parameter; the function takes an input and
-- returns rows that the script walks through the command handle.
--
-- It needs a PostgreSQL server; a throwaway one for trying it out:
--   eval "$(scripts/pg-test-server.sh start)"      # sets TARNEL_PG_CONN
--   tarnelhost --regsvr build/release/TarnelTools.so
--   tarnelhost --debug-output examples/stored_procedure.lua
--   scripts/pg-test-server.sh stop
-- The connection string is the script's first argument, else TARNEL_PG_CONN,
-- for example "Provider=PostgreSQL;Server=127.0.0.1;Port=5432;Database=postgres;User ID=postgres".
-- The script creates tarnel_demo_restock and tarnel_demo_levels in the
-- connection's default schema and drops them again at the end.

local connection = arg[1] or os.getenv("TARNEL_PG_CONN")
if not connection or connection == "" then
  io.stderr:write("usage: tarnelhost examples/stored_procedure.lua CONNECTION-STRING\n",
                  "   (or set TARNEL_PG_CONN to a PostgreSQL connection string)\n")
  os.exit(2)
end

-- ADO's numbers for data types, parameter directions and command types.
local adInteger, adVarWChar = 3, 202
local adParamInput, adParamOutput, adParamInputOutput = 1, 2, 3
local adCmdStoredProc = 4
local EOF = 294

local ado = CreateObject("TarnelTools.ADO")
ado.DebugMode = 1

-- Waits while the messages of the thread run, as a SCADA page would poll.
local function waitWhile(condition)
  for _ = 1, 1000 do
    if not condition() then return end
    Sleep(10)
  end
  error("gave up waiting")
end

-- The first error the connection collected, for a message.
local function lastError(h)
  return ado:AdoErrMsg(h, "Description", 0)
end

-- Runs SQL text on a handle and waits for it to complete.
local function exec(h, sql)
  local result = ado:AdoExec(h, sql, -1, 30)
  if result ~= 0 then error(("AdoExec failed with %d: %s"):format(result, lastError(h))) end
  waitWhile(function() return ado:AdoExecuting(h) ~= 0 end)
end

-- Runs a command handle and waits for it to complete.
local function run(cmd, options)
  local result, _, used = ado:AdoCmdExec(cmd, options, 30)
  if result ~= 0 then error(("AdoCmdExec failed with %d"):format(result)) end
  waitWhile(function() return ado:AdoExecuting(cmd) ~= 0 end)
  return used
end

local function addParm(cmd, name, value, dataType, direction, size)
  local result = ado:AdoCmdAddParm(cmd, name, value, dataType, direction, size, 0, 0)
  if result ~= 0 then error(("AdoCmdAddParm(%s) failed with %d"):format(name, result)) end
end

-- Open the connection; it opens in the background.
local h = ado:AdoConnect(connection, 15)
if h < 0 then error("AdoConnect failed") end
waitWhile(function() return ado:AdoConnectionState(h) == 2 end)
if ado:AdoConnectionState(h) ~= 1 then
  error("the connection did not open: " .. lastError(h))
end
print(("connected, handle %d"):format(h))

exec(h, [[CREATE OR REPLACE PROCEDURE tarnel_demo_restock(IN item text, INOUT stock integer, OUT note text)
LANGUAGE plpgsql AS $$
BEGIN
  stock := stock + 10;
  note := item || ' restocked to ' || stock;
END
$$]])
exec(h, [[CREATE OR REPLACE FUNCTION tarnel_demo_levels(min_level integer)
RETURNS TABLE (tag text, level integer) LANGUAGE sql AS $$
  SELECT tag, level FROM (VALUES ('Tank1.Level', 40), ('Tank2.Level', 75), ('Tank3.Level', 90)) AS t(tag, level)
  WHERE level >= min_level ORDER BY level
$$]])

-- The procedure: one command handle, three parameters, run twice.
local restock = ado:AdoCmdCreate(h, "tarnel_demo_restock")
if restock < 0 then error("AdoCmdCreate failed") end
addParm(restock, "item", "Pump 7 seal", adVarWChar, adParamInput, 100)
addParm(restock, "stock", 4, adInteger, adParamInputOutput, 0)
addParm(restock, "note", nil, adVarWChar, adParamOutput, 200)

local options = run(restock, adCmdStoredProc)
print(("ran with options %d: stock = %d, note = %q"):format(
  options, ado:AdoCmdGetParm(restock, "stock"), ado:AdoCmdGetParm(restock, "note")))

-- A value that looks like SQL stays a value: the engine binds it.
ado:AdoCmdSetParm(restock, "item", "x'); DROP TABLE pg_class; --")
ado:AdoCmdSetParm(restock, "stock", 0)
run(restock, adCmdStoredProc)
print(("again: stock = %d, note = %q"):format(
  ado:AdoCmdGetParm(restock, "stock"), ado:AdoCmdGetParm(restock, "note")))

-- The function: its rows are read through the command handle.
local levels = ado:AdoCmdCreate(h, "tarnel_demo_levels")
addParm(levels, "min_level", 50, adInteger, adParamInput, 0)
run(levels, adCmdStoredProc)
print(("%d rows at or above 50:"):format(ado:AdoRecordCount(levels)))
if ado:AdoRecordCount(levels) > 0 then
  repeat
    local tag = ado:AdoGetField(levels, "tag", 0, 0, 0)
    local level = ado:AdoGetField(levels, "level", 0, 0, 0)
    print(("  %s = %s"):format(tag, level))
  until ado:AdoNext(levels) == EOF
end

ado:AdoCmdClose(levels)
ado:AdoCmdClose(restock)
exec(h, "DROP FUNCTION tarnel_demo_levels(integer)")
exec(h, "DROP PROCEDURE tarnel_demo_restock(text, integer, text)")
ado:AdoDisconnect(h)
print(("done, connections open: %d"):format(ado.Connections))
