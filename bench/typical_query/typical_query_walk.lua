-- The typical query as a SCADA script runs it, over a table the benchmark
-- prepared: connect, poll, run the SELECT, poll, then AdoGetField for each
-- of the five fields of every record and AdoNext until EOF, printing each
-- row as one tab-separated line (joined first, as the Python walk joins
-- its fields). Usage: tarnelhost typical_query_walk.lua DB
local ado = CreateObject("TarnelTools.ADO")
local h = ado:AdoConnect("Provider=SQLite;Data Source=" .. arg[1], 30)
while ado:AdoConnectionState(h) == 2 do Sleep(1) end
assert(ado:AdoConnectionState(h) == 1, "the connection did not open")
assert(ado:AdoExec(h, "SELECT id, name, price, qty, note FROM items ORDER BY id", -1, 0) == 0)
while ado:AdoExecuting(h) ~= 0 do Sleep(1) end
local write = io.write
repeat
  write((ado:AdoGetField(h, "id", 0, 0, 0)) .. "\t" .. (ado:AdoGetField(h, "name", 0, 0, 0)) .. "\t" ..
        (ado:AdoGetField(h, "price", 0, 0, 0)) .. "\t" .. (ado:AdoGetField(h, "qty", 0, 0, 0)) .. "\t" ..
        (ado:AdoGetField(h, "note", 0, 0, 0)) .. "\n")
until ado:AdoNext(h) == 294
ado:AdoDisconnect(h)
