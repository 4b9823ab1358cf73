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
