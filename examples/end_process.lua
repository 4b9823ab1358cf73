-- Recipe: find processes by program name and end them.
--   lua.exe examples\end_process.lua NAME   ends every process called NAME
--   lua.exe examples\end_process.lua        starts Notepad and ends only that one
--
-- terminate_process ends a program at once: it saves nothing and asks
-- nothing. For a program with a window, sending WM_CLOSE is gentler.
require "osbridge"

-- The process ids of the running programs called `name` (any case), without
-- this script's own process and without those in `except`.
local function find(name, except)
    local me = osbridge.process_modules(0)[0].pid
    local pids = {}
    local list = assert(osbridge.process_list())
    for i = 0, #list do  -- the list is keyed from 0
        local row = list[i]
        if (row.name or ""):lower() == name:lower() and row.pid ~= me and not (except and except[row.pid]) then
            pids[#pids + 1] = row.pid
        end
    end
    return pids
end

local function end_all(name, except)
    local pids = find(name, except)
    for _, pid in ipairs(pids) do
        print(("ending %s, pid %d:"):format(name, pid), osbridge.terminate_process(pid, 1))
    end
    -- The system ends them a moment later: wait until they are gone.
    local deadline = osbridge.get_epoch_ms() + 30000
    while #find(name, except) > 0 do
        if osbridge.get_epoch_ms() > deadline then error(name .. " is still running after 30 s", 2) end
        osbridge.sleep(100)
    end
    return #pids
end

if arg and arg[1] then
    print(end_all(arg[1]) .. " ended")
    return
end

-- The demonstration leaves the user's own Notepads alone: those running
-- before it started are excepted.
local running = {}
for _, pid in ipairs(find("notepad.exe")) do running[pid] = true end
assert(osbridge.exec(nil, "notepad.exe"), "notepad.exe did not start")
local ok, err = pcall(function()
    local deadline = osbridge.get_epoch_ms() + 30000
    while #find("notepad.exe", running) == 0 do
        if osbridge.get_epoch_ms() > deadline then error("the new Notepad was not found in 30 s") end
        osbridge.sleep(100)
    end
    assert(end_all("notepad.exe", running) == 1, "more than one new Notepad was found")
end)
-- Should the work fail half-way, the Notepad it started is ended all the same.
if not ok then
    for _, pid in ipairs(find("notepad.exe", running)) do osbridge.terminate_process(pid, 1) end
    error(err, 0)
end
