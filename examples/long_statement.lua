-- A statement longer than any script string, built piece by piece in the
-- ADO control's keyed store and run whole with ConnectionExecute: the way a
-- SCADA script hands a long SQL text to the database.
--   tarnelhost --regsvr build/release/TarnelTools.so
--   tarnelhost --debug-output examples/long_statement.lua [DATABASE-FILE]

local ado = CreateObject("TarnelTools.ADO")
local path = arg[1] or os.tmpname()
os.remove(path)

-- The control's factories give the script ADO objects of its own.
local conn = ado:Connection()
conn:Open("Provider=SQLite;Data Source=" .. path .. ";Create=True")
conn:Execute("CREATE TABLE readings(tag TEXT, value REAL)")

-- Build one INSERT of 500 rows, about 20,000 characters, in short pieces.
ado:CollectionAdd("insert", "INSERT INTO readings(tag, value) VALUES ")
for i = 1, 500 do
  local row = ("('Pump%03d.Pressure', %d.%d)"):format(i, i % 17, i % 10)
  if i > 1 then row = ", " .. row end
  ado:CollectionStringAppend("insert", row)
end
print(("statement of %d characters in the store"):format(ado:CollectionStringLength("insert")))

-- ConnectionExecute reads the text from the store, runs it and writes the
-- number of records affected back into its third argument.
local rs, _, _, affected = ado:ConnectionExecute(conn, "insert", 0, -1)
print(("records affected: %d (result: %s)"):format(affected, ado:ObjectType(rs)))

-- Read a little back through the same connection.
local check = conn:Execute("SELECT COUNT(*) AS n, MAX(value) AS top FROM readings")
local fields = check.Fields
print(("rows in the table: %s, highest value: %s"):format(
  ado:GetItem(fields, "n").Value, ado:GetItem(fields, "top").Value))

ado:CollectionRemove("insert")
conn:Close()
os.remove(path)
