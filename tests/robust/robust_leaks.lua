-- Each function that leaves the machine as it was (tests/robust/cases.lua),
-- called many times with valid arguments on its success path and on its
-- failure path: the next free handle, the next free GDI slot and the C heap
-- (all heaps' busy bytes, less what the Lua state itself holds) must end
-- where they began.
local probe = require "robust.probe"
local cases = require "robust.cases"

local SAMPLE = tonumber(os.getenv("OSB_ROBUST_SAMPLE")) or 1
local CALLS = 10000
-- Slack for the allocator's own bookkeeping; a leak of one byte a call over
-- 10000 calls is already past it.
local HEAP_SLACK, SLOT_SLACK = 8192, 8

local measure = probe.measure

local function run_case(name, args, calls)
    local call, n = cases.caller(name, args)
    for _ = 1, 200 do call() end  -- first-use allocations (caches, loaded libraries)
    local before = measure()
    for _ = 1, calls do call() end
    local after = measure()
    return ("%s%s: heap %+d bytes, handle slots %+d, GDI slots %+d"):format(
        name, n > 0 and "" or "()", after.heap - before.heap, (after.handle - before.handle) / 4, after.gdi - before.gdi),
        after.heap - before.heap <= HEAP_SLACK and after.handle - before.handle <= 4 * SLOT_SLACK
        and after.gdi - before.gdi <= SLOT_SLACK
end

TestRobustLeaks = {}

function TestRobustLeaks.setupClass() cases.prepare("leaks") end
function TestRobustLeaks.teardownClass() cases.cleanup() end

function TestRobustLeaks.test_the_probes_see_leaks()
    local before, files = measure(), {}
    for i = 1, 20 do
        files[i] = assert(io.open(BUILD_DIR .. "\\lua.exe", "rb"))
        files[i]:read(1)  -- the C library's buffer: 4 KiB of C heap
    end
    local after = measure()
    for _, f in ipairs(files) do f:close() end
    lu.assertTrue(after.handle - before.handle >= 4 * 20, ("handle %d -> %d"):format(before.handle, after.handle))
    lu.assertTrue(after.heap - before.heap >= 20 * 4096, ("heap %d -> %d"):format(before.heap, after.heap))
end

-- Large results that die at once are collected as the script goes on: from
-- 5.5 on they are blocks that Lua takes over from the module, which its
-- collector does not count by itself. From 5.2 on Lua lets garbage grow to
-- about what is live (its default pause) before it collects, and then works
-- in proportion to what is allocated; results of four times that, and a
-- margin, must not all stay held. 5.1 and LuaJIT work a fixed amount per
-- allocation, whatever its size, and free such results only in the long run.
function TestRobustLeaks.test_dead_large_results_do_not_pile_up()
    if LUA_VERSION == "5.1" then lu.skip("the collector does not work by size") end
    local input, margin = ("x"):rep(1024 * 1024), 8 * 1024 * 1024
    collectgarbage()
    local live = probe.lua_bytes()
    local calls = math.ceil(4 * (live + margin) / (2 * #input))
    for _ = 1, calls do osbridge.to_hex(input) end
    local grown = probe.lua_bytes() - live
    lu.assertTrue(grown < 2 * (live + margin),
                  ("%d bytes held after %d results of 2 MiB, %d live before"):format(grown, calls, live))
end

-- Process objects give their handles back when closed, and when collected:
-- a process that ended is gone with its last handle, and its id with it.
function TestRobustLeaks.test_process_objects_closed_or_collected()
    local line, pids = ('"%s\\proc_child.exe" 0 0'):format(FIXTURE_BIN), {}
    for i = 1, 20 do
        local p = assert(osbridge.start_process(line))
        lu.assertEquals(osbridge.wait_for_process(p), 0)
        pids[i] = p.pid
        if i % 2 == 0 then p:close() end  -- the others are left to the collector
    end
    collectgarbage()
    collectgarbage()
    local held = {}
    for _, pid in ipairs(pids) do
        local gone = require("support").wait_until(function() return select(2, osbridge.wait_for_process(pid, 0)) end, 30)
        if not (gone or ""):match("%(87%)$") then held[#held + 1] = pid end
    end
    lu.assertEquals(held, {})
end

for name, case in pairs(cases.list) do
    TestRobustLeaks["test_" .. name] = function()
        local calls = math.max(50, math.floor((case[3] or CALLS) * SAMPLE))
        local report, bad = {}, {}
        for path = 1, 2 do
            if case[path] then
                local started = os.clock()
                local line, ok = run_case(name, case[path], calls)
                line = ("%s path, %d calls, %.2f s: %s"):format(path == 1 and "success" or "failure", calls,
                                                                os.clock() - started, line)
                report[#report + 1] = line
                if not ok then bad[#bad + 1] = line end
            end
        end
        if os.getenv("OSB_ROBUST_TIMES") then print("\n" .. table.concat(report, "\n")) end
        lu.assertEquals(bad, {})
    end
end
