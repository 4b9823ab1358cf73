-- The module table: functions, constants, version fields and the loader.

local UNSIGNED = {
    ERROR_SUCCESS = 0, ERROR_INVALID_PARAMETER = 87, ERROR_INVALID_HANDLE = 6, ERROR_GEN_FAILURE = 31,
    ERROR_TOO_MANY_OPEN_FILES = 4, ERROR_ACCESS_DENIED = 5, ERROR_BAD_PATHNAME = 161,
    ERROR_DEV_NOT_EXIST = 55, ERROR_DISK_FULL = 112, ERROR_FILENAME_EXCED_RANGE = 206,
    ERROR_FILE_NOT_FOUND = 2, ERROR_INVALID_DATA = 13, ERROR_NOT_READY = 21, ERROR_NOT_SUPPORTED = 50,
    ERROR_NO_MORE_FILES = 18, ERROR_OPEN_FAILED = 110, ERROR_OPERATION_ABORTED = 995, ERROR_TIMEOUT = 1460,
    MB_ABORTRETRYIGNORE = 2, MB_OK = 0, MB_OKCANCEL = 1, MB_RETRYCANCEL = 5, MB_YESNO = 4,
    MB_YESNOCANCEL = 3, MB_ICONEXCLAMATION = 48, MB_ICONWARNING = 48, MB_ICONINFORMATION = 64,
    MB_ICONQUESTION = 32, MB_ICONSTOP = 16, MB_ICONERROR = 16, MB_ICONHAND = 16, MB_DEFBUTTON1 = 0,
    MB_DEFBUTTON2 = 256, MB_DEFBUTTON3 = 512, MB_DEFBUTTON4 = 768, MB_APPLMODAL = 0,
    MB_SETFOREGROUND = 65536, MB_TOPMOST = 262144, IDABORT = 3, IDCANCEL = 2, IDIGNORE = 5, IDNO = 7,
    IDOK = 1, IDRETRY = 4, IDYES = 6, VER_PLATFORM_WIN32_NT = 2, VER_PLATFORM_WIN32_WINDOWS = 1,
    VER_PLATFORM_WIN32_CE = 3, WS_OVERLAPPED = 0, WS_POPUP = 2147483648, WS_CHILD = 1073741824,
    WS_VISIBLE = 268435456, WS_DISABLED = 134217728, WS_CLIPSIBLINGS = 67108864, WS_CLIPCHILDREN = 33554432,
    WS_CAPTION = 12582912, WS_BORDER = 8388608, WS_DLGFRAME = 4194304, WS_VSCROLL = 2097152,
    WS_HSCROLL = 1048576, WS_SYSMENU = 524288, WS_THICKFRAME = 262144, WS_GROUP = 131072, WS_TABSTOP = 65536,
    WS_MINIMIZEBOX = 131072, WS_MAXIMIZEBOX = 65536, WS_MINIMIZE = 536870912, WS_MAXIMIZE = 16777216,
    WS_TILED = 0, WS_ICONIC = 536870912, WS_SIZEBOX = 262144, WS_TILEDWINDOW = 13565952,
    WS_OVERLAPPEDWINDOW = 13565952, WS_POPUPWINDOW = 2156396544, SWP_DRAWFRAME = 32, SWP_FRAMECHANGED = 32,
    SWP_HIDEWINDOW = 128, SWP_NOACTIVATE = 16, SWP_NOCOPYBITS = 256, SWP_NOMOVE = 2, SWP_NOOWNERZORDER = 512,
    SWP_NOREPOSITION = 512, SWP_NOSIZE = 1, SWP_NOZORDER = 4, SWP_SHOWWINDOW = 64, SW_HIDE = 0, SW_SHOW = 5,
    SW_SHOWNA = 8, SW_SHOWNORMAL = 1, KEYEVENTF_EXTENDEDKEY = 1, KEYEVENTF_KEYUP = 2, KEYEVENTF_SILENT = 0,
    VK_NUMPAD0 = 96, VK_NUMPAD1 = 97, VK_NUMPAD2 = 98, VK_NUMPAD3 = 99, VK_NUMPAD4 = 100, VK_NUMPAD5 = 101,
    VK_NUMPAD6 = 102, VK_NUMPAD7 = 103, VK_NUMPAD8 = 104, VK_NUMPAD9 = 105, VK_MULTIPLY = 106, VK_ADD = 107,
    VK_SEPARATOR = 108, VK_SUBTRACT = 109, VK_DECIMAL = 110, VK_DIVIDE = 111, VK_F1 = 112, VK_F2 = 113,
    VK_F3 = 114, VK_F4 = 115, VK_F5 = 116, VK_F6 = 117, VK_F7 = 118, VK_F8 = 119, VK_F9 = 120, VK_F10 = 121,
    VK_F11 = 122, VK_F12 = 123, VK_F13 = 124, VK_F14 = 125, VK_F15 = 126, VK_F16 = 127, VK_F17 = 128,
    VK_F18 = 129, VK_F19 = 130, VK_F20 = 131, VK_F21 = 132, VK_F22 = 133, VK_F23 = 134, VK_F24 = 135,
    VK_LBUTTON = 1, VK_RBUTTON = 2, VK_CANCEL = 3, VK_BACK = 8, VK_TAB = 9, VK_CLEAR = 12, VK_RETURN = 13,
    VK_SHIFT = 16, VK_CONTROL = 17, VK_MENU = 18, VK_PAUSE = 19, VK_CAPITAL = 20, VK_ESCAPE = 27,
    VK_SPACE = 32, VK_PRIOR = 33, VK_NEXT = 34, VK_END = 35, VK_HOME = 36, VK_LEFT = 37, VK_UP = 38,
    VK_RIGHT = 39, VK_DOWN = 40, VK_SELECT = 41, VK_PRINT = 42, VK_EXECUTE = 43, VK_SNAPSHOT = 44,
    VK_INSERT = 45, VK_DELETE = 46, VK_HELP = 47, VK_NUMLOCK = 144, VK_SCROLL = 145, VK_TTALK = 114,
    VK_TEND = 115, VK_TVOLUMEUP = 117, VK_TVOLUMEDOWN = 118, VK_LSHIFT = 160, VK_RSHIFT = 161,
    VK_LCONTROL = 162, VK_RCONTROL = 163, VK_LMENU = 164, VK_RMENU = 165, HKEY_CLASSES_ROOT = 2147483648,
    HKEY_CURRENT_CONFIG = 2147483653, HKEY_CURRENT_USER = 2147483649, HKEY_LOCAL_MACHINE = 2147483650,
    HKEY_USERS = 2147483651, REG_BINARY = 3, REG_DWORD = 4, REG_DWORD_BIG_ENDIAN = 5, REG_EXPAND_SZ = 2,
    REG_MULTI_SZ = 7, REG_SZ = 1, WM_CREATE = 1, WM_DESTROY = 2, WM_CLOSE = 16, WM_QUIT = 18,
    WM_KEYDOWN = 256, WM_KEYUP = 257, COPY_FILE_OVERWRITE = 1, COPY_FILE_NO_OVERWRITE = 2, GW_CHILD = 5,
    GW_HWNDFIRST = 0, GW_HWNDLAST = 1, GW_HWNDNEXT = 2, GW_HWNDPREV = 3, GW_OWNER = 4, RASCS_OpenPort = 0,
    RASCS_PortOpened = 1, RASCS_ConnectDevice = 2, RASCS_DeviceConnected = 3, RASCS_AllDevicesConnected = 4,
    RASCS_Authenticate = 5, RASCS_AuthNotify = 6, RASCS_AuthRetry = 7, RASCS_AuthCallback = 8,
    RASCS_AuthChangePassword = 9, RASCS_AuthProject = 10, RASCS_AuthLinkSpeed = 11, RASCS_AuthAck = 12,
    RASCS_ReAuthenticate = 13, RASCS_Authenticated = 14, RASCS_PrepareForCallback = 15,
    RASCS_WaitForModemReset = 16, RASCS_WaitForCallback = 17, RASCS_Projected = 18, RASCS_Interactive = 4096,
    RASCS_RetryAuthentication = 4097, RASCS_CallbackSetByCaller = 4098, RASCS_PasswordExpired = 4099,
    RASCS_Connected = 8192, RASCS_Disconnected = 8193, MOD_NONE = 0, MOD_ALT = 1, MOD_ONESHOT = 8193,
    MOD_CONTROL = 2, MOD_NOREPEAT = 16384, MOD_SHIFT = 4, MOD_WIN = 8, CP_ACP = 0, CP_UTF8 = 65001,
}

