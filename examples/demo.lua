-- TarnelTools demo: creates the ADO and Registry controls as a SCADA page
-- would, shows the library version, switches the ADO control's diagnostic
-- log on (run the host with --debug-output to see its lines on standard
-- error), and writes, reads and deletes registry values through the
-- Registry control, and runs the typical query on a small SQLite database
-- it creates (examples/typical_query.lua). Register the library first:
--   tarnelhost --regsvr build/release/TarnelTools.so
--   tarnelhost --debug-output examples/demo.lua

local ado = CreateObject("TarnelTools.ADO")
print("TarnelTools version " .. ado.Version)
ado.DebugMode = 1
print("DebugMode is " .. ado.DebugMode .. ", connections: " .. ado.Connections)

local reg = CreateObject("TarnelTools.Registry")
local key = "HKCU\\Software\\TarnelToolsDemo\\"

-- A single value: RegRead returns it and sets nElements to 0.
reg:RegWrite(key .. "Greeting", "Hello from TarnelTools", "REG_SZ")
local greeting, _, count = reg:RegRead(key .. "Greeting", -1)
print(("Greeting = %q (nElements %d)"):format(greeting, count))

-- A value of several elements: RegRead keeps it, RegReadElement hands out
-- one element per call.
reg:RegWrite(key .. "Bytes", 0x04030201, "REG_BINARY")
local _, _, n = reg:RegRead(key .. "Bytes", 0)
local bytes = {}
for i = 0, n - 1 do
  bytes[#bytes + 1] = tostring(reg:RegReadElement(i))
end
print(("Bytes has %d elements: %s"):format(n, table.concat(bytes, " ")))

reg:RegDelete(key .. "Greeting")
reg:RegDelete(key .. "Bytes")
reg:RegDelete(key)

-- Failures reach the script with the shell object's number and text.
local ok, err = pcall(function() return reg:RegRead(key .. "Greeting", 0) end)
if ok then
  print("After deleting: still there")
else
  print(("After deleting: error %d: %s (%s)"):format(err.number, err.description, err.source))
end

ado.DebugMode = 0

-- The typical query: connect, run statements, walk the rows and print them.
print("")
print("The typical query on a small SQLite database:")
local here = arg[0]:match("^(.*)/[^/]*$") or "."
dofile(here .. "/typical_query.lua")()
