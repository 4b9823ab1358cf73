-- Each function that leaves the machine as it was, called many times with
-- valid arguments on its success path and on its failure path: the next free
-- handle, the next free GDI slot and the C heap (all heaps' busy bytes, less
-- what the Lua state itself holds) must end where they began.
local probe = require "robust.probe"
local fixture = require "windows.fixture"

local SAMPLE = tonumber(os.getenv("OSB_ROBUST_SAMPLE")) or 1
local CALLS = 10000
local HKCU, SCRATCH = osbridge.HKEY_CURRENT_USER, "Software\\osbridge-robust-leaks"
-- Slack for the allocator's own bookkeeping; a leak of one byte a call over
-- 10000 calls is already past it.
local HEAP_SLACK, SLOT_SLACK = 8192, 8

local W, U = {}, probe.userdata(0x12345678)  -- W: the test window, once started
local CLIP = {}  -- the clipboard holds text (set before each case that needs it)

-- A 2x2 24-bit bitmap file.
local function bitmap_bytes()
    local pixels = ("\0\0\255\0\255\0\0\0"):rep(2)
    local function le(n, bytes)
        local t = {}
        for i = 1, bytes do t[i] = string.char(math.floor(n / 256 ^ (i - 1)) % 256) end
        return table.concat(t)
    end
    return "BM" .. le(54 + #pixels, 4) .. le(0, 4) .. le(54, 4) .. le(40, 4) .. le(2, 4) .. le(2, 4) .. le(1, 2)
           .. le(24, 2) .. le(0, 4) .. le(#pixels, 4) .. le(2835, 4) .. le(2835, 4) .. le(0, 8) .. pixels
end

-- name = { success arguments, failure arguments [, calls] }; false: that path
-- does not exist. Functions that act on the machine, wait for a person or
-- start processes are absent (the exhausted-memory suite covers get_password).
local cases = {
    version = { {}, false }, get_epoch_ms = { {}, false }, get_current_dir = { {}, false },
    serial_number = { {}, false }, get_user_default_lcid = { {}, false },
    get_last_error = { { 2 }, { 0x2badc0de } },  -- the code probe.set_error leaves first
    crc16 = { { ("x"):rep(300) }, false }, to_hex = { { ("x"):rep(300) }, { "" } },
    from_hex = { { ("0a"):rep(300) }, { "abc" } },
    get_keybd_state = { { 65 }, { "x" } }, get_system_metrics = { { 0 }, { 12345 } },
    reg_get_value = { { HKCU, SCRATCH, "text" }, { HKCU, SCRATCH, "missing" } },
    reg_get_value_dword = { { HKCU, SCRATCH, "number" }, { HKCU, SCRATCH .. "\\missing", "number" } },
    reg_set_value = { { HKCU, SCRATCH, "written", ("w"):rep(300), osbridge.REG_SZ }, { 12345, "x", "y", 1 } },
    reg_delete_value = { false, { HKCU, SCRATCH, "missing" } },
    reg_delete_key = { false, { HKCU, SCRATCH .. "\\missing" } },
    find_window = { { W, "class" }, { "OsbNoSuchClass" } },
    get_window_text = { { W, "main" }, { U } }, get_window = { { W, "main", osbridge.GW_CHILD }, { U, 5 } },
    get_window_rect = { { W, "main" }, { U } }, get_window_long = { { W, "main", -16 }, { U, -16 } },
    is_window_visible = { { W, "main" }, { U } }, send_message = { { W, "main", 0 }, { U, 0 } },
    enum_windows = { {}, false, 2000 },  -- a count here: over 1 ms a call
    get_focus = { {}, false }, get_foreground_window = { {}, false },
    process_list = { {}, false, 500 }, process_modules = { { 0 }, { 0x7ffffff0 }, 300 },
    file_exist = { { "f.txt" }, { "missing.txt" }, 3000 }, file_size = { { "f.txt" }, { "missing.txt" } },
    copy_file = { { "f.txt", "g.txt", 1 }, { "missing.txt", "g.txt", 1 } },
    move_file = { false, { "missing.txt", "h.txt" } }, delete_file = { false, { "missing.txt" } },
    mkdir = { false, { "f.txt" } }, rmdir = { { "empty" }, { ("d"):rep(300) }, 3000 },
    bitmap_info = { { "b.bmp" }, { "missing.bmp" }, 2000 },
    clipboard_set = { { "clip text" }, { "" } }, clipboard_get = { { CLIP }, { U } },
    powermanager_reload_activity_timeouts = { {}, false },
    sip_get_current_im = { false, {} }, sip_set_current_im = { false, { "{00000000-0000-0000-0000-000000000000}" } },
    register_hotkey = { { nil, 0x5eed, osbridge.MOD_CONTROL + osbridge.MOD_ALT, osbridge.VK_F11 }, false },
    unregister_hotkey = { false, { nil, 0x5eee } },
    exec = { false, { "missing.exe" }, 1500 }, exec_command_line = { false, { nil, "osbridge-no-such-program" }, 1000 },
    shell_execute = { false, { { filename = "" } } }, print_on_printer = { false, { "no such printer", "x" } },
    dll_register_server = { false, { "missing.dll" }, 2000 }, play_sound = { false, { "missing.wav" }, 1000 },
    add_cert_to_store = { false, { "\48\3\2\1\0" }, 1000 },
    ras_entries = { {}, false }, ras_connections = { {}, false }, ras_connect_status = { false, { U } },
}
-- Cases named after a function with a suffix call the function itself.
local function function_of(name)
    return osbridge[name] or osbridge[name:match("^(.-)_[a-z]+$")] or osbridge[name:match("^(.-)_[a-z]+_[a-z]+$")]
end

local function resolve(args)
    local out, n = {}, 0
    local i = 1
    while i <= table.maxn(args) do
        local v = args[i]
        n = n + 1
        if v == W then
            i = i + 1
            out[n] = W[args[i]]
        elseif v == CLIP then
            out[n] = nil
        else
            out[n] = v
        end
        i = i + 1
    end
    return out, n
end

local function measure()
    collectgarbage("collect")
    collectgarbage("collect")
    local bytes = probe.heap()
    return { heap = bytes - probe.lua_bytes(), handle = probe.handle(), gdi = probe.gdi() }
end

local function run_case(name, args, calls)
    local fn = assert(function_of(name), name)
    local values, n = resolve(args)
    local after_each = name == "register_hotkey" and function() osbridge.unregister_hotkey(nil, 0x5eed) end
    local before_each = name == "get_last_error" and function() probe.set_error(args[1]) end
    if name == "clipboard_get" then osbridge.clipboard_set("clipboard text") end
    local function call()
        if before_each then before_each() end
        fn(unpack(values, 1, n))
        if after_each then after_each() end
    end
    for _ = 1, 200 do call() end  -- first-use allocations (caches, loaded libraries)
    local before = measure()
    for _ = 1, calls do call() end
    local after = measure()
    return ("%s%s: heap %+d bytes, handle slots %+d, GDI slots %+d"):format(
        name, n > 0 and "" or "()", after.heap - before.heap, (after.handle - before.handle) / 4, after.gdi - before.gdi),
        after.heap - before.heap <= HEAP_SLACK and after.handle - before.handle <= 4 * SLOT_SLACK
        and after.gdi - before.gdi <= SLOT_SLACK
end

TestRobustLeaks = {}

local leave_sandbox, window

function TestRobustLeaks.setupClass()
    window = fixture.start()
    W.main, W.class = window.main, window.class
    leave_sandbox = probe.sandbox("leaks")
    assert(osbridge.mkdir("empty"))
    local f = assert(io.open("b.bmp", "wb"))
    f:write(bitmap_bytes())
    f:close()
    assert(osbridge.reg_set_value(HKCU, SCRATCH, "text", ("t"):rep(4000), osbridge.REG_SZ))
    assert(osbridge.reg_set_value(HKCU, SCRATCH, "number", 7))
end

function TestRobustLeaks.teardownClass()
    if leave_sandbox then leave_sandbox() end
    osbridge.reg_delete_key(HKCU, SCRATCH)
    if window then pcall(window.close, window) end
end

function TestRobustLeaks.test_the_probes_see_leaks()
    local before, files = measure(), {}
    for i = 1, 20 do
        files[i] = assert(io.open(BUILD_DIR .. "\\lua.exe", "rb"))
        files[i]:read(1)  -- the C library's buffer: 4 KiB of C heap
    end
    local after = measure()
    for _, f in ipairs(files) do f:close() end
    lu.assertTrue(after.handle - before.handle >= 4 * 20, ("handle %d -> %d"):format(before.handle, after.handle))
    lu.assertTrue(after.heap - before.heap >= 20 * 4096, ("heap %d -> %d"):format(before.heap, after.heap))
end

for name, case in pairs(cases) do
    TestRobustLeaks["test_" .. name] = function()
        local calls = math.max(50, math.floor((case[3] or CALLS) * SAMPLE))
        local report, bad = {}, {}
        for path = 1, 2 do
            if case[path] then
                local started = os.clock()
                local line, ok = run_case(name, case[path], calls)
                line = ("%s path, %d calls, %.2f s: %s"):format(path == 1 and "success" or "failure", calls,
                                                                os.clock() - started, line)
                report[#report + 1] = line
                if not ok then bad[#bad + 1] = line end
            end
        end
        if os.getenv("OSB_ROBUST_TIMES") then print("\n" .. table.concat(report, "\n")) end
        lu.assertEquals(bad, {})
    end
end
