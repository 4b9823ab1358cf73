-- The probe fixture (fixtures/probe.dll, see probe_lua.c), built for the
-- module's own architecture, and scratch folders for the suites.
local probe = assert(package.loadlib(BUILD_DIR .. "\\fixtures\\probe.dll", "luaopen_probe"))()

-- Makes BUILD_DIR\robust-NAME, emptied, the current directory, with one file
-- f.txt in it; returns a function that goes back and empties it again.
function probe.sandbox(name)
    local dir = BUILD_DIR .. "\\robust-" .. name
    osbridge.mkdir(dir)
    osbridge.rmdir(dir)
    local previous = assert(probe.chdir(dir))
    local f = assert(io.open("f.txt", "wb"))
    f:write("sandbox file\n")
    f:close()
    return function()
        probe.chdir(previous)
        osbridge.rmdir(dir)
    end
end

-- The C heap (busy bytes of all heaps less what the Lua state holds), the
-- next free handle and the next free GDI slot, after a full collection.
function probe.measure()
    collectgarbage("collect")
    collectgarbage("collect")
    local bytes = probe.heap()
    return { heap = bytes - probe.lua_bytes(), handle = probe.handle(), gdi = probe.gdi() }
end

return probe
