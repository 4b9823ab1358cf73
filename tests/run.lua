-- Runs the Lua test files named on the command line in one interpreter.
-- Usage: lua run.lua BUILD_DIR SUITE_DIR file1.lua [file2.lua ...]
-- The suites see BUILD_DIR (the interpreter's folder), SUITE_DIR, FIXTURE_BIN
-- (the helper programs), CODE_PAGE (the interpreter's ANSI code page:
-- 1252, 932 or 65001), by which they pick texts that code page can hold,
-- ARCH (the interpreter's architecture: "x86_64", "i686" or "aarch64"),
-- LUA_VERSION ("5.1" to "5.5"; LuaJIT is 5.1) and LUA_DLL (the host's Lua
-- library: lua51.dll to lua55.dll).

-- The suites are written in Lua 5.1; the later versions get its names.
unpack = unpack or table.unpack
loadstring = loadstring or load
table.maxn = table.maxn or function(t)
    local n = 0
    for k in pairs(t) do
        if type(k) == "number" and k > n then n = k end
    end
    return n
end

local files = arg
BUILD_DIR, SUITE_DIR = files[1], files[2]
arg = {}  -- LuaUnit would read the file names as its own options
FIXTURE_BIN = BUILD_DIR .. "\\fixtures"
LUA_VERSION = _VERSION:match("%d+%.%d+")
LUA_DLL = "lua" .. LUA_VERSION:gsub("%.", "") .. ".dll"
-- Debian's LuaUnit, one file for every version (Debian has none for 5.5).
package.path = SUITE_DIR .. "\\?.lua;Z:\\usr\\share\\lua\\5.1\\?.lua;" .. package.path
package.cpath = BUILD_DIR .. "\\?.dll;" .. package.cpath

-- Asked of the process itself: a host's manifest can set it. A run meant for
-- another code page (OSB_CODE_PAGE) would test the wrong texts, and stops.
CODE_PAGE, ARCH = assert(package.loadlib(FIXTURE_BIN .. "\\codepage.dll", "luaopen_codepage"))()()
local expected = tonumber(os.getenv("OSB_CODE_PAGE") or "")
if expected and expected ~= CODE_PAGE then
    print(("the interpreter runs under code page %d, not %d"):format(CODE_PAGE, expected))
    print("lua tests: 0 passed, 1 failed")
    os.exit(1)
end

lu = require "luaunit"
require "osbridge"

for i = 3, #files do
    dofile(files[i])
end

-- Unbuffered, so that a crash still leaves the name of the running test.
io.stdout:setvbuf("no")
local runner = lu.LuaUnit.new()
-- The harness names the test that was running when a suite outlives its bound.
local progress = os.getenv("OSB_PROGRESS")
if progress and progress ~= "" then
    local start = runner.startTest
    function runner:startTest(name)
        local file = io.open(progress, "w")
        if file then file:write(name) file:close() end
        return start(self, name)
    end
end
-- OSB_TEST_TIMES=N lists the N slowest tests at the end: where a suite's
-- time goes.
local slowest = tonumber(os.getenv("OSB_TEST_TIMES") or "")
local times = {}
if slowest then
    local start, finish, began = runner.startTest, runner.endTest, nil
    function runner:startTest(name)
        began = osbridge.get_epoch_ms()
        return start(self, name)
    end
    function runner:endTest()
        times[#times + 1] = { self.result.currentNode.testName, osbridge.get_epoch_ms() - began }
        return finish(self)
    end
end
local options = { "-o", "text" }
if os.getenv("OSB_TEST_VERBOSE") == "1" then
    options[#options + 1] = "-v"
end
local filter = os.getenv("OSB_TEST_FILTER")
if filter and filter ~= "" then
    options[#options + 1] = "-p"
    options[#options + 1] = filter
end

-- An error inside LuaUnit itself ends the run as one more failure.
local finished, problem = pcall(runner.runSuite, runner, unpack(options))
local r = runner.result or {}
local passed, failed = r.successCount or 0, r.notSuccessCount or 0
if not finished then
    print("the test runner stopped: " .. tostring(problem))
    failed = failed + 1
end
table.sort(times, function(a, b) return a[2] > b[2] end)
for i = 1, math.min(slowest or 0, #times) do
    print(string.format("slow: %6.1f s  %s", times[i][2] / 1000, times[i][1]))
end
-- Each failure and skip on one line, which the harness repeats in its
-- summary: a long run's last lines name what went wrong or was left out.
for _, kind in ipairs({ { "failing", r.failedTests }, { "failing", r.errorTests }, { "skipped", r.skippedTests } }) do
    for _, node in ipairs(kind[2] or {}) do
        local message = tostring(node.msg or ""):gsub("%s+", " ")
        print(string.format("%s: %s: %s", kind[1], node.testName, message:sub(1, 300)))
    end
end
print(string.format("lua tests: %d passed, %d failed", passed, failed))
os.exit(failed == 0 and 0 or 1)
