-- Every function of the module called with thousands of argument tuples drawn
-- from a fixed-seed pool of hostile values. Each call must give one of the
-- result forms the reference documents, or raise an argument error; a crash
-- or a hang ends the run with the tuple that caused it (probe.watch).
local probe = require "robust.probe"
local fixture = require "windows.fixture"

local HKCU = osbridge.HKEY_CURRENT_USER
local SCRATCH = "Software\\osbridge-robust"
local SAMPLE = tonumber(os.getenv("OSB_ROBUST_SAMPLE")) or 1  -- fraction of the tuples run

-- Pool entries are { source, value }; the sources refer to the helpers that
-- a failure report prints first, so that the report replays as it stands.
local PREAMBLE = [[
local probe = require "robust.probe"
local function boom() error("hostile metamethod", 2) end
local R = setmetatable({}, { __index = boom, __newindex = boom, __len = boom, __tostring = boom, __call = boom,
                             __concat = boom, __eq = boom, __lt = boom, __le = boom, __unm = boom, __add = boom })
local F, C = function() end, coroutine.create(function() end)
local U = probe.userdata(0x12345678)  -- a light userdata that is no window
local W = osbridge.find_window(CLASS) -- a window of another process (fixtures/testwin.exe)
]]
local function boom() error("hostile metamethod", 2) end
local R = setmetatable({}, { __index = boom, __newindex = boom, __len = boom, __tostring = boom, __call = boom,
                             __concat = boom, __eq = boom, __lt = boom, __le = boom, __unm = boom, __add = boom })