local SIGNED = {
    GWL_EXSTYLE = -20, GWL_STYLE = -16, GWL_ID = -12, HWND_BOTTOM = 1, HWND_NOTOPMOST = -2, HWND_TOP = 0,
    HWND_TOPMOST = -1, SM_CXSCREEN = 0, SM_CYSCREEN = 1, SM_CXVSCROLL = 2, SM_CYHSCROLL = 3,
    SM_CYCAPTION = 4, SM_CXBORDER = 5, SM_CYBORDER = 6, SM_CXDLGFRAME = 7, SM_CYDLGFRAME = 8, SM_CXICON = 11,
    SM_CYICON = 12, SM_CYMENU = 15, SM_CXFULLSCREEN = 16, SM_CYFULLSCREEN = 17, SM_MOUSEPRESENT = 19,
    SM_CYVSCROLL = 20, SM_CXHSCROLL = 21, SM_DEBUG = 22, SM_CXDOUBLECLK = 36, SM_CYDOUBLECLK = 37,
    SM_CXICONSPACING = 38, SM_CYICONSPACING = 39, SM_CXEDGE = 45, SM_CYEDGE = 46, SM_CXSMICON = 49,
    SM_CYSMICON = 50, SM_XVIRTUALSCREEN = 76, SM_YVIRTUALSCREEN = 77, SM_CXVIRTUALSCREEN = 78,
    SM_CYVIRTUALSCREEN = 79, SM_CMONITORS = 80, SM_SAMEDISPLAYFORMAT = 81, SM_CXFIXEDFRAME = 7,
    SM_CYFIXEDFRAME = 8,
}

