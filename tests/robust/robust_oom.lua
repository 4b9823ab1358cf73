-- Lua out of memory in the middle of a call: for every k, the k-th allocation
-- the Lua state makes during the call fails (probe.limit), until a k is
-- reached that the call never gets to. Each run must end in the result or in
-- Lua's memory error, nothing else; afterwards the C heap must be where it
-- was, and the password typed into the dialog must be nowhere in memory.
local probe = require "robust.probe"
local cases = require "robust.cases"

local SAMPLE = tonumber(os.getenv("OSB_ROBUST_SAMPLE")) or 1
local HEAP_SLACK = 1024
-- Sweeps are repeated so that even a few bytes lost per sweep add up past
-- the slack, within about this many calls per case.
local CALLS = 1000
local HKCU, SCRATCH = cases.HKCU, cases.SCRATCH

-- Cases only this suite has: large results, so that a lost copy shows at once.
local extra = {
    reg_get_value_large = { HKCU, SCRATCH, "large" },
    reg_get_value_multi = { HKCU, SCRATCH, "multi" },
    clipboard_get_large = { "\1clipboard" },
}

local function sweep(call)
    local k, problems = 1, {}
    while true do
        probe.limit(k)
        local ok, message = pcall(call)
        local used = probe.limit(nil)
        if ok and used < k then return k - 1, problems end
        if not ok and message ~= "not enough memory" then
            problems[#problems + 1] = ("allocation %d failed, then: %s"):format(k, tostring(message))
        end
        k = k + 1
        if k > 100000 then
            problems[#problems + 1] = "over 100000 allocations"
            return k, problems
        end
    end
end

local function check(name, call)
    sweep(call)  -- first-use allocations
    local before = probe.measure()
    local allocations, problems = sweep(call)
    local repeats = math.max(1, math.floor(CALLS * SAMPLE / math.max(1, allocations)))
    for _ = 2, repeats do sweep(call) end
    local after = probe.measure()
    local grown = after.heap - before.heap
    if os.getenv("OSB_ROBUST_TIMES") then
        print(("\n%s: %d allocations, %d sweeps, C heap %+d bytes"):format(name, allocations, repeats, grown))
    end
    lu.assertEquals(problems, {}, name)
    lu.assertTrue(grown <= HEAP_SLACK,
                  ("%s: C heap grew by %d bytes over %d sweeps of %d allocations"):format(name, grown, repeats, allocations))
end

TestRobustOom = {}

function TestRobustOom.setupClass()
    cases.prepare("oom")
    assert(osbridge.reg_set_value(HKCU, SCRATCH, "large", ("L"):rep(200000), osbridge.REG_SZ))
    assert(osbridge.reg_set_value(HKCU, SCRATCH, "multi", ("M"):rep(100000) .. "\0second\0", osbridge.REG_MULTI_SZ))
end

function TestRobustOom.teardownClass()
    probe.limit(nil)
    probe.answer(false)
    cases.cleanup()
end

for name, case in pairs(cases.list) do
    TestRobustOom["test_" .. name] = function()
        for path = 1, 2 do
            if case[path] then check(name .. (path == 1 and " success" or " failure"), (cases.caller(name, case[path]))) end
        end
    end
end

for name, args in pairs(extra) do
    TestRobustOom["test_" .. name] = function()
        if args[1] == "\1clipboard" then
            osbridge.clipboard_set(("C"):rep(200000))
            args = {}
        end
        local fn = cases.function_of(name)
        check(name, function() return fn(unpack(args, 1, 3)) end)
    end
end

-- Typed by probe.answer into each dialog; given reversed, so that nothing
-- but the dialog, and whatever keeps a copy, ever holds it forward.
local SECRET_REVERSED = "5ec-terces-esrever-9dx"

function TestRobustOom.test_get_password_keeps_no_copy()
    probe.answer(true, SECRET_REVERSED)
    local secret_seen, last_length = 0, "no run"
    local allocations, problems = sweep(function()
        -- The foreground window may be gone by the time the dialog asks for it.
        local text = osbridge.get_password(probe.desktop())
        -- Reversed, not the other way round: string.reverse builds its result
        -- on the C stack, which would keep a copy of the secret there.
        if text and text:reverse() == SECRET_REVERSED then secret_seen = secret_seen + 1 end
        -- Only its length is kept: the text itself would be a copy for the scan to find.
        last_length = text and #text or "nil"
    end)
    probe.answer(false)
    collectgarbage("collect")
    collectgarbage("collect")
    local ansi, wide = probe.scan(SECRET_REVERSED)
    lu.assertEquals(problems, {})
    lu.assertEquals(secret_seen, 1, ("the typed text came back from the run that completed (it gave %s bytes, %d expected)")
                    :format(last_length, #SECRET_REVERSED))
    lu.assertEquals({ ansi = ansi, wide = wide }, { ansi = 0, wide = 0 },
                    ("copies of the password left in memory after %d runs"):format(allocations + 1))
end