local pool = {
    { "nil", nil }, { "true", true }, { "false", false }, { "0", 0 }, { "-1", -1 }, { "0.5", 0.5 },
    { "-0.5", -0.5 }, { "1e300", 1e300 }, { "-1e300", -1e300 }, { "0/0", 0 / 0 }, { "1/0", 1 / 0 },
    { "-1/0", -1 / 0 }, { "2^31", 2 ^ 31 }, { "2^32", 2 ^ 32 }, { "2^53", 2 ^ 53 }, { "-2^63", -2 ^ 63 },
    { '""', "" }, { '"\\0"', "\0" }, { '"a\\0b"', "a\0b" }, { '"123"', "123" }, { '"-1"', "-1" },
    { '"0x10"', "0x10" }, { '" 1e3 "', " 1e3 " }, { '"2147483648"', "2147483648" },
    { '"\\200\\233\\255"', "\200\233\255" }, { '"caf\\233\\0\\128"', "caf\233\0\128" },
    { "R", R }, { "{}", {} }, { "F", function() end }, { "C", coroutine.create(function() end) },
    { "U", probe.userdata(0x12345678) }, { "io.stdout", io.stdout },
}
for _, n in ipairs({ 259, 260, 261, 4096, 1048576 }) do
    pool[#pool + 1] = { ('("a"):rep(%d)'):format(n), ("a"):rep(n) }
end
local WINDOW = { "W" }  -- its value is set once the window exists
pool[#pool + 1] = WINDOW

-- Result forms: alternatives split by "|", one letter a result: b boolean,
-- n number, s string, t table, u light userdata, x nil; upper case: that or
-- nil. "" is no result at all.
-- Each entry: form, a valid argument list (tuples mix it with pool values to
-- reach past the first check), and how the function is kept off the machine:
--   answer   modal box or dialog, closed by probe.answer (IDOK, now and then IDCANCEL)
--   sandbox  relative paths land in a scratch folder, the current directory
--   scratch  registry writes go under HKCU\Software\osbridge-robust
--   reduced  a smaller pool, given in the entry's `reduce`
--   few      acts on the machine but harmlessly: fewer tuples
local K, S, N = "\1key", "\1file", "\1nil"  -- placeholders: the scratch key, a sandbox file, nil
-- A reduction for waits: a time-out at position n that is a number, or none,
-- becomes 0, so that no call waits for a process or window that is there.
local function looks_once(n)
    return function(a)
        if a.n < n or a[n][2] == nil or tonumber(a[n][2]) then
            a[n] = { "0", 0 }
            for i = a.n + 1, n - 1 do a[i] = { "nil", nil } end
            a.n = math.max(a.n, n)
        end
    end
end
local functions = {
    wince_oeminfo = { "" }, wince_platform = { "" }, wnet_add_connection = { "" },
    version = { "NNNNS" }, get_last_error = { "S" }, get_epoch_ms = { "n" },
    -- No pool value names a code page but 0, the default.
    set_code_page = { "n", { 0 } }, get_code_page = { "n" },
    crc16 = { "ss", { "abc" } }, to_hex = { "S", { "abc" } }, from_hex = { "S", { "00ff" } },
    get_keybd_state = { "b|", { 65 } },
    keybd_event = { "", { 65, 2 }, "reduced: two values at least (fewer show a box), KEYEVENTF_KEYUP on top",
                    reduce = function(a)
                        if a.n == 0 then a[1], a.n = { "65", 65 }, 1 end
                        a.n = a.n + 1
                        a[a.n] = { "2", 2 }
                    end },
    string_to_keys = { "", { "a" }, "reduced: texts of at most 8 bytes are typed",
                       reduce = function(a) if a.n >= 1 and type(a[1][2]) == "string" and #a[1][2] > 8 then a[1] = { '"a"', "a" } end end },
    toggle_numlock = { "", nil, "few: called twice, Num Lock ends as it was", count = 40, twice = true },
    sleep = { "", { 0 }, "reduced: no count above 0 ms (2^31 ms would wait 24 days)",
              reduce = function(a) local n = a.n >= 1 and tonumber(a[1][2]); if n and not (n <= 0.99) then a[1] = { "0", 0 } end end },
    msgbox = { "n|", { "text", "caption", 0 }, "answer (2 s a box)", count = 8 },
    get_password = { "S", { N }, "answer (2 s a box)", count = 6 },
    exec = { "bn", { "missing.exe", "x", 0, "." }, "sandbox: no pool text names a program" },
    -- An empty file name opens the current folder: a new explorer.exe, which
    -- run_function ends (`ends`).
    shell_execute = { "bS", { "<table>" }, "sandbox: no pool text names a file; answer for the shell's boxes",
                      count = 400, ends = "explorer.exe" },
    terminate_process = { "bb|b", { -1, 0 }, "reduced: no numeric string (\"123\" might be a process id)",
                          reduce = function(a) if a.n >= 1 and type(a[1][2]) == "string" and tonumber(a[1][2]) then a[1] = { "-1", -1 } end end },
    start_process = { "?|xs", { "missing.exe", { dir = "." } }, "sandbox: no pool text names a program" },
    run_process = { "nss|xs|xsss", { "missing.exe", { timeout_ms = 0 } }, "sandbox: no pool text names a program",
                    count = 1000 },
    wait_for_process = { "n|xs", { -1, 0 }, "reduced: time-out 0", reduce = looks_once(2) },
    wait_for_input_idle = { "b|bs", { -1, 0 }, "reduced: time-out 0", reduce = looks_once(2) },
    process_list = { "t|xs", nil, count = 300 }, drives = { "t|xs", nil, count = 300 }, enum_windows = { "t|", nil, count = 300 },
    process_modules = { "T", { 0 }, count = 300 },
    send_message = { "n|", { WINDOW, 0, 0, 0 } }, get_window_long = { "n|", { WINDOW, -16 } },
    set_window_long = { "n|", { WINDOW, -21, 0 } }, set_window_pos = { "n", { WINDOW, 0, 0, 0, 0, 0, 3 } },
    get_window_rect = { "nnnn|", { WINDOW } }, is_window_visible = { "b|", { WINDOW } },
    find_window = { "U", { "", "window" } },
    wait_for_window = { "u|xs", { "", "window", 0 }, "reduced: time-out 0", reduce = looks_once(3) }, show_window = { "b", { WINDOW, 5 } }, set_focus = { "b", { WINDOW } },
    get_focus = { "U" }, set_foreground_window = { "b", { WINDOW } }, get_foreground_window = { "U" },
    enable_window = { "b", { WINDOW, true } }, destroy_window = { "b", { WINDOW } },
    get_window = { "U", { WINDOW, 5 } }, get_window_text = { "S", { WINDOW } },
    create_shortcut = { "b" }, sh_fullscreen = { "b" },
    reg_get_value = { "S|n", { HKCU, K, "v" } },
    reg_set_value = { "b", { HKCU, K, "v", "data", 1 }, "scratch" },
    reg_delete_key = { "b", { HKCU, K }, "scratch" }, reg_delete_value = { "b", { HKCU, K, "v" }, "scratch" },
    get_current_dir = { "S" }, serial_number = { "S" }, get_system_metrics = { "n", { 0 } },
    get_system_powerstatus = { "n" }, get_system_powerstatus_ex = { "n" },
    get_user_default_lcid = { "n" }, get_system_default_lcid = { "n" },
    set_user_default_lcid = { "bx" }, set_system_default_lcid = { "bx" },
    dll_register_server = { "b", { "missing.dll" }, "sandbox" }, dll_unregister_server = { "b", { "missing.dll" }, "sandbox" },
    sip_get_current_im = { "S" }, sip_set_current_im = { "b", { "{42429667-AE04-11D0-A4F8-00AA00A749B9}" } },
    warm_reset = { "" }, cold_reset = { "" }, suspend_system = { "" },  -- no such service on this platform
    powermanager_reload_activity_timeouts = { "bS" },
    usbfn_get_current_client = { "xx" }, usbfn_set_current_client = { "" }, usbfn_set_default_client = { "" },
    file_size = { "N", { S } }, file_exist = { "b", { S } }, mkdir = { "b", { "d" }, "sandbox" },
    rmdir = { "b|bs", { "d" }, "sandbox" }, copy_file = { "b", { S, "g.txt", 1 }, "sandbox" },
    move_file = { "b", { "g.txt", "h.txt" }, "sandbox" }, delete_file = { "b", { "h.txt" }, "sandbox" },
    clipboard_get = { "S", { WINDOW } }, clipboard_set = { "b", { "text" } },
    play_sound = { "b", { "missing.wav", 1 }, "sandbox: no pool text names a sound", count = 1000 },
    bitmap_info = { "t|xs", { S }, count = 1000 },
    register_hotkey = { "b|bs", { N, 1, 0, 0x87 }, "each registration is withdrawn again" },
    unregister_hotkey = { "b|bs", { N, 1 } }, unregister_func1 = { "bs" },
    print_on_printer = { "bS", { "no printer", "data", "doc" } },
    ras_connections = { "tx|xn" }, ras_entries = { "tx|xn" }, ras_connect_status = { "tx|xn", { N } },
    ras_dial = { "bn", { "no entry" } }, ras_hangup = { "n", { N } },
    get_net_adapters_info = { "xs" }, phone_makecall = { "bs" },
    clear_browser_cache = { "b|bs", nil, "few: it empties the URL cache", count = 30 },
    add_cert_to_store = { "b|bs", { "\48\3\2\1\0", 2 }, count = 500 },
}
-- Errors other than argument errors that a function may raise by design.
local other_errors = { shell_execute = "attempt to index" }

local function pack(...) return { n = select("#", ...), ... } end

local function form_of(v)
    local t = type(v)
    if t == "nil" then return "x" elseif t == "userdata" then return getmetatable(v) and "?" or "u" end
    return t:sub(1, 1)
end

local function matches(forms, results)
    for alternative in (forms .. "|"):gmatch("([^|]*)|") do
        if #alternative == results.n then
            local ok = true
            for i = 1, results.n do
                local want, got = alternative:sub(i, i), form_of(results[i])
                if not (want == got or (want:upper() == want and (got == "x" or got == want:lower()))) then
                    ok = false
                end
            end
            if ok then return true end
        end
    end
    return false
end

-- Park-Miller: exact in doubles, so both builds draw the same tuples.
local function generator(seed)
    local x = seed
    return function(n)
        x = x * 16807 % 2147483647
        return x % n + 1
    end
end

local function seed_of(name)
    local h = 7
    for i = 1, #name do h = (h * 31 + name:byte(i)) % 2147483646 end
    return h + 1
end

local function entry(value, source)
    return { source or (type(value) == "string" and ("%q"):format(value):gsub("\\\n", "\\n") or tostring(value)), value }
end

-- A shell_execute table with pool values in its fields.
local function shell_table(draw)
    local fields, parts = {}, {}
    for _, key in ipairs({ "filename", "operation", "parameters", "work_dir", "show", "hwnd_parent" }) do
        if draw(2) == 1 then
            local e = pool[draw(#pool)]
            fields[key] = e[2]
            parts[#parts + 1] = key .. " = " .. e[1]
        end
    end
    return { "{ " .. table.concat(parts, ", ") .. " }", fields }
end

local function valid_entry(v, draw)
    if v == K then return entry(SCRATCH) end
    if v == S then return entry("f.txt") end
    if v == "<table>" then return shell_table(draw) end
    if v == WINDOW then return WINDOW end
    if v == N then return entry(nil) end
    return entry(v)
end

local function tuple(rule, draw)
    local valid = rule[2] or {}
    local n = math.max(0, #valid + draw(4) - 2)
    if draw(6) == 1 then n = draw(8) - 1 end
    local args = { n = n }
    for i = 1, n do
        if i <= #valid and draw(2) == 1 then
            args[i] = valid_entry(valid[i], draw)
        else
            args[i] = pool[draw(#pool)]
        end
    end
    return args
end

local function source(name, args)
    local parts = {}
    for i = 1, args.n do parts[i] = args[i][1] end
    return ("osbridge.%s(%s)"):format(name, table.concat(parts, ", "))
end

-- Registry writers only ever reach the scratch key: a root that names a real
-- key becomes HKCU and a key path is put below the scratch key.
local function scratch_registry(args)
    if args.n >= 1 then
        local root = tonumber(args[1][2])
        if root and root == root and math.abs(root) < 2 ^ 53 and (root % 2 ^ 32) >= 0x80000000
           and (root % 2 ^ 32) <= 0x80000006 then
            args[1] = entry(HKCU, "osbridge.HKEY_CURRENT_USER")
        end
    end
    if args.n >= 2 then
        local path = args[2][2]
        if type(path) == "string" or type(path) == "number" then
            local text = SCRATCH .. "\\" .. tostring(path)
            if type(path) == "string" and path:sub(1, #SCRATCH) == SCRATCH then text = path end
            args[2] = entry(text, ("%q .. %s"):format(SCRATCH .. "\\", args[2][1]))
        end
    end
end

local checked = 0

-- The ids of the running processes with this program name.
local function pids_of(name)
    local pids, list = {}, assert(osbridge.process_list())
    for i = 0, #list do
        if (list[i].name or ""):lower() == name then pids[list[i].pid] = true end
    end
    return pids
end

local function run_function(name)
    local rule = functions[name]
    local fn = osbridge[name]
    local draw = generator(seed_of(name))
    local count = math.max(1, math.floor((rule.count or 2000) * SAMPLE))
    local failures, errors, calls = {}, 0, 0
    local started, running = os.clock(), rule.ends and pids_of(rule.ends)
    for _ = 1, count do
        local args = tuple(rule, draw)
        if rule.reduce then rule.reduce(args) end
        if rule[3] == "scratch" then scratch_registry(args) end
        local values = {}
        for i = 1, args.n do values[i] = args[i][2] end
        local text = source(name, args)
        probe.watch(60, text)
        local results = pack(pcall(fn, unpack(values, 1, args.n)))
        if rule.twice then pcall(fn, unpack(values, 1, args.n)) end
        if name == "register_hotkey" and results[2] == true then
            osbridge.unregister_hotkey(values[1], values[2])
        end
        calls = calls + 1
        if results[1] then
            local r = pack(unpack(results, 2, results.n))
            if not matches(rule[1], r) then
                local got = {}
                for i = 1, r.n do got[i] = form_of(r[i]) end
                failures[#failures + 1] = ("%s\n  -- gave %d results (%s), documented: %q"):format(
                    text, r.n, table.concat(got, ","), rule[1])
            end
        else
            errors = errors + 1
            local message = tostring(results[2])
            if not (message:find("bad argument", 1, true) or message:find("hostile metamethod", 1, true)
                    or (other_errors[name] and message:find(other_errors[name], 1, true))) then
                failures[#failures + 1] = ("%s\n  -- raised: %s"):format(text, message)
            end
        end
    end
    probe.watch(0)
    for pid in pairs(running and pids_of(rule.ends) or {}) do
        if not running[pid] then osbridge.terminate_process(pid, 1) end
    end
    checked = checked + calls
    if os.getenv("OSB_ROBUST_TIMES") then print(("%-40s %6d calls %7.2f s"):format(name, calls, os.clock() - started)) end
    if #failures > 0 then
        local shown = {}
        for i = 1, math.min(5, #failures) do shown[i] = failures[i] end
        lu.fail(("%s: %d of %d tuples broke the contract; replay with\n%s\n%s"):format(
            name, #failures, calls, PREAMBLE, table.concat(shown, "\n")))
    end
end

TestRobustHostile = {}

local leave_sandbox, window

function TestRobustHostile.setupClass()
    window = fixture.start()
    WINDOW[2] = window.main
    PREAMBLE = PREAMBLE:gsub("CLASS", ("%q"):format(window.class))
    leave_sandbox = probe.sandbox("hostile")
    probe.answer(true)
end

function TestRobustHostile.teardownClass()
    probe.answer(false)
    for _ = 1, 2 do osbridge.toggle_numlock() end
    for key = 1, 254 do osbridge.keybd_event(key, osbridge.KEYEVENTF_KEYUP) end
    if leave_sandbox then leave_sandbox() end
    -- The writers made keys named after the pool's texts, one level deep.
    for _, e in ipairs(pool) do
        if type(e[2]) == "string" or type(e[2]) == "number" then
            osbridge.reg_delete_key(HKCU, SCRATCH .. "\\" .. tostring(e[2]))
        end
    end
    osbridge.reg_delete_key(HKCU, SCRATCH)
    if window then pcall(window.close, window) end
end

function TestRobustHostile.test_every_function_has_an_entry()
    local missing = {}
    for name, value in pairs(osbridge) do
        if type(value) == "function" and not functions[name] then missing[#missing + 1] = name end
    end
    table.sort(missing)
    lu.assertEquals(missing, {})
    local n = 0
    for name in pairs(functions) do
        lu.assertIsFunction(osbridge[name], name)
        n = n + 1
    end
    lu.assertEquals(n, 96)
end

for name in pairs(functions) do
    TestRobustHostile["test_" .. name] = function() run_function(name) end
end
