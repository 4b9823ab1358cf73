-- Valid calls of the functions that leave the machine as it was, on their
-- success and failure paths, shared by the leak and exhausted-memory suites,
-- and the window, files and registry values they need. play_sound plays
-- synchronously: an asynchronous call frees its data later, in a thread of
-- its own.
local probe = require "robust.probe"
local fixture = require "windows.fixture"

local cases = {}
local HKCU, SCRATCH = osbridge.HKEY_CURRENT_USER, "Software\\osbridge-robust-leaks"
local W, U = {}, probe.userdata(0x12345678)  -- W: the test window, once prepared
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
cases.list = {
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
    wait_for_window = { { W, "class", nil, 0 }, { "OsbNoSuchClass", nil, 0 } },
    wait_for_process = { false, { 0x7ffffff0, 0 } }, wait_for_input_idle = { false, { 0x7ffffff0, 0 } },
    get_window_text = { { W, "main" }, { U } }, get_window = { { W, "main", osbridge.GW_CHILD }, { U, 5 } },
    get_window_rect = { { W, "main" }, { U } }, get_window_long = { { W, "main", -16 }, { U, -16 } },
    is_window_visible = { { W, "main" }, { U } }, send_message = { { W, "main", 0 }, { U, 0 } },
    enum_windows = { {}, false, 2000 },  -- a count here: over 1 ms a call
    get_focus = { {}, false }, get_foreground_window = { {}, false },
    process_list = { {}, false, 500 }, drives = { {}, false, 2000 }, process_modules = { { 0 }, { 0x7ffffff0 }, 300 },
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
    exec = { false, { "missing.exe" }, 1500 }, run_process = { false, { "missing.exe" }, 1000 }, exec_command_line = { false, { nil, "osbridge-no-such-program" }, 1000 },
    shell_execute = { false, { { filename = "" } } }, print_on_printer = { false, { "no such printer", "x" } },
    -- _wide: in UTF-8, where the names are converted (and owned) first.
    print_on_printer_wide = { false, { "no such printer", "x" } },
    reg_set_value_wide = { { HKCU, SCRATCH, "written", ("w"):rep(300), osbridge.REG_SZ }, { 12345, "x", "y", 1 } },
    clipboard_set_wide = { { "clip text" }, false }, shell_execute_wide = { false, { { filename = "" } } },
    run_process_wide = { false, { "missing.exe" }, 1000 }, drives_wide = { {}, false, 2000 },
    dll_register_server = { false, { "missing.dll" }, 2000 }, play_sound = { false, { "missing.wav", 0 }, 1000 },
    add_cert_to_store = { false, { "\48\3\2\1\0" }, 1000 },
    ras_entries = { {}, false }, ras_connections = { {}, false }, ras_connect_status = { false, { U } },
}
-- Cases named after a function with a suffix call the function itself.
function cases.function_of(name)
    return osbridge[name] or osbridge[name:match("^(.-)_[a-z]+$")] or osbridge[name:match("^(.-)_[a-z]+_[a-z]+$")]
end

function cases.resolve(args)
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


-- A call of the case, with what must surround it, ready to repeat.
function cases.caller(name, args)
    local fn = assert(cases.function_of(name), name)
    local values, n = cases.resolve(args)
    if name == "clipboard_get" then osbridge.clipboard_set("clipboard text") end
    if name == "get_last_error" then
        return function()
            probe.set_error(args[1])
            return fn(unpack(values, 1, n))
        end, n
    elseif name:match("_wide$") then
        return function()
            collectgarbage()  -- so that the failure text is made anew, and can fail
            osbridge.set_code_page(osbridge.CP_UTF8)
            local ok, message = pcall(fn, unpack(values, 1, n))
            osbridge.set_code_page(osbridge.CP_ACP)
            if not ok then error(message, 0) end
        end, n
    elseif name == "register_hotkey" then
        return function()
            fn(unpack(values, 1, n))
            osbridge.unregister_hotkey(nil, 0x5eed)
        end, n
    end
    return function() return fn(unpack(values, 1, n)) end, n
end

local leave_sandbox, window

-- The test window, a scratch folder as the current directory and scratch
-- registry values.
function cases.prepare(suite)
    window = fixture.start()
    W.main, W.class = window.main, window.class
    leave_sandbox = probe.sandbox(suite)
    assert(osbridge.mkdir("empty"))
    local f = assert(io.open("b.bmp", "wb"))
    f:write(bitmap_bytes())
    f:close()
    assert(osbridge.reg_set_value(HKCU, SCRATCH, "text", ("t"):rep(4000), osbridge.REG_SZ))
    assert(osbridge.reg_set_value(HKCU, SCRATCH, "number", 7))
end

function cases.cleanup()
    if leave_sandbox then leave_sandbox() end
    osbridge.reg_delete_key(HKCU, SCRATCH)
    if window then pcall(window.close, window) end
end

cases.HKCU, cases.SCRATCH = HKCU, SCRATCH
return cases
