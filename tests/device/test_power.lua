-- Sleeping, the device services absent from the desktop, the fixed answers,
-- and the power manager's time-out event as another process sees it.

local function count(...) return select("#", ...), ... end

TestDevicePower = {}

-- How much longer than asked a sleep takes depends on the machine's load, so
-- only the lower bound is checked here; power_test.cpp checks the exact
-- count each argument hands to the system.
function TestDevicePower:test_sleep_waits_and_returns_nothing()
    local before = osbridge.get_epoch_ms()
    lu.assertEquals(count(osbridge.sleep(120)), 0)
    local waited = osbridge.get_epoch_ms() - before
    lu.assertTrue(waited >= 100, "slept " .. waited .. " ms for 120")
end

function TestDevicePower:test_sleep_odd_counts_return()
    -- Negative counts must not turn into the endless wait.
    for _, ms in ipairs { 0, 1.9, "0", -1, -0.5, -4294967295, 0 / 0 } do
        lu.assertEquals(count(osbridge.sleep(ms)), 0, tostring(ms))
    end
end

function TestDevicePower:test_sleep_argument_errors()
    lu.assertErrorMsgContains("number expected, got no value", osbridge.sleep)
    lu.assertErrorMsgContains("number expected, got string", osbridge.sleep, "a while")
    lu.assertErrorMsgContains("number expected, got nil", osbridge.sleep, nil, 5)
end

function TestDevicePower:test_services_absent_from_the_desktop()
    for _, name in ipairs { "suspend_system", "warm_reset", "cold_reset" } do
        lu.assertEquals(count(osbridge[name]()), 0, name)
    end
    lu.assertEquals({ count(osbridge.sip_get_current_im()) }, { 1, nil })
    lu.assertEquals({ count(osbridge.sip_set_current_im("{42429667-AE04-11D0-A4F8-00AA00A749B9}")) }, { 1, false })
    lu.assertEquals({ count(osbridge.sip_set_current_im("")) }, { 1, false })
    lu.assertErrorMsgContains("string expected, got no value", osbridge.sip_set_current_im)
    lu.assertErrorMsgContains("string expected, got table", osbridge.sip_set_current_im, {})
end

function TestDevicePower:test_fixed_answers()
    lu.assertEquals({ count(osbridge.get_system_powerstatus()) }, { 1, 50 })
    lu.assertEquals({ count(osbridge.get_system_powerstatus_ex("ignored")) }, { 1, 50 })
    lu.assertEquals({ count(osbridge.usbfn_get_current_client()) }, { 2, nil, nil })
    for _, name in ipairs { "usbfn_set_current_client", "usbfn_set_default_client", "wince_oeminfo",
                            "wince_platform", "wnet_add_connection" } do
        lu.assertEquals(count(osbridge[name](1, "x")), 0, name)
    end
end

function TestDevicePower:test_reload_event_reaches_a_waiting_process()
    local support = require "support"
    local waiter = support.start(('"%s\\power_event_waiter.exe" 2'):format(FIXTURE_BIN))
    local function line(n)
        return support.wait_until(function() return support.file_line(waiter.output, n) end)
            or "(nothing in 60 s)"
    end
    local ready = line(1)
    local results, seen = {}, {}
    if ready == "ready" then
        -- One signal at a time: an auto-reset event would merge two quick ones.
        for i = 1, 2 do
            results[i] = { count(osbridge.powermanager_reload_activity_timeouts()) }
            seen[i] = line(i + 1)
        end
    end
    waiter:close()
    lu.assertEquals(ready, "ready")
    lu.assertEquals(results, { { 2, true, nil }, { 2, true, nil } })
    lu.assertEquals(seen, { "signalled", "signalled" })
end
