-- Runs the Lua test files named on the command line in this one process
-- (under qemu every process start of the 32-bit build costs a minute).
-- Usage: lua run.lua BUILD_DIR SUITE_DIR file1.lua [file2.lua ...]

local files = arg
BUILD_DIR, SUITE_DIR = files[1], files[2]
arg = {}  -- LuaUnit would read the file names as its own options
-- Helper programs: the test bench may point this at native 64-bit builds of
-- them, which start in a fraction of the time of emulated 32-bit ones.
FIXTURE_BIN = os.getenv("OSB_FIXTURE_BIN") or (BUILD_DIR .. "\\fixtures")
package.path = SUITE_DIR .. "\\?.lua;Z:\\usr\\share\\lua\\5.1\\?.lua;" .. package.path
package.cpath = BUILD_DIR .. "\\?.dll;" .. package.cpath

lu = require "luaunit"
require "osbridge"

for i = 3, #files do
    dofile(files[i])
end

-- Unbuffered, so that a crash still leaves the name of the running test.
io.stdout:setvbuf("no")
local runner = lu.LuaUnit.new()
local options = { "-o", "text" }
if os.getenv("OSB_TEST_VERBOSE") == "1" then
    options[#options + 1] = "-v"
end
local filter = os.getenv("OSB_TEST_FILTER")
if filter and filter ~= "" then
    options[#options + 1] = "-p"
    options[#options + 1] = filter
end

-- A run taken up again after its interpreter died: OSB_TEST_DONE names a
-- file of "Class.test status" lines for the tests that had ended; they
-- count as they ended and only the others run.
local done, prior_passed, prior_failed = {}, 0, 0
local done_file = os.getenv("OSB_TEST_DONE")
if done_file and done_file ~= "" then
    for line in io.lines(done_file) do
        local name, status = line:match("^(%S+) (%S+)")
        if name and not done[name] then
            done[name] = true
            if status == "Ok" then prior_passed = prior_passed + 1 else prior_failed = prior_failed + 1 end
        end
    end
end
local remaining = {}
if next(done) then
    for class_name, class in pairs(_G) do
        if class_name:sub(1, 4):lower() == "test" and type(class) == "table" then
            for method, fn in pairs(class) do
                local name = class_name .. "." .. method
                if method:sub(1, 4):lower() == "test" and type(fn) == "function" and not done[name] then
                    remaining[#remaining + 1] = name
                end
            end
        end
    end
    table.sort(remaining)
    for _, name in ipairs(remaining) do options[#options + 1] = name end
end

-- An error inside LuaUnit itself ends the run as one more failure.
local finished, problem = true, nil
if not next(done) or #remaining > 0 then
    finished, problem = pcall(runner.runSuite, runner, unpack(options))
end
local r = runner.result or {}
local passed, failed = prior_passed + (r.successCount or 0), prior_failed + (r.notSuccessCount or 0)
if not finished then
    print("the test runner stopped: " .. tostring(problem))
    failed = failed + 1
end
print(string.format("lua tests: %d passed, %d failed", passed, failed))
os.exit(failed == 0 and 0 or 1)
