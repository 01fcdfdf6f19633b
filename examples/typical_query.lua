-- The typical query of a SCADA script, end to end: connect to a database
-- (here a small SQLite file the script creates), poll until the connection
-- is open, run statements and poll until each has completed, walk the rows
-- with AdoNext and read every field as text with AdoGetField, then give the
-- handle back. Run it on its own, with an optional database path:
--   tarnelhost examples/typical_query.lua [/tmp/parts.db]
-- or from another script: dofile("examples/typical_query.lua")(path).

local EOF = 294

local function TypicalQuery(path)
  local ownFile = path == nil
  if ownFile then path = os.tmpname() .. ".db" end
  local ado = CreateObject("TarnelTools.ADO")

  -- Polls cond() while letting the control's messages run; gives up after
  -- ten seconds rather than waiting for ever.
  local function waitFor(cond, what)
    for _ = 1, 2000 do
      if cond() then return end
      Sleep(5)
    end
    error("timed out waiting for " .. what)
  end

  -- 1. Connect; the connection opens in the background.
  local h = ado:AdoConnect("Provider=SQLite;Data Source=" .. path .. ";Create=True", 10)
  if h < 0 then error("AdoConnect failed") end
  -- 2. Poll its state: 2 connecting, 1 open, 0 failed.
  waitFor(function() return ado:AdoConnectionState(h) ~= 2 end, "the connection")
  if ado:AdoConnectionState(h) ~= 1 then error("the connection did not open") end

  -- 3. and 4. Run a statement, then poll until it has completed.
  local function exec(sql)
    local result = ado:AdoExec(h, sql, -1, 0)
    if result ~= 0 then error(("AdoExec returned %d for %s"):format(result, sql)) end
    waitFor(function() return ado:AdoExecuting(h) == 0 end, sql)
  end

  exec("CREATE TABLE IF NOT EXISTS parts (id INTEGER PRIMARY KEY, name TEXT, price REAL, stock INTEGER)")
  exec("DELETE FROM parts")
  exec("INSERT INTO parts VALUES (1, 'valve', 12.5, 40), (2, 'pump', 249, 3), (3, 'sensor', 31.75, 18)")
  print(("%d rows inserted"):format(ado:AdoNumChange(h)))

  exec("SELECT id, name, price, stock FROM parts ORDER BY id")
  -- The field names, from the recordset itself.
  local names = {}
  for i = 1, ado:AdoNoFields(h) do
    local _, _, _, name = ado:AdoFieldInfo(h, i, "", 0)
    names[#names + 1] = name
  end
  print(table.concat(names, "\t"))
  -- 5. Read each field of the current record as text; move on until EOF.
  if ado:AdoRecordCount(h) > 0 then
    repeat
      local row = {}
      for _, name in ipairs(names) do row[#row + 1] = (ado:AdoGetField(h, name, 0, 0, 0)) end
      print(table.concat(row, "\t"))
    until ado:AdoNext(h) == EOF
  end

  -- 6. Give the handle back: closes the recordset and the connection.
  ado:AdoDisconnect(h)
  if ownFile then
    os.remove(path)
    os.remove(path:sub(1, -4))
  end
end

if arg and arg[0] and arg[0]:match("typical_query%.lua$") then
  TypicalQuery(arg[1])
end
return TypicalQuery
