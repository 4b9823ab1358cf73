-- The test window program (fixtures/testwin.exe) and the message-box answerer
-- (fixtures/boxanswer.exe), started and read from the window and keyboard tests.
--   local fixture = require "windows.fixture"
--   local w = fixture.start("/foreground")  -- w.main, w.edit, w.owned, w.untitled, w.long
--   fixture.start({ label = text }, ...)     -- the text ends class and title
--   osbridge.string_to_keys("a"); w:fence()    -- { "down 65", "char 97", "up 65" }
--   w:close()

local fixture = {}

local fixtures_dir = FIXTURE_BIN .. "\\"
local count = 0

-- Polls fn until it returns a true value or timeout_ms pass; returns that
-- value. (os.clock counts wall time in this C library.)
function fixture.wait_until(fn, timeout_ms)
    local deadline = os.clock() + (timeout_ms or 20000) / 1000
    repeat
        local value = fn()
        if value then return value end
        osbridge.sleep(20)
    until os.clock() > deadline
    return fn()
end

-- Starts a program without waiting for it: directly where the module can,
-- else by the shell.
function fixture.spawn(program, args)
    local path = fixtures_dir .. program
    if not osbridge.exec(path, ('"%s" %s'):format(path, args), 0) then
        os.execute(('start "" "%s" %s'):format(path, args))
    end
end

function fixture.read_lines(path)
    local lines, f = {}, io.open(path, "r")
    if f then
        for line in f:lines() do lines[#lines + 1] = line end
        f:close()
    end
    return lines
end

-- fixture.start without raising: the window, or nil and the reason.
function fixture.try_start(...)
    local ok, w = pcall(fixture.start, ...)
    if ok then return w end
    return nil, tostring(w)
end

-- A LuaUnit class whose tests share one test window (self.w), started with
-- fixture.start's arguments; when it cannot start, each test fails with why.
function fixture.class(...)
    local arguments, class = { ... }, {}
    function class:setupClass() self.w, self.start_error = fixture.try_start(unpack(arguments)) end
    function class:teardownClass() if self.w then self.w:close() end end
    function class:setUp() lu.assertNotNil(self.w, self.start_error) end
    return class
end

local Window = {}
Window.__index = Window

-- Starts the test window program with a unique title and class, so that
-- each caller finds only its own windows; options are testwin's own, after
-- an optional table whose `label` ends the class and the title.
function fixture.start(...)
    local options = { ... }
    local label = type(options[1]) == "table" and table.remove(options, 1).label or ""
    count = count + 1
    local tag = ("osbtest%d_%d"):format(count, os.time() % 100000)
    local w = setmetatable({ class = "OsbTestWin_" .. tag .. label, title = "window " .. tag .. label,
                             log = ("%s\\win-%s.log"):format(BUILD_DIR, tag) }, Window)
    local args = { '"/class:' .. w.class .. '"', '"/title:' .. w.title .. '"', '"/log:' .. w.log .. '"' }
    for _, option in ipairs(options) do args[#args + 1] = '"' .. option .. '"' end
    fixture.spawn("testwin.exe", table.concat(args, " "))
    local started = fixture.wait_until(function()
        for _, line in ipairs(w:lines()) do
            if line == "ready" or line:match("^failed") then return line end
        end
    end, 120000)
    assert(started == "ready", ("test window %s did not start: %s"):format(w.class, tostring(started)))
    w.main = assert(osbridge.find_window(w.class), "test window not found")
    w.edit = osbridge.get_window(w.main, osbridge.GW_CHILD)
    w.owned = osbridge.find_window("OsbTestWinOwned", w.title .. " owned")
    w.untitled = osbridge.find_window(w.class .. "_untitled")
    w.long = osbridge.find_window(w.class .. "_long")
    return w
end

-- The log without the lines of activation and focus changes (starting "#"),
-- which only explain failures.
function Window:lines()
    local lines = {}
    for _, line in ipairs(fixture.read_lines(self.log)) do
        if not line:match("^#") then lines[#lines + 1] = line end
    end
    return lines
end

-- The first log line matching pattern, waiting up to timeout_ms for it.
function Window:wait_line(pattern, timeout_ms)
    return fixture.wait_until(function()
        for _, line in ipairs(self:lines()) do
            if line:match(pattern) then return line end
        end
    end, timeout_ms)
end

-- Lines since the last fence: sends a key that the window reports and waits
-- until it arrives, so all input sent before it has been handled.
function Window:fence(timeout_ms)
    osbridge.keybd_event(osbridge.VK_F13, 0)
    osbridge.keybd_event(osbridge.VK_F13, osbridge.KEYEVENTF_KEYUP)
    local fence = "up " .. osbridge.VK_F13
    local lines
    local done = fixture.wait_until(function()
        lines = fixture.read_lines(self.log)
        for i = (self.seen or 0) + 1, #lines do
            if lines[i] == fence then return i end
        end
    end, timeout_ms)
    assert(done, "the window did not report the fence key; it got: "
           .. table.concat(lines, "|", (self.seen or 0) + 1))
    local new = {}
    for i = (self.seen or 0) + 1, done do
        local line = lines[i]
        if not (line == "ready" or line:match("^#") or line == "down " .. osbridge.VK_F13 or line == fence) then
            new[#new + 1] = line
        end
    end
    self.seen = done
    return new
end

-- The characters among fenced lines: a string of the codes below 256, and
-- the list of all codes.
function fixture.chars(lines)
    local text, codes = {}, {}
    for _, line in ipairs(lines) do
        local code = tonumber(line:match("^char (%d+)$"))
        if code then
            codes[#codes + 1] = code
            text[#text + 1] = code < 256 and string.char(code) or "?"
        end
    end
    return table.concat(text), codes
end

function Window:close()
    if osbridge.find_window(self.class) then
        osbridge.send_message(self.main, osbridge.WM_CLOSE)
    end
    self:wait_line("^exit$")
    fixture.wait_until(function() return select("#", osbridge.get_window_rect(self.main)) == 0 end)
    os.remove(self.log)
end

-- Starts the answerer for a message box with this caption; returns its log path.
function fixture.answer_box(caption)
    count = count + 1
    local log = ("%s\\box-%d.log"):format(BUILD_DIR, count)
    os.remove(log)
    fixture.spawn("boxanswer.exe", ('"%s" "%s" 20000'):format(caption, log))
    return log
end

return fixture