local FUNCTIONS = {
    "wince_oeminfo", "wince_platform", "version", "get_keybd_state", "keybd_event", "sleep", "msgbox", "exec",
    "send_message", "get_window_long", "set_window_long", "set_window_pos", "get_window_rect", "is_window_visible",
    "reg_set_value", "reg_get_value", "reg_delete_key", "reg_delete_value", "find_window", "show_window",
    "set_focus", "get_focus", "set_foreground_window", "get_foreground_window", "get_current_dir",
    "get_system_powerstatus", "get_system_powerstatus_ex", "dll_register_server", "dll_unregister_server",
    "sip_get_current_im", "sip_set_current_im", "warm_reset", "cold_reset", "suspend_system", "file_size", "mkdir",
    "rmdir", "copy_file", "move_file", "delete_file", "file_exist", "get_password", "clipboard_get",
    "clipboard_set", "create_shortcut", "sh_fullscreen", "string_to_keys", "enum_windows", "process_list",
    "process_modules", "terminate_process", "get_window", "get_window_text", "destroy_window",
    "wnet_add_connection", "usbfn_get_current_client", "usbfn_set_current_client", "usbfn_set_default_client",
    "crc16", "to_hex", "from_hex", "get_epoch_ms", "powermanager_reload_activity_timeouts", "shell_execute",
    "enable_window", "get_user_default_lcid", "set_user_default_lcid", "get_system_default_lcid",
    "set_system_default_lcid", "get_last_error", "print_on_printer", "serial_number", "get_system_metrics",
    "toggle_numlock", "ras_connections", "ras_entries", "ras_connect_status", "ras_dial", "ras_hangup",
    "get_net_adapters_info", "play_sound", "register_hotkey", "unregister_hotkey", "unregister_func1",
    "phone_makecall", "clear_browser_cache", "add_cert_to_store", "bitmap_info", "set_code_page", "get_code_page",
    "start_process", "wait_for_process", "wait_for_input_idle", "wait_for_window", "drives", "run_process",
}

