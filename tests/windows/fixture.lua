-- The test window program (fixtures/testwin.exe) and the message-box answerer
-- (fixtures/boxanswer.exe), started and read from the window and keyboard tests.
--   local fixture = require "windows.fixture"
--   local w = fixture.start("/foreground")  -- w.main, w.edit, w.owned, w.untitled, w.long
--   fixture.start({ label = text }, ...)     -- the text ends class and title
--   osbridge.string_to_keys("a"); w:fence()    -- { "down 65", "char 97", "up 65" }
--   w:close()

local support = require "support"

local fixture = {}

local count = 0

-- Starts a helper program without waiting for it (see support.start).
local function spawn(program, args)
    return support.start(('"%s\\%s" %s'):format(FIXTURE_BIN, program, args))
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
    w.job = spawn("testwin.exe", table.concat(args, " "))
    local started = support.wait_until(function()
        for _, line in ipairs(w:lines()) do
            if line == "ready" or line:match("^failed") then return line end
        end
    end, 120)
    if started ~= "ready" then
        w.job:close()
        error(("test window %s did not start: %s"):format(w.class, tostring(started)), 2)
    end
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

-- The first log line matching pattern, once it is there (at most a minute).
function Window:wait_line(pattern)
    return support.wait_until(function()
        for _, line in ipairs(self:lines()) do
            if line:match(pattern) then return line end
        end
    end)
end

-- Lines since the last fence: sends a key that the window reports and waits
-- until it arrives, so all input sent before it has been handled.
function Window:fence()
    osbridge.keybd_event(osbridge.VK_F13, 0)
    osbridge.keybd_event(osbridge.VK_F13, osbridge.KEYEVENTF_KEYUP)
    local fence = "up " .. osbridge.VK_F13
    local lines
    local done = support.wait_until(function()
        lines = fixture.read_lines(self.log)
        for i = (self.seen or 0) + 1, #lines do
            if lines[i] == fence then return i end
        end
    end)
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
    support.wait_until(function() return select("#", osbridge.get_window_rect(self.main)) == 0 end)
    self.job:close()
    os.remove(self.log)
end

-- Starts the answerer (boxanswer.exe) of the first message box with this
-- caption, however late it shows. Returns a function to call once the box
-- should have come and gone: it stops the answerer and returns its report.
function fixture.answer_box(caption)
    count = count + 1
    local log = ("%s\\box-%d.log"):format(BUILD_DIR, count)
    os.remove(log)
    os.remove(log .. ".stop")
    local job = spawn("boxanswer.exe", ('"%s" "%s"'):format(caption, log))
    return function()
        assert(io.open(log .. ".stop", "wb")):close()
        job:finish(60)
        local lines = fixture.read_lines(log)
        os.remove(log)
        os.remove(log .. ".stop")
        return lines
    end
end

return fixture
