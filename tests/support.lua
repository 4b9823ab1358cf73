-- Small helpers shared by the Lua test files.
local support = {}

-- The ANSI code page of the run, where the runner has not set it.
CODE_PAGE = CODE_PAGE or tonumber(os.getenv("OSB_CODE_PAGE")) or 1252
-- The interpreter that runs the suite: the UTF-8 host in the 65001 run.
support.interpreter = CODE_PAGE == 65001 and "lua-utf8.exe" or "lua.exe"

-- The whole content of a file, or nil when it can't be opened.
function support.read_file(path)
    local file = io.open(path, "rb")
    if not file then return nil end
    local text = file:read("*a")
    file:close()
    return text
end

-- Asserts that f(...) raises Lua's argument error for argument n with the
-- given text. The function is named as the Lua version names it: '?' (5.1
-- and LuaJIT, called through pcall), 'osbridge.NAME' (5.2 and later, found
-- in package.loaded) or 'NAME' (from the calling code).
function support.assert_argument_error(n, text, f, ...)
    local ok, message = pcall(f, ...)
    lu.assertFalse(ok, "no error")
    local pattern = ("bad argument #%d to '([^']*)' %%(%s%%)"):format(n, text:gsub("%p", "%%%0"))
    local name = tostring(message):match(pattern)
    lu.assertNotNil(name, message)
    lu.assertTrue(name == "?" or osbridge[name:gsub("^osbridge%.", "")] == f, message)
end

-- Polls fn until it returns a true value, for at most `seconds` (60 by
-- default); returns that value, or nil once the time is up. (os.clock
-- counts wall time in this C library.)
function support.wait_until(fn, seconds)
    local deadline = os.clock() + (seconds or 60)
    repeat
        local value = fn()
        if value then return value end
        osbridge.sleep(20)
    until os.clock() > deadline
    return fn()
end

-- Wine on ARM64 lists no process's modules (its module snapshot fails with
-- error 5, in a plain C program too): a test that needs such a list is
-- skipped there, saying so, and runs everywhere else.
function support.needs_module_lists()
    if ARCH == "aarch64" and not osbridge.process_modules(0) then
        lu.skip("Wine on ARM64 lists no process's modules (its module snapshot fails with error 5)")
    end
end

local jobs = assert(package.loadlib(FIXTURE_BIN .. "\\jobs.dll", "luaopen_jobs"))()
local started = 0
local Job = {}
Job.__index = Job

-- Starts a program without waiting for it, in a job that ends with this
-- process (see jobs_lua.c); its output and errors go to a file, not to a
-- pipe, which whatever it starts would hold open.
function support.start(command_line)
    started = started + 1
    local output = ("%s\\job-%d-%d.txt"):format(BUILD_DIR, started, os.time() % 100000)
    local job, problem = jobs.start(command_line, output)
    if not job then error(("cannot start %s: %s"):format(command_line, problem), 2) end
    return setmetatable({ job = job, output = output, command_line = command_line }, Job)
end

-- What the program has written so far.
function Job:text()
    return ((support.read_file(self.output) or ""):gsub("\r\n", "\n"))
end

-- Ends the program and everything it started, and removes its output.
function Job:close()
    self.job:stop()
    os.remove(self.output)
end

-- Waits for the program to end, for at most `seconds` (300 by default):
-- returns its output and exit code. Past that, ends it and everything it
-- started, and raises an error that names what was still running.
function Job:finish(seconds)
    seconds = seconds or 300
    local code, running = self.job:wait(seconds * 1000)
    local text = self:text()
    self:close()
    if not code then
        error(("still running after %d s: %s\n(%s)\nits output:\n%s"):format(
            seconds, running, self.command_line, text), 2)
    end
    return text, code
end

-- Runs a program to its end (see Job:finish): its output and exit code.
function support.run(command_line, seconds)
    return support.start(command_line):finish(seconds)
end

-- Line n of a file that another program writes, once it is there whole
-- (ended by a line break), without the line break; else nil.
function support.file_line(path, n)
    local i = 0
    for line in (support.read_file(path) or ""):gmatch("([^\n]*)\n") do
        i = i + 1
        if i == n then return (line:gsub("\r$", "")) end
    end
end

-- The files of a recording stand-in that works beside itself, in the run's
-- build folder: NAME-scenario.txt, what it serves, and NAME-calls.txt, one
-- line per call it saw.
function support.standin(name)
    local scenario_file = BUILD_DIR .. "\\" .. name .. "-scenario.txt"
    local calls_file = BUILD_DIR .. "\\" .. name .. "-calls.txt"
    local standin = {}

    -- Serves the given scenario lines and forgets earlier calls.
    function standin.serve(...)
        local f = assert(io.open(scenario_file, "wb"))
        f:write(table.concat({ ... }, "\n"), "\n")
        f:close()
        f = assert(io.open(calls_file, "wb"))
        f:close()
    end

    -- The calls seen since serve(), one line each.
    function standin.calls()
        local seen = {}
        for line in (support.read_file(calls_file) or ""):gmatch("[^\n]+") do seen[#seen + 1] = line end
        return seen
    end

    return standin
end

return support