TestModuleTable = {}

function TestModuleTable:test_holds_exactly_the_functions_and_constants()
    local functions, numbers, strings = 0, 0, 0
    for name, value in pairs(osbridge) do
        local t = type(value)
        if t == "function" then functions = functions + 1
        elseif t == "number" then numbers = numbers + 1
        elseif t == "string" then strings = strings + 1
        else lu.fail("unexpected field " .. name .. " of type " .. t) end
    end
    lu.assertEquals(functions, 96)
    lu.assertEquals(numbers, 273)
    lu.assertEquals(strings, 3)
    for _, name in ipairs(FUNCTIONS) do
        lu.assertIsFunction(osbridge[name], name)
    end
end

function TestModuleTable:test_shared_functions_are_one_value()
    lu.assertIs(osbridge.wince_platform, osbridge.wince_oeminfo)
    lu.assertIs(osbridge.wnet_add_connection, osbridge.wince_oeminfo)
    lu.assertIs(osbridge.get_system_powerstatus_ex, osbridge.get_system_powerstatus)
    lu.assertIs(osbridge.usbfn_set_default_client, osbridge.usbfn_set_current_client)
    lu.assertIs(osbridge.sh_fullscreen, osbridge.create_shortcut)
    lu.assertIs(osbridge.set_system_default_lcid, osbridge.set_user_default_lcid)
    lu.assertNotIs(osbridge.crc16, osbridge.to_hex)
end

function TestModuleTable:test_constant_values_and_signedness()
    for name, value in pairs(UNSIGNED) do
        lu.assertEquals(osbridge[name], value, name)
    end
    for name, value in pairs(SIGNED) do
        lu.assertEquals(osbridge[name], value, name)
    end
    lu.assertEquals(osbridge.HKEY_LOCAL_MACHINE, 2147483650)
    lu.assertEquals(osbridge.WS_POPUP, 2147483648)
    lu.assertEquals(osbridge.HWND_TOPMOST, -1)
    lu.assertEquals(osbridge.GWL_EXSTYLE, -20)
    lu.assertEquals(osbridge.KEYEVENTF_SILENT, 0)
    lu.assertEquals(osbridge.MOD_ONESHOT, 0x2001)
end

function TestModuleTable:test_code_page_choice_and_its_errors()
    lu.assertEquals(osbridge.get_code_page(), osbridge.CP_ACP)
    lu.assertEquals(osbridge.set_code_page(osbridge.CP_UTF8), 0)
    lu.assertEquals(osbridge.get_code_page(), 65001)
    lu.assertEquals(osbridge.set_code_page(932), 65001)
    lu.assertEquals(osbridge.set_code_page("1252"), 932)
    lu.assertEquals(osbridge.set_code_page(0), 1252)
    lu.assertEquals(osbridge.get_code_page(), 0)
    local support = require "support"
    for _, bad in ipairs({ 1, 12345, -1, 65001.5, 2 ^ 32 + 65001, "65001x" }) do
        local problem = type(bad) == "number" and "no code page of this system: " .. tostring(bad)
                        or "number expected, got string"
        support.assert_argument_error(1, problem, osbridge.set_code_page, bad)
        lu.assertEquals(osbridge.get_code_page(), 0, tostring(bad))
    end
    support.assert_argument_error(1, "number expected, got no value", osbridge.set_code_page)
    support.assert_argument_error(1, "number expected, got table", osbridge.set_code_page, {})
    lu.assertEquals(osbridge.get_code_page(), 0)
end

