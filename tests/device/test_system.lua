-- Locales, system metrics, the machine identifier, and self-registration of
-- component libraries (copies of a fixture library that answer by file name).

local function count(...) return select("#", ...), ... end

local read_file = require("support").read_file

TestDeviceLocale = {}

function TestDeviceLocale:test_defaults_are_locale_numbers()
    for _, name in ipairs { "get_user_default_lcid", "get_system_default_lcid" } do
        local n, lcid = count(osbridge[name]())
        lu.assertEquals(n, 1, name)
        lu.assertTrue(type(lcid) == "number" and lcid > 0 and lcid < 0x100000 and lcid % 1 == 0,
                      name .. " gave " .. tostring(lcid))
    end
end

function TestDeviceLocale:test_setters_change_nothing()
    local user, system = osbridge.get_user_default_lcid(), osbridge.get_system_default_lcid()
    for _, name in ipairs { "set_user_default_lcid", "set_system_default_lcid" } do
        lu.assertEquals({ count(osbridge[name]()) }, { 2, false, nil }, name)
        lu.assertEquals({ count(osbridge[name](1031)) }, { 2, false, nil }, name)
    end
    lu.assertEquals(osbridge.get_user_default_lcid(), user)
    lu.assertEquals(osbridge.get_system_default_lcid(), system)
end

TestDeviceMetrics = {}

function TestDeviceMetrics:test_screen_size()
    -- The test display is 1280x1024.
    lu.assertEquals({ count(osbridge.get_system_metrics(osbridge.SM_CXSCREEN)) }, { 1, 1280 })
    lu.assertEquals(osbridge.get_system_metrics(1), 1024)
    lu.assertEquals(osbridge.get_system_metrics("0"), 1280)
    lu.assertEquals(osbridge.get_system_metrics(100000), 0)
    lu.assertEquals(osbridge.get_system_metrics(-1), 0)
end

function TestDeviceMetrics:test_argument_errors()
    lu.assertErrorMsgContains("number expected, got no value", osbridge.get_system_metrics)
    lu.assertErrorMsgContains("number expected, got string", osbridge.get_system_metrics, "width")
end

TestDeviceSerial = {}

function TestDeviceSerial:test_form_and_stability()
    local n, serial = count(osbridge.serial_number())
    lu.assertEquals(n, 1)
    lu.assertStrMatches(serial, ("[0-9A-F]"):rep(32))
    lu.assertEquals(osbridge.serial_number("ignored"), serial)
end

TestDeviceRegistration = {}

local fixture = BUILD_DIR .. "\\fixtures\\regserver.dll"

-- A copy of the fixture library whose name selects its answer. A loaded
-- library stays loaded, so each answer needs its own file; the copies are
-- rewritten on each run and stay until the process ends.
local function component(answer)
    local path = BUILD_DIR .. "\\fixtures\\regserver_" .. answer .. ".dll"
    local f = io.open(path, "wb")
    if f then
        f:write(assert(read_file(fixture), "fixture library missing"))
        f:close()
    end
    os.remove(path .. ".calls")
    return path
end

function TestDeviceRegistration:tearDown()
    for _, answer in ipairs { "ok", "false", "fail" } do
        os.remove(BUILD_DIR .. "\\fixtures\\regserver_" .. answer .. ".dll.calls")
    end
end

function TestDeviceRegistration:test_only_s_ok_counts()
    local cases = { ok = true, ["false"] = false, fail = false }
    for answer, expected in pairs(cases) do
        local path = component(answer)
        lu.assertEquals({ count(osbridge.dll_register_server(path)) }, { 1, expected }, answer)
        lu.assertEquals({ count(osbridge.dll_unregister_server(path)) }, { 1, expected }, answer)
        -- The library stays loaded: a second call reaches it again.
        lu.assertEquals(osbridge.dll_register_server(path), expected, answer)
        lu.assertEquals(read_file(path .. ".calls"), "DllRegisterServer\nDllUnregisterServer\nDllRegisterServer\n",
                        answer)
    end
end

function TestDeviceRegistration:test_path_cut_at_zero_byte()
    local path = component("ok")
    lu.assertTrue(osbridge.dll_register_server(path .. "\0ignored"))
end

function TestDeviceRegistration:test_libraries_that_cannot_answer()
    lu.assertFalse(osbridge.dll_register_server(BUILD_DIR .. "\\" .. LUA_DLL))  -- no entry points
    lu.assertFalse(osbridge.dll_unregister_server(BUILD_DIR .. "\\" .. LUA_DLL))
    lu.assertFalse(osbridge.dll_register_server(BUILD_DIR .. "\\no such library.dll"))
    lu.assertFalse(osbridge.dll_register_server(123))  -- a number is a path: "123"
    lu.assertEquals({ count(osbridge.dll_unregister_server("")) }, { 1, false })
    lu.assertFalse(osbridge.dll_register_server("\0" .. fixture))
end

function TestDeviceRegistration:test_argument_errors()
    lu.assertErrorMsgContains("string expected, got no value", osbridge.dll_register_server)
    lu.assertErrorMsgContains("string expected, got table", osbridge.dll_unregister_server, {})
end
