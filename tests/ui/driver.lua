-- fixtures/ui_driver.exe beside a blocking call: the driver finds the box or
-- dialog that the call shows, acts on it as a person would, and reports what
-- it saw. One driver process serves the whole run (see ui_driver.c).
--   local driver = require "ui.driver"
--   local seen, r = driver.around({ "find Orvek", "press 1", "gone" }, osbridge.msgbox, "hi")
--   seen.caption[1] == "Orvek", r[1] == 1

local support = require "support"

local driver = {}

-- Built for the module's own architecture, like every helper program of the run.
local program = BUILD_DIR .. "\\fixtures\\ui_driver.exe"
-- Named for this run: a driver left over from a crashed run must not take
-- this run's requests.
local request = ("%s\\ui-driver-%d-%d.txt"):format(BUILD_DIR, os.time(), os.clock() * 1e6)
local done = request .. ".done"
local server, requests, reply, taken = nil, 0, nil, 0

-- Hands the actions to the driver, starting it first if need be.
function driver.begin(actions)
    if not server then
        os.remove(request)
        server = support.start(('"%s" "%s"'):format(program, request))
    end
    if reply then os.remove(reply) end
    requests = requests + 1
    reply, taken = ("%s-%d.out"):format(request, requests), 0
    os.remove(done)
    -- Written aside and renamed, so the driver never reads half a request.
    local f = assert(io.open(request .. ".tmp", "wb"))
    f:write("reply ", reply, "\n", table.concat(actions, "\n"), "\n")
    f:close()
    assert(os.rename(request .. ".tmp", request))
end

-- The next line of the report, for actions met halfway (before "end"). The
-- driver's own waits end within two minutes; a line that takes much longer
-- means it is stuck or gone, and is reported with its state.
function driver.read_line()
    local ended
    local line = support.wait_until(function()
        local line = support.file_line(reply, taken + 1)
        ended = not line and server.job:wait(0)
        return line or ended
    end, 300)
    if type(line) ~= "string" then
        if not ended then server.job:stop() end
        local output = server:text()
        server = nil
        error(("the UI driver %s; its report so far: %s; its output: %s"):format(
            ended and "ended with code " .. ended or "did not report for 300 s",
            support.read_file(reply) or "none", output), 2)
    end
    taken = taken + 1
    return line
end

-- Tells the driver that the caller's part is over and reads the rest of its
-- report: "key=value" lines as key -> list of values, in the order they came.
-- A dialog it never found fails the test, naming the ones that were open.
function driver.collect()
    assert(io.open(done, "wb")):close()
    local seen = {}
    repeat
        local key, value = driver.read_line():match("^(%w+)=(.*)$")
        if key and key ~= "end" then
            seen[key] = seen[key] or {}
            table.insert(seen[key], value)
        end
    until key == "end"
    if seen.missing then
        error(("no dialog %q showed in two minutes; open: %s"):format(
            seen.missing[1], table.concat(seen.open or { "none" }, ", ")), 2)
    end
    return seen
end

function driver.run(actions)
    driver.begin(actions)
    return driver.collect()
end

local function pack(...)
    return { n = select("#", ...), ... }
end

-- Runs the actions while fn(...) blocks; returns what the driver saw and the
-- packed results of fn.
function driver.around(actions, fn, ...)
    driver.begin(actions)
    local results = pack(pcall(fn, ...))
    local seen = driver.collect()
    if not results[1] then error(results[2], 2) end
    return seen, { n = results.n - 1, unpack(results, 2, results.n) }
end

return driver
