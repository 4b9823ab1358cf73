-- fixtures/ui_driver.exe beside a blocking call: the driver finds the box or
-- dialog that the call shows, acts on it as a person would, and reports what
-- it saw. One driver process serves the whole run (see ui_driver.c).
--   local driver = require "ui.driver"
--   local seen, r = driver.around({ "find Orvek", "press 1", "gone" }, osbridge.msgbox, "hi")
--   seen.caption[1] == "Orvek", r[1] == 1

local driver = {}

-- Built for the module's own architecture, like every helper program of the run.
local program = BUILD_DIR .. "\\fixtures\\ui_driver.exe"
-- Named for this run: a driver left over from a crashed run must not take
-- this run's requests.
local request = ("%s\\ui-driver-%d-%d.txt"):format(BUILD_DIR, os.time(), os.clock() * 1e6)
local server

-- Hands the actions to the driver, starting it first if need be.
function driver.begin(actions)
    if not server then
        os.remove(request)
        server = require("support").popen(('""%s" "%s""'):format(program, request))
    end
    -- Written aside and renamed, so the driver never reads half a request.
    local f = assert(io.open(request .. ".tmp", "wb"))
    f:write(table.concat(actions, "\n"), "\n")
    f:close()
    assert(os.rename(request .. ".tmp", request))
end

-- Reads the driver's report of the last request: "key=value" lines as
-- key -> list of values, in the order they came.
function driver.collect()
    local seen = {}
    for line in server:lines() do
        local key, value = line:gsub("\r$", ""):match("^(%w+)=(.*)$")
        if key == "end" then
            return seen
        elseif key then
            seen[key] = seen[key] or {}
            table.insert(seen[key], value)
        end
    end
    -- The driver is gone; the next request starts another one.
    server:close()
    server = nil
    return seen
end

-- The next line of the report, for actions met halfway (before "end").
function driver.read_line()
    return ((server:read("*l") or ""):gsub("\r$", ""))
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
    local results = pack(fn(...))
    return driver.collect(), results
end

return driver