function TestModuleTable:test_version_fields()
    lu.assertEquals(osbridge._VERSION, "1.0.42")
    lu.assertEquals(_VERSION, "Lua " .. (os.getenv("OSB_LUA_VERSION") or "5.1"))
    lu.assertStrMatches(osbridge._BUILD, "%$Id: osbridge 321 2014%-01%-21 10:18:13Z %a+ %$")
    lu.assertEquals(osbridge._TIMESTAMP, "Fri Feb  7 11:00:41 2014")
end

function TestModuleTable:test_loader_returns_nothing_and_reloads_into_the_same_table()
    local before = osbridge
    local open = package.loadlib(BUILD_DIR .. "\\osbridge.dll", "luaopen_osbridge")
    lu.assertIsFunction(open)
    osbridge.MB_OK = 0xdeadbeef
    -- The state keeps one code page, whatever loads the module again.
    local kept = osbridge.get_code_page
    osbridge.set_code_page(osbridge.CP_UTF8)
    lu.assertEquals(select("#", open("osbridge")), 0)
    lu.assertIs(osbridge, before)
    lu.assertEquals(osbridge.MB_OK, 0)
    lu.assertEquals({ kept(), osbridge.get_code_page() }, { 65001, 65001 })
    osbridge.set_code_page(0)

    package.loaded.osbridge = nil
    lu.assertIs(require "osbridge", before)
    lu.assertIs(package.loaded.osbridge, before)
end

function TestModuleTable:test_unimplemented_names_do_not_crash()
    -- Every function survives being called without arguments where that is
    -- not an argument error.
    for _, name in ipairs({ "wince_oeminfo", "get_system_powerstatus", "usbfn_get_current_client", "from_hex",
                            "get_last_error", "create_shortcut", "phone_makecall", "get_net_adapters_info" }) do
        lu.assertTrue(pcall(osbridge[name]), name)
    end
end

