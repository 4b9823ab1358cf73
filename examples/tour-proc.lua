-- Processes: list what runs, look at our own modules, start a child and wait
-- for it, start one without waiting and end it.
local list = assert(osbridge.process_list())
print(("%d processes running; the first few:"):format(#list + 1))
for i = 0, math.min(#list, 4) do
    print(("  pid %-6d parent %-6d threads %-3d %s"):format(list[i].pid, list[i].pid_parent, list[i].threads,
          list[i].name or "?"))
end

local modules = osbridge.process_modules(0)
local me = modules[0].pid
print(("this interpreter is pid %d with %d modules, among them:"):format(me, #modules + 1))
for i = 0, #modules do
    local name = modules[i].module:lower()
    if name == "lua51.dll" or name == "osbridge.dll" then print("  " .. modules[i].path) end
end

-- The first module is the program itself: this interpreter serves as the child.
local lua = modules[0].path
local started, code = osbridge.exec(lua, ('"%s" -e "os.exit(7)"'):format(lua), 1)
print("a child that exits with 7, waited for:", started, code)

started, code = osbridge.exec(lua, ('"%s" -e "while true do end"'):format(lua))
print("a child that runs on, not waited for:", started, code, code == 259 and "(still running)" or "")
local list_now = assert(osbridge.process_list())
for i = 0, #list_now do
    local row = list_now[i]
    if row.pid_parent == me then
        print(("  ending child pid %d:"):format(row.pid), osbridge.terminate_process(row.pid, 1))
    end
end

print("shell_execute on a missing file:",
      osbridge.shell_execute{filename = "C:\\no such folder\\no such file.txt"})
print("shell_execute without a file name:", osbridge.shell_execute{})
