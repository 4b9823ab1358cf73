-- Process launch, shell execution, process and module lists and termination,
-- on real processes: the fixture proc_child exits with a given code after a
-- given delay, and can write a file telling the show state it was given.

local texts = require "texts"
local support = require "support"

local CHILD = FIXTURE_BIN .. "\\proc_child.exe"
local TEMP = assert(os.getenv("TEMP"), "TEMP not set")
local NO_SUCH_PID = 4294967292
local STILL_ACTIVE = 259

local function quoted(text) return '"' .. text .. '"' end

-- A command line for the fixture: exit code, delay in ms, optional file.
local function child_line(...)
    return table.concat({ quoted(CHILD), ... }, " ")
end

-- The file's text, or nil while it is missing or still empty (the writer
-- may have created it without writing yet).
local function read_file(path)
    local text = require("support").read_file(path)
    return text ~= "" and text or nil
end

-- Polls until `probe` returns a value, for at most three minutes.
local function wait_for(probe) return require("support").wait_until(probe, 180) end

-- The running processes named `name` started by process `parent` (any
-- parent when nil).
local function children(parent, name)
    local found = {}
    local list = assert(osbridge.process_list())
    for i = 0, #list do
        local row = list[i]
        if (not parent or row.pid_parent == parent) and (row.name or ""):lower() == (name or "proc_child.exe") then
            found[#found + 1] = row
        end
    end
    return found
end

-- This interpreter, whichever host runs the suite (lua.exe, lua-utf8.exe):
-- the parent of a child of its own, found without a module list, which
-- Wine on ARM64 cannot give.
local OWN_PID, OWN_NAME
do
    local child = assert(osbridge.start_process(child_line(0, 600000)))
    local list = assert(osbridge.process_list())
    for i = 0, #list do
        if list[i].pid == child.pid then OWN_PID = list[i].pid_parent end
    end
    for i = 0, #list do
        if list[i].pid == OWN_PID then OWN_NAME = list[i].name:lower() end
    end
    osbridge.terminate_process(child.pid, 0)
    osbridge.wait_for_process(child)
    child:close()
    assert(OWN_NAME, "this process is not among its child's list")
end

-- Ends what a test left running: children and their children.
local function end_children()
    for _, child in ipairs(children(OWN_PID)) do
        for _, grandchild in ipairs(children(child.pid)) do
            osbridge.terminate_process(grandchild.pid, 0)
        end
        osbridge.terminate_process(child.pid, 0)
    end
end

local function row_count(list)
    local n = 0
    for _ in pairs(list) do n = n + 1 end
    return n
end

TestProcExec = {}

function TestProcExec:tearDown()
    end_children()
    os.remove(TEMP .. "\\proc_exec.txt")
end

function TestProcExec:test_waited_child_reports_its_exit_code()
    lu.assertEquals({ osbridge.exec(CHILD, nil, 1) }, { true, 42 }, "program without a command line")
    -- Waits on a numeric string, gives the code unsigned, ignores the text
    -- after a zero byte and the arguments after the fourth.
    lu.assertEquals({ osbridge.exec(CHILD, child_line(3735928559, 0) .. "\0 6 0", "1", nil, "extra", 99) },
                    { true, 3735928559 })
end

function TestProcExec:test_program_directory_and_command_line()
    local line = child_line(0, 0, "proc_exec.txt")
    local marker = TEMP .. "\\proc_exec.txt"
    lu.assertEquals({ osbridge.exec(TEMP .. "\\proc_no_such.exe", line, 1, TEMP) }, { false, 0 })
    lu.assertEquals({ osbridge.exec("", line, 1, TEMP) }, { false, 0 }, "an empty name is tested too")
    lu.assertEquals({ osbridge.exec(CHILD, line, 1, TEMP .. "\\proc_no_such_dir") }, { false, 0 })
    lu.assertNil(read_file(marker), "the command line ran")
    -- The same line runs: the program comes from it, the file lands in the
    -- directory given, and no show state reaches the child.
    lu.assertEquals({ osbridge.exec(nil, line, 1, TEMP) }, { true, 0 })
    lu.assertEquals(read_file(marker), "-1")
end

function TestProcExec:test_long_program_path_and_a_file_that_is_no_program()
    local tree = require "files.tree"
    local dir = tree.fresh_dir("exec")
    -- The existence test is file_exist's, which sees paths of 128 bytes and more.
    local long = dir .. "\\" .. ("p"):rep(170 - #dir) .. ".exe"
    lu.assertTrue(osbridge.copy_file(CHILD, long))
    lu.assertTrue(osbridge.file_exist(long))
    lu.assertEquals({ osbridge.exec(long, nil, 1) }, { true, 42 })
    -- Its system text has an insert, which stays in the text.
    local text = dir .. "\\text.exe"
    tree.write(text, "not a program")
    lu.assertEquals({ osbridge.exec(text, nil, 1) }, { false, 0 })
    lu.assertStrMatches(osbridge.get_last_error() or "nil", ".+ %(193%)")
    tree.remove(dir)
end

function TestProcExec:test_nothing_to_start()
    lu.assertEquals({ osbridge.exec() }, { false, 0 })
    lu.assertEquals({ osbridge.exec(nil, "", 1) }, { false, 0 })
    lu.assertEquals({ osbridge.exec(nil, nil, 1, TEMP) }, { false, 0 })
    lu.assertEquals({ osbridge.exec(nil, "proc_no_such_program.exe", 1) }, { false, 0 })
end

TestProcSnapshot = {}

function TestProcSnapshot:test_process_list_finds_this_interpreter()
    local list = osbridge.process_list("ignored")
    lu.assertNotNil(list[0], "rows start at key 0")
    lu.assertEquals(row_count(list), #list + 1)
    local mine
    for i = 0, #list do
        local row = list[i]
        lu.assertTrue(row.pid >= 0 and row.pid_parent >= 0 and row.threads >= 1, ("row %d"):format(i))
        if row.pid == OWN_PID then mine = row end
    end
    lu.assertNotNil(mine, "pid " .. tostring(OWN_PID) .. " not listed")
    lu.assertEquals(mine.name:lower(), OWN_NAME)
end

function TestProcSnapshot:test_modules_of_this_process()
    support.needs_module_lists()
    local modules = osbridge.process_modules(0)
    lu.assertNotNil(modules and modules[0], "rows start at key 0")
    lu.assertEquals(row_count(modules), #modules + 1)
    local found = {}
    lu.assertTrue(OWN_PID > 0)
    for i = 0, #modules do
        local row = modules[i]
        lu.assertEquals(row.pid, OWN_PID, row.module)
        found[row.module:lower()] = row.path
    end
    for _, name in ipairs({ LUA_DLL, "osbridge.dll" }) do
        lu.assertEquals(found[name] and found[name]:lower(), (BUILD_DIR .. "\\" .. name):lower())
    end
    lu.assertEquals(#osbridge.process_modules(OWN_PID), #modules, "by id and by 0")
end

function TestProcSnapshot:test_process_id_is_the_last_argument()
    support.needs_module_lists()
    lu.assertErrorMsgContains("number expected, got no value", osbridge.process_modules)
    lu.assertErrorMsgContains("number expected, got string", osbridge.process_modules, 0, "x")
    lu.assertNotNil(osbridge.process_modules(NO_SUCH_PID, 0))
    lu.assertEquals(select("#", osbridge.process_modules(0, NO_SUCH_PID)), 1)
    lu.assertNil(osbridge.process_modules(0, NO_SUCH_PID))
    lu.assertNil(osbridge.process_modules(-4), "-4 is the same id")
end

TestProcChild = {}

function TestProcChild:tearDown()
    end_children()
    os.remove(TEMP .. "\\proc_exit.txt")
end

function TestProcChild:test_running_child_is_listed_inspected_and_terminated()
    support.needs_module_lists()
    -- A runner waits for its own child and writes that child's exit code.
    local outfile = TEMP .. "\\proc_exit.txt"
    lu.assertEquals({ osbridge.exec(CHILD, child_line("run", outfile, 0, 600000), true) }, { true, STILL_ACTIVE },
                    "a boolean wait flag does not wait")
    local runner = children(OWN_PID)[1]
    lu.assertNotNil(runner, "runner not listed")
    local target = wait_for(function() return children(runner.pid)[1] end)
    lu.assertNotNil(target, "the runner's child never appeared")

    -- The module list fills while the child starts up; the program comes first.
    local modules = wait_for(function() return osbridge.process_modules(target.pid + 0.9) end)
    lu.assertEquals(modules and modules[0].module:lower(), "proc_child.exe")
    lu.assertEquals(modules[0].path:lower(), CHILD:lower())
    lu.assertEquals(modules[0].pid, target.pid)

    lu.assertErrorMsgContains("bad argument #2", osbridge.terminate_process, target.pid)
    lu.assertErrorMsgContains("bad argument #1", osbridge.terminate_process, "x", 1)
    lu.assertEquals(#children(runner.pid), 1, "terminated despite an argument error")
    lu.assertTrue(osbridge.terminate_process(target.pid + 0.75, 3221225477))
    lu.assertEquals(wait_for(function() return read_file(outfile) end), "3221225477")
end

function TestProcChild:test_terminate_without_such_process()
    lu.assertFalse(osbridge.terminate_process(NO_SUCH_PID, 1))
    lu.assertFalse(osbridge.terminate_process(-1, 1))
end

TestProcShell = {}

function TestProcShell:tearDown()
    end_children()
    os.remove(TEMP .. "\\proc_shell.txt")
    os.remove(TEMP .. "\\proc_shell.osbzz")
end

function TestProcShell:test_starts_a_program_with_parameters_directory_and_show()
    lu.assertEquals({
        osbridge.shell_execute({ filename = CHILD, parameters = "0 0 proc_shell.txt", work_dir = TEMP, show = "3",
                                 hwnd_parent = 12345 })
    }, { true, nil })
    lu.assertEquals(wait_for(function() return read_file(TEMP .. "\\proc_shell.txt") end), "3")
end

function TestProcShell:test_non_ascii_program_runs_and_is_listed_by_name()
    local name = texts.joined.ansi .. ".exe"
    local program = TEMP .. "\\" .. name
    lu.assertTrue(osbridge.copy_file(CHILD, program, osbridge.COPY_FILE_OVERWRITE))
    lu.assertEquals({ osbridge.shell_execute({ filename = program, parameters = "0 600000 proc_shell.txt",
                                               work_dir = TEMP }) }, { true, nil })
    local started = wait_for(function() return read_file(TEMP .. "\\proc_shell.txt") end)
    local child = children(nil, name:lower())[1]
    if child then osbridge.terminate_process(child.pid, 0) end
    lu.assertNotNil(started, "the program did not run")
    lu.assertNotNil(child, "not listed as " .. texts.joined.utf8 .. ".exe")
    lu.assertEquals(child.name, name)
    lu.assertTrue(wait_for(function() return osbridge.delete_file(program) end))
end

function TestProcShell:test_programs_beyond_the_ansi_code_page_in_utf8()
    texts.in_utf8(function()
        local programs = {}
        for i, text in ipairs(texts.unicode) do
            programs[i] = TEMP .. "\\" .. text .. ".exe"
            lu.assertTrue(osbridge.copy_file(CHILD, programs[i], osbridge.COPY_FILE_OVERWRITE), text)
            lu.assertEquals({ osbridge.exec(programs[i], quoted(programs[i]) .. " " .. i .. " 0", 1) }, { true, i }, text)
        end
        local name = texts.unicode[4] .. ".exe"
        lu.assertEquals({ osbridge.shell_execute({ filename = programs[4], parameters = "0 600000", work_dir = TEMP }) },
                        { true, nil })
        local child = wait_for(function() return children(nil, name:lower())[1] end)
        if child then osbridge.terminate_process(child.pid, 0) end
        lu.assertNotNil(child, "not listed as " .. name)
        lu.assertEquals(child.name, name)
        for _, program in ipairs(programs) do
            lu.assertTrue(wait_for(function() return osbridge.delete_file(program) end), program)
        end
        for _, bad in ipairs(texts.invalid_utf8) do
            lu.assertEquals({ osbridge.shell_execute({ filename = CHILD, parameters = bad }) },
                            { false, "There was not enough memory to complete the operation." }, bad)
            lu.assertEquals({ osbridge.exec(nil, quoted(CHILD) .. bad, 1) }, { false, 0 }, bad)
        end
    end)
end

function TestProcShell:test_shell_failures()
    lu.assertEquals({ osbridge.shell_execute({ filename = TEMP .. "\\proc_no_such.txt" }) },
                    { false, "The specified file was not found." })
    lu.assertEquals({ osbridge.shell_execute({ filename = 1234567, work_dir = TEMP }) },
                    { false, "The specified file was not found." }, "a number is a name")
    local unknown = TEMP .. "\\proc_shell.osbzz"
    assert(io.open(unknown, "w")):close()
    local no_assoc = "There is no application associated with the given file name extension. "
        .. "This error will also be returned if you attempt to print a file that is not printable."
    lu.assertEquals({ osbridge.shell_execute({ filename = unknown }) }, { false, no_assoc })
    lu.assertEquals({ osbridge.shell_execute({ filename = unknown, operation = "print" }) }, { false, no_assoc })
    lu.assertEquals({ osbridge.shell_execute({ filename = "" }) }, { false, "filename is mandatory" })
end

TestProcWait = {}

function TestProcWait:tearDown()
    end_children()
    for _, window in ipairs(children(OWN_PID, "waitwin.exe")) do osbridge.terminate_process(window.pid, 0) end
    os.remove(TEMP .. "\\proc_start.txt")
end

local CLOSED = "the process object is closed"

function TestProcWait:test_exit_codes_through_the_object_and_the_id()
    for _, code in ipairs({ 0, 7, 3221225477 }) do
        local p = assert(osbridge.start_process(child_line(code, 0)))
        lu.assertEquals(osbridge.wait_for_process(p), code)
        lu.assertEquals(osbridge.wait_for_process(p, 0), code, "kept by the object")
        local pid = p.pid
        p:close()
        p:close()
        lu.assertEquals({ osbridge.wait_for_process(p) }, { nil, CLOSED })
        lu.assertEquals({ osbridge.wait_for_input_idle(p, 0) }, { false, CLOSED })
        lu.assertEquals(p.pid, pid)
        lu.assertStrMatches(tostring(p), "process %d+ %(closed%)")
        -- Gone with its last handle (a moment later in Wine): a bare id finds no process.
        local failure = wait_for(function() return select(2, osbridge.wait_for_process(pid)) end)
        lu.assertStrMatches(failure or "nil", ".+ %(87%)")
    end
end

function TestProcWait:test_time_outs_and_a_process_that_is_ended()
    local p = assert(osbridge.start_process(child_line(0, 600000)))
    lu.assertEquals(children(OWN_PID)[1].pid, p.pid)
    for _, timeout in ipairs({ 0, -5, 200 }) do
        local started = osbridge.get_epoch_ms()
        lu.assertEquals({ osbridge.wait_for_process(p, timeout) }, { nil, "timeout" })
        lu.assertEquals({ osbridge.wait_for_process(p.pid, timeout) }, { nil, "timeout" }, "by its id")
        local took = osbridge.get_epoch_ms() - started
        lu.assertTrue(took >= 2 * math.max(timeout, 0) - 20 and took < 2 * timeout + 2000, took)
    end
    lu.assertTrue(osbridge.terminate_process(p.pid, 9))
    lu.assertEquals(osbridge.wait_for_process(p.pid), 9, "by its id, without limit")
    lu.assertEquals(osbridge.wait_for_process(p, nil), 9)
end

function TestProcWait:test_folder_show_state_and_failures()
    local p = osbridge.start_process(child_line(0, 0, "proc_start.txt"), { dir = TEMP, show = 3 })
    lu.assertEquals(osbridge.wait_for_process(p), 0)
    lu.assertEquals(read_file(TEMP .. "\\proc_start.txt"), "3")
    for _, case in ipairs({
        { child_line(0, 0), { dir = TEMP .. "\\proc_no_such_dir" }, "%(267%)" },
        { quoted(TEMP .. "\\proc_no_such.exe"), nil, "%(2%)" },
        { "\0" .. CHILD, {}, "^the command line is empty$" },
    }) do
        local result = { osbridge.start_process(case[1], case[2]) }
        lu.assertNil(result[1], case[1])
        lu.assertStrMatches(result[2] or "nil", case[3]:find("^%^") and case[3] or ".+ " .. case[3])
    end
    for _, case in ipairs({
        { "string expected", osbridge.start_process },
        { "table expected", osbridge.start_process, CHILD, 5 },
        { "dir: string expected, got table", osbridge.start_process, CHILD, { dir = {} } },
        { "show: number expected, got string", osbridge.start_process, CHILD, { show = "x" } },
        { "process or process id expected, got table", osbridge.wait_for_process, {} },
        { "process or process id expected, got no value", osbridge.wait_for_input_idle },
        { "number expected", osbridge.wait_for_process, 1, "x" },
    }) do
        lu.assertErrorMsgContains(case[1], unpack(case, 2))
    end
    lu.assertEquals(#children(OWN_PID), 0, "nothing started on an argument error")
end

function TestProcWait:test_input_idle()
    local window = assert(osbridge.start_process(quoted(FIXTURE_BIN .. "\\waitwin.exe") .. " 200 OsbIdle idle"))
    lu.assertEquals({ osbridge.wait_for_input_idle(window, 120000) }, { true })
    lu.assertEquals({ osbridge.wait_for_input_idle(window.pid) }, { true }, "by its id")
    lu.assertTrue(osbridge.terminate_process(window.pid, 0))
    local console = assert(osbridge.start_process(child_line(0, 600000)))
    lu.assertEquals({ osbridge.wait_for_input_idle(console) }, { false, "a console program has no message loop" })
    local ended = assert(osbridge.start_process(child_line(0, 0)))
    lu.assertEquals(osbridge.wait_for_process(ended), 0)
    lu.assertEquals({ osbridge.wait_for_input_idle(ended, 1000) }, { false, "the process has ended" })
    local result = { osbridge.wait_for_input_idle(NO_SUCH_PID, 0) }
    lu.assertEquals(result[1], false)
    lu.assertStrMatches(result[2] or "nil", ".+ %(87%)")
end

TestProcRun = {}

function TestProcRun:tearDown() end_children() end

-- The fixture's stream bytes: 0..255 repeated, or 255..0.
local function stream_bytes(n, descending)
    local bytes = {}
    for i = 0, 255 do bytes[#bytes + 1] = string.char(descending and 255 - i or i) end
    return table.concat(bytes):rep(math.ceil(n / 256)):sub(1, n)
end

-- Fails unless `got` is the string `expected`, saying where they part: a
-- message that stays short for megabytes (LuaUnit's own takes minutes).
local function assert_same_bytes(got, expected, label)
    if got == expected then return end
    local at = 1
    if type(got) == "string" then
        while at <= #got and got:byte(at) == expected:byte(at) do at = at + 1 end
    end
    lu.fail(("%s: %s, %d bytes expected, parting at byte %d"):format(label,
        type(got) == "string" and #got .. " bytes" or tostring(got), #expected, at))
end

function TestProcRun:test_exit_code_and_both_streams_read_at_once()
    for _, case in ipairs({ { 0, 0, 0 }, { 300, 5, 7 }, { 70000, 200000, 3221225477 }, { 50 * 2 ^ 20, 50 * 2 ^ 20, 1 } }) do
        local label = table.concat(case, " ")
        local code, output, errors = osbridge.run_process(child_line("streams", unpack(case)), { timeout_ms = 600000 })
        lu.assertEquals(code, case[3], label)
        lu.assertEquals({ #output, #errors }, { case[1], case[2] }, label)
        lu.assertTrue(output == stream_bytes(case[1]) and errors == stream_bytes(case[2], true), label)
    end
end

function TestProcRun:test_input_command_line_and_failures()
    local input = stream_bytes(1000000) .. "\r\n\0end"
    local code, output, errors = osbridge.run_process(child_line("echo"), { input = input })
    lu.assertEquals({ code, errors }, { 0, "" })
    assert_same_bytes(output, input, "the input echoed")
    lu.assertEquals({ osbridge.run_process(child_line("echo"), {}) }, { 0, "", "" }, "no input: an empty one")
    local line = child_line("line", '"a b"', '"c \\"d\\""', "'e'", "\\\\server\\share", "x\\\\")
    lu.assertEquals({ osbridge.run_process(line, { dir = TEMP }) }, { 0, line, "" }, "passed verbatim")
    local missing = { osbridge.run_process(quoted(TEMP .. "\\proc_no_such.exe")) }
    lu.assertNil(missing[1])
    lu.assertStrMatches(missing[2], ".+ %(2%)")
    lu.assertEquals({ osbridge.run_process("") }, { nil, "the command line is empty" })
    for _, case in ipairs({
        { "input: string expected, got table", { input = {} } },
        { "timeout_ms: number expected, got string", { timeout_ms = "x" } },
    }) do
        lu.assertErrorMsgContains(case[1], osbridge.run_process, child_line("echo"), case[2])
    end
end

-- A time-out ends the program and everything it started, also a child that
-- holds the pipes open after the program ended.
function TestProcRun:test_time_out_ends_the_whole_tree()
    -- The time-out has to leave the child time to start its own: longer
    -- ones where starting is slow (emulated processors).
    local result, took, timeout = {}, 0, 1000
    while not (result[3] or ""):find("started") and timeout <= 16000 do
        end_children()
        local started = osbridge.get_epoch_ms()
        result = { osbridge.run_process(child_line("hold"), { timeout_ms = timeout }) }
        took = osbridge.get_epoch_ms() - started
        lu.assertEquals({ result[1], result[2], result[4] }, { nil, "timeout", "" })
        lu.assertTrue(took >= timeout - 10 and took < timeout + 60000, took)
        timeout = timeout * 4
    end
    local pid = tonumber((result[3] or ""):match("^started (%d+)\n$"))
    lu.assertNotNil(pid, result[3])
    local code, failure = osbridge.wait_for_process(pid, 30000)
    lu.assertTrue(code == 1 or (failure or ""):match("%(87%)$"), tostring(code) .. " " .. tostring(failure))
    lu.assertEquals({ osbridge.run_process(child_line(0, 600000), { timeout_ms = 0 }) }, { nil, "timeout", "", "" })
end