-- The system libraries that only a few functions need are loaded by the
-- first call that needs one, each seen in a fresh interpreter. Each case:
-- the library, a call that needs it, and what the call gives when the
-- library cannot be loaded (the system's ERROR_MOD_NOT_FOUND, 126). gdi32,
-- which bitmap_info loads likewise, is not here: Wine's user32, which the
-- module cannot do without, loads it too.
local LATE = {
    { "winspool.drv", "with_code(osbridge.print_on_printer('osbridge no such printer', 'data'))",
      "3 false OpenPrinter() error 126" },
    { "rasapi32.dll", "osbridge.ras_entries()", "2 nil 126" },
    { "rasapi32.dll", "osbridge.ras_connections()", "2 nil 126" },
    { "rasapi32.dll", "osbridge.ras_connect_status(nil)", "2 nil 126" },
    { "rasapi32.dll", "osbridge.ras_dial('osbridge no such entry')", "2 false 126" },
    { "rasapi32.dll", "osbridge.ras_hangup(nil)", "1 126" },
    { "wininet.dll", "osbridge.clear_browser_cache()", "2 false FindFirstUrlCacheEntry() failed, error: 126" },
    { "crypt32.dll", "osbridge.add_cert_to_store('not a certificate')",
      "2 false CertAddEncodedCertificateToStore() error: 0x7e" },
    { "winmm.dll", "osbridge.play_sound('osbridge no such sound.wav', 2)", "1 false" },
}
-- A copy of the interpreter that Wine refuses those libraries, through its
-- per-program settings in the registry (keyed by the program's file name).
local REFUSING_HOST = "osbridge-late-refused.exe"
local REFUSING_KEY = "Software\\Wine\\AppDefaults\\" .. REFUSING_HOST
local CHILD = BUILD_DIR .. "\\late-child.lua"

-- Runs each case's call in a fresh interpreter `host` (a program in
-- BUILD_DIR); one line per case: whether its library was loaded before the
-- call, the call's result count and results, whether it was loaded after.
local function late_calls(host)
    local lines = {
        ("package.cpath = [[%s\\?.dll]]"):format(BUILD_DIR),
        ("local loaded = assert(package.loadlib([[%s\\cptext.dll]], 'luaopen_cptext'))().loaded"):format(FIXTURE_BIN),
        "require 'osbridge'",
        "local function show(...) local t = { select('#', ...), ... } "
            .. "for i = 2, t[1] + 1 do t[i] = tostring(t[i]) end return table.concat(t, ' ') end",
        -- Two results and the code of the thread's last error after them.
        "local function with_code(a, b) return a, b, osbridge.get_last_error():match('(%d+)%)$') end",
    }
    for _, case in ipairs(LATE) do
        lines[#lines + 1] = ("print(loaded(%q), show(%s), loaded(%q))"):format(case[1], case[2], case[1])
    end
    local f = assert(io.open(CHILD, "w"))
    f:write(table.concat(lines, "\n"), "\n")
    f:close()
    local out = {}
    for line in require("support").run(('"%s\\%s" "%s"'):format(BUILD_DIR, host, CHILD)):gmatch("[^\n]+") do
        out[#out + 1] = line
    end
    return out
end

TestLateLibraries = {}

function TestLateLibraries:tearDown()
    os.remove(CHILD)
    os.remove(BUILD_DIR .. "\\" .. REFUSING_HOST)
    osbridge.reg_delete_key(osbridge.HKEY_CURRENT_USER, REFUSING_KEY .. "\\DllOverrides")
    osbridge.reg_delete_key(osbridge.HKEY_CURRENT_USER, REFUSING_KEY)
end

function TestLateLibraries:test_loaded_by_the_first_call_that_needs_one()
    local out = late_calls(require("support").interpreter)
    for i, case in ipairs(LATE) do
        -- Later calls find their library loaded by an earlier one.
        local first = i == 1 or LATE[i - 1][1] ~= case[1]
        local before, after = (out[i] or ""):match("^(%a+)\t.*\t(%a+)$")
        lu.assertEquals({ before, after }, { tostring(not first), "true" }, case[2] .. ": " .. tostring(out[i]))
    end
end

function TestLateLibraries:test_missing_library_gives_the_failure_result()
    local host = require("support").interpreter
    local from = assert(io.open(BUILD_DIR .. "\\" .. host, "rb"))
    local to = assert(io.open(BUILD_DIR .. "\\" .. REFUSING_HOST, "wb"))
    to:write(from:read("*a"))
    from:close()
    to:close()
    for _, case in ipairs(LATE) do
        -- An empty value: the library is disabled for that program.
        lu.assertTrue(osbridge.reg_set_value(osbridge.HKEY_CURRENT_USER, REFUSING_KEY .. "\\DllOverrides",
                                             case[1]:gsub("%.dll$", ""), "", osbridge.REG_SZ))
    end
    local out = late_calls(REFUSING_HOST)
    for i, case in ipairs(LATE) do
        lu.assertEquals(out[i], "false\t" .. case[3] .. "\tfalse", case[2])
    end
end

-- What stays the same under every Lua: the global and require's result, whole
-- numbers as integers where the version has them (5.3 on), fractional
-- arguments truncated toward zero, and 32-bit values read alike by every host.
TestLuaVersions = {}

function TestLuaVersions:test_require_sets_the_global_and_returns_the_table()
    local before = osbridge
    package.loaded.osbridge, osbridge = nil, nil
    local ok, results = pcall(function() return { require "osbridge" } end)
    local set, loaded = osbridge, package.loaded.osbridge
    osbridge, package.loaded.osbridge = before, before
    lu.assertTrue(ok, results)
    lu.assertIsTable(set)
    lu.assertNotIs(set, before)
    lu.assertIs(loaded, set)
    lu.assertIs(results[1], set)
    -- 5.4 and later add where the loader came from.
    lu.assertTrue(results[2] == nil or results[2]:lower():find("osbridge.dll", 1, true) ~= nil, results[2])
end

function TestLuaVersions:test_whole_numbers_are_integers()
    local values = {
        VK_F1 = osbridge.VK_F1, WS_POPUP = osbridge.WS_POPUP, HWND_TOPMOST = osbridge.HWND_TOPMOST,
        get_epoch_ms = osbridge.get_epoch_ms(), get_system_metrics = osbridge.get_system_metrics(0),
        get_user_default_lcid = osbridge.get_user_default_lcid(),
        exec = select(2, osbridge.exec(nil, "cmd /c exit 7", 1)),
        file_size = osbridge.file_size(BUILD_DIR .. "\\osbridge.dll"),
        process_list = osbridge.process_list()[0].pid,
    }
    for name, value in pairs(values) do
        lu.assertEquals(value % 1, 0, name)
        lu.assertEquals(math.type and math.type(value) or "integer", "integer", name)
    end
    lu.assertEquals({ tostring(osbridge.VK_F1), tostring(osbridge.WS_POPUP), osbridge.to_hex(osbridge.VK_F1) },
                    { "112", "2147483648", "313132" })
end

function TestLuaVersions:test_fractional_arguments_are_truncated()
    -- Lenient, strict and optional integer reads, against the same call
    -- with the whole number.
    local rows = {
        { "exec", { nil, "cmd /c exit 7", 1.75 }, 1 },
        { "get_system_metrics", { 1.75 }, 1 },
        { "get_system_metrics", { -0.75 }, 0 },
        { "string_to_keys", { "", nil, 1.75 }, 1 },
    }
    for _, row in ipairs(rows) do
        local name, args, whole = row[1], row[2], row[3]
        local n = table.maxn(args)
        local with_whole = { unpack(args, 1, n) }
        with_whole[n] = whole
        lu.assertEquals({ osbridge[name](unpack(args, 1, n)) }, { osbridge[name](unpack(with_whole, 1, n)) },
                        name .. " " .. args[n])
    end
end

-- Numbers beyond 32 bits reach the system as their low 32 bits under every
-- host, whatever the host's own conversion makes of them (many 32-bit builds
-- give 0x80000000), and from 5.3 on integers beyond 2^53, and strings that
-- read as such, without a detour through a double. A choice (copy_file's
-- mode, exec's wait) is read on its whole value: 2^32 + 1 is no 1.
function TestLuaVersions:test_32_bit_values_are_the_low_bits_on_every_host()
    local support, driver, fixture = require "support", require "ui.driver", require "windows.fixture"
    local w = fixture.start()
    local host = BUILD_DIR .. "\\" .. support.interpreter
    -- The exit code of a child interpreter that terminates itself with `code`
    -- (its id: the parent of a child of its own; Wine on ARM64 lists no modules).
    local function exit_code(code)
        local line = ('"%s" -e "package.cpath=[[%s\\?.dll]] require[[osbridge]] '
                      .. 'local c, l = osbridge.start_process[[\\"%s\\" 0 60000]], osbridge.process_list() '
                      .. 'osbridge.terminate_process(c.pid, 0) '
                      .. 'for i = 0, #l do if l[i].pid == c.pid then osbridge.terminate_process(l[i].pid_parent, %s) end end"')
                     :format(host, BUILD_DIR, FIXTURE_BIN .. "\\proc_child.exe", code)
        return select(2, osbridge.exec(host, line, 1))
    end
    -- The buttons of the box that msgbox shows for `style`.
    local function buttons(style)
        local seen = driver.around({ "find Low bits", "press 2", "gone" }, osbridge.msgbox, "style", "Low bits", style)
        local ids = {}
        for key in pairs(seen) do ids[#ids + 1] = tonumber(key:match("^button(%d+)$")) end
        table.sort(ids)
        return table.concat(ids, " ")
    end
    local keep = osbridge.SWP_NOMOVE + osbridge.SWP_NOSIZE + osbridge.SWP_NOACTIVATE
    local from, to = BUILD_DIR .. "\\low-bits-from.txt", BUILD_DIR .. "\\low-bits-to.txt"
    for _, path in ipairs({ from, to }) do assert(io.open(path, "w")):close() end
    local key = "Software\\osbridge-tests-low-bits"
    local function dword(value)
        osbridge.reg_set_value(osbridge.HKEY_CURRENT_USER, key, "n", value)
        return osbridge.reg_get_value(osbridge.HKEY_CURRENT_USER, key, "n")
    end

    local rows = {
        { "terminate_process 3221225477", function() return exit_code("3221225477") end, 3221225477 },
        { "terminate_process -1879048192", function() return exit_code("-1879048192") end, 2415919104 },
        { "msgbox style 2^32 + MB_OKCANCEL", function() return buttons(4294967297) end, "1 2" },
        { "send_message 2^32 + WM_USER+1", function() return osbridge.send_message(w.main, 4294968321, 0, 9) end, 9 },
        { "set_window_pos position, size, flags", function()
            osbridge.set_window_pos(w.main, 0, 4294967306, -4294967276, 4294967596, 200, 4294967296 + osbridge.SWP_NOZORDER)
            return table.concat({ osbridge.get_window_rect(w.main) }, " ")
        end, "10 20 310 220" },
        { "set_window_pos after 2^32 + HWND_BOTTOM", function()
            osbridge.set_window_pos(w.main, osbridge.HWND_TOP, 0, 0, 0, 0, keep)
            osbridge.set_window_pos(w.main, 4294967297, 0, 0, 0, 0, keep)
            return osbridge.get_window(w.main, osbridge.GW_HWNDNEXT) == nil
        end, true },
        { "set_window_pos after 4294967295 (HWND_TOPMOST)", function()
            return osbridge.set_window_pos(w.main, 4294967295, 0, 0, 0, 0, keep) ~= 0
                   and osbridge.set_window_pos(w.main, osbridge.HWND_NOTOPMOST, 0, 0, 0, 0, keep) ~= 0
        end, true },
        { "copy_file mode 2^32 + 1", function() return osbridge.copy_file(from, to, 4294967297) end, false },
        { "copy_file mode -2^32 + 1", function() return osbridge.copy_file(from, to, -4294967295) end, false },
        { "exec wait 2^32", function() return select(2, osbridge.exec(nil, "cmd /c exit 7", 4294967296)) end, 7 },
        { "get_system_metrics 2^32", function() return osbridge.get_system_metrics(4294967296) end,
          osbridge.get_system_metrics(0) },
        { "get_keybd_state 2^32", function() return select("#", osbridge.get_keybd_state(4294967296)) end, 0 },
    }
    if math.maxinteger then
        rows[#rows + 1] = { "reg_set_value math.maxinteger", function() return dword(math.maxinteger) end, 4294967295 }
        rows[#rows + 1] = { "reg_set_value math.mininteger + 7", function() return dword(math.mininteger + 7) end, 7 }
        rows[#rows + 1] = { 'reg_set_value "9007199254740993"', function() return dword("9007199254740993") end, 1 }
        rows[#rows + 1] = { 'reg_set_value "0x7fffffffffffffff"', function() return dword("0x7fffffffffffffff") end,
                            4294967295 }
        rows[#rows + 1] = { "exec wait math.mininteger", function()
            return select(2, osbridge.exec(nil, "cmd /c exit 7", math.mininteger))
        end, 7 }
    end
    local wrong = {}
    for _, row in ipairs(rows) do
        local ran, got = pcall(row[2])
        if not ran or got ~= row[3] then
            wrong[#wrong + 1] = ("%s: %s, expected %s"):format(row[1], tostring(got), tostring(row[3]))
        end
    end
    w:close()
    os.remove(from)
    os.remove(to)
    osbridge.reg_delete_value(osbridge.HKEY_CURRENT_USER, key, "n")
    osbridge.reg_delete_key(osbridge.HKEY_CURRENT_USER, key)
    lu.assertEquals(wrong, {})
end
