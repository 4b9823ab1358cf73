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

-- The exit code of a command: os.execute's result in 5.1, its third one in
-- later versions.
function support.execute(command)
    local code, _, status = os.execute(command)
    return type(code) == "number" and code or status
end

-- io.popen(command, "r"), tried again when starting the program fails: on a
-- loaded machine Wine's C runtime now and then refuses to start one
-- ("Invalid argument") before it runs at all.
function support.popen(command)
    local pipe, problem
    for _ = 1, 3 do
        pipe, problem = io.popen(command, "r")
        if pipe then return pipe end
    end
    error(problem, 2)
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
