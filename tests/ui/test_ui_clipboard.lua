-- The clipboard through Wine's real one, checked from another process by
-- fixtures/ui_driver.exe, which lists the formats and the raw blocks.
local driver = require "ui.driver"
local texts = require "texts"

local function outside(...)
    return driver.run({ ... })
end

-- The formats on the clipboard in the order they were put there (formats
-- the system synthesizes from them come after).
local function formats(seen)
    local list = {}
    for f in seen.formats[1]:gmatch("%d+") do list[#list + 1] = tonumber(f) end
    return list
end

TestUiClipboard = {}

function TestUiClipboard.test_plain_text_is_cf_text_with_terminator()
    lu.assertTrue(osbridge.clipboard_set("abc"))
    local seen = outside("clip")
    lu.assertEquals(formats(seen)[1], 1)
    lu.assertEquals(seen.data1, { "61626300" })
    lu.assertEquals(osbridge.clipboard_get(), "abc")
end

function TestUiClipboard.test_any_boolean_asks_for_unicode()
    for _, flag in ipairs({ true, false }) do
        lu.assertTrue(osbridge.clipboard_set("abc", flag))
        local seen = outside("clip")
        lu.assertEquals(formats(seen)[1], 13, "with " .. tostring(flag))
        lu.assertEquals(seen.data13, { "6100620063000000" })
        lu.assertEquals(osbridge.clipboard_get(), "abc")
    end
end

function TestUiClipboard.test_text_of_the_code_page()
    local function hex(bytes) return (bytes:gsub(".", function(c) return ("%02x"):format(c:byte()) end)) end
    for _, s in ipairs(texts) do
        lu.assertTrue(osbridge.clipboard_set(s.ansi))
        lu.assertEquals(outside("clip").data1, { hex(s.ansi) .. "00" }, s.utf8)
        lu.assertEquals(osbridge.clipboard_get(), s.ansi)
        -- UTF-16 on request; where the text has fewer units than bytes, zero
        -- units fill the rest of the block.
        lu.assertTrue(osbridge.clipboard_set(s.ansi, true))
        local text = texts.utf16_hex(s.utf8) .. "0000"
        local stored = outside("clip").data13[1]
        lu.assertEquals(stored:sub(1, #text), text, s.utf8)
        lu.assertNotNil(stored:sub(#text + 1):match("^0*$"), s.utf8)
        -- Read back as UTF-16 and converted with the process's code page: the
        -- system would convert with the clipboard locale's, which a UTF-8
        -- host does not share.
        lu.assertEquals(osbridge.clipboard_get(), s.ansi, "as UTF-16 text: " .. s.utf8)
    end
end

function TestUiClipboard.test_texts_beyond_the_ansi_code_page_in_utf8()
    texts.in_utf8(function()
        for _, text in ipairs(texts.unicode) do
            -- Always UTF-16, with or without the flag.
            for _, flag in ipairs({ nil, true }) do
                lu.assertTrue(osbridge.clipboard_set(text, flag), text)
                local seen = outside("clip")
                local stored = texts.utf16_hex(text) .. "0000"
                lu.assertEquals({ formats(seen)[1], seen.data13[1]:sub(1, #stored) }, { 13, stored }, text)
                lu.assertEquals(osbridge.clipboard_get(), text)
            end
        end
        -- Text that is no UTF-8 leaves the clipboard as it was.
        lu.assertTrue(osbridge.clipboard_set("keep"))
        for _, bad in ipairs(texts.invalid_utf8) do
            lu.assertFalse(osbridge.clipboard_set(bad), bad)
            lu.assertFalse(osbridge.clipboard_set(bad, true), bad)
        end
        lu.assertEquals(osbridge.clipboard_get(), "keep")
    end)
    -- Text put there as ANSI comes back through UTF-16 in UTF-8.
    lu.assertTrue(osbridge.clipboard_set("plain"))
    lu.assertEquals(texts.in_utf8(osbridge.clipboard_get), "plain")
end

function TestUiClipboard.test_second_string_or_number_is_the_text()
    lu.assertTrue(osbridge.clipboard_set("first", "second"))
    lu.assertEquals(osbridge.clipboard_get(), "second")
    lu.assertEquals(formats(outside("clip"))[1], 1)
    lu.assertTrue(osbridge.clipboard_set(42.5))
    lu.assertEquals(osbridge.clipboard_get(), "42.5")
    lu.assertTrue(osbridge.clipboard_set("first", 7, true))
    lu.assertEquals(formats(outside("clip"))[1], 13)
    lu.assertEquals(osbridge.clipboard_get(), "7")
end

function TestUiClipboard.test_no_text_leaves_the_clipboard_alone()
    lu.assertTrue(osbridge.clipboard_set("keep"))
    lu.assertFalse(osbridge.clipboard_set(""))
    lu.assertFalse(osbridge.clipboard_set(nil))
    lu.assertFalse(osbridge.clipboard_set({}))
    lu.assertFalse(osbridge.clipboard_set())
    lu.assertFalse(osbridge.clipboard_set("", true))
    lu.assertEquals(osbridge.clipboard_get(), "keep")
end

function TestUiClipboard.test_embedded_nul_bytes()
    -- CF_TEXT holds every byte; a reader stops at the NUL.
    lu.assertTrue(osbridge.clipboard_set("ab\0cd"))
    local seen = outside("clip")
    lu.assertEquals(seen.data1, { "616200636400" })
    lu.assertEquals(osbridge.clipboard_get(), "ab")
    -- UTF-16 converts up to the NUL; the rest of the block stays zero.
    lu.assertTrue(osbridge.clipboard_set("ab\0cd", true))
    seen = outside("clip")
    lu.assertEquals(seen.data13, { "610062000000000000000000" })
end

function TestUiClipboard.test_leading_nul_in_unicode_fails_and_empties()
    lu.assertTrue(osbridge.clipboard_set("before"))
    lu.assertFalse(osbridge.clipboard_set("\0x", true))
    lu.assertEquals(formats(outside("clip")), {})
    lu.assertNil(osbridge.clipboard_get())
end

function TestUiClipboard.test_get_without_text_gives_nil()
    local seen = outside("clipput")
    lu.assertEquals(seen.clipput, { "ok" })
    lu.assertNil(osbridge.clipboard_get())
end

function TestUiClipboard.test_clipboard_held_elsewhere()
    lu.assertTrue(osbridge.clipboard_set("kept"))
    -- Held until collect() tells the driver that these calls are over.
    driver.begin({ "clipholdopen" })
    lu.assertEquals(driver.read_line(), "held=yes")
    local set, got = osbridge.clipboard_set("lost"), osbridge.clipboard_get()
    driver.collect()
    lu.assertFalse(set)
    lu.assertNil(got)
    lu.assertEquals(osbridge.clipboard_get(), "kept")
end

function TestUiClipboard.test_a_userdata_first_is_the_owner()
    -- A full userdata names no window: the clipboard cannot be opened for it,
    -- so nothing changes, and the text is taken from argument 2.
    lu.assertTrue(osbridge.clipboard_set("kept"))
    lu.assertFalse(osbridge.clipboard_set(io.stdout, "other"))
    lu.assertFalse(osbridge.clipboard_set(io.stdout, "other", true))
    lu.assertEquals(osbridge.clipboard_get(), "kept")
    lu.assertNil(osbridge.clipboard_get(io.stdout))
end

function TestUiClipboard.test_memory_error_in_get_reaches_the_host_as_one()
    -- fixtures/threads_host.exe, a C host of the run's Lua (found on PATH),
    -- runs out of memory at each allocation of the call in turn.
    local report = require("support").run(('cmd /c set "PATH=%s;%%PATH%%" && "%s\\threads_host.exe" "%s" 0 memory'):format(
        BUILD_DIR, FIXTURE_BIN, BUILD_DIR))
    lu.assertStrContains(report, "done, 0 failed", false, report)
end

-- Runs `action` at every event of a kind from the `first` on, until the
-- returned function stops it: each call ("hook"), or each collection cycle
-- ("finalizer"; the collector then runs a whole cycle at every allocation).
local function script_inside(kind, first, action)
    local events, active = 0, true
    local function event()
        events = events + 1
        if active and events >= first then action() end
    end
    if kind == "hook" then
        debug.sethook(event, "c")
        return function() debug.sethook(); active = false end
    end
    local function arm()
        local function finalize() event(); if active then arm() end end
        if newproxy then
            getmetatable(newproxy(true)).__gc = finalize
        else
            setmetatable({}, { __gc = finalize })
        end
    end
    local pause, stepmul = collectgarbage("setpause", 0), collectgarbage("setstepmul", 1000000)
    collectgarbage() -- sets the next cycle's threshold with the new pause
    local function stop()
        active = false
        collectgarbage("setpause", pause)
        collectgarbage("setstepmul", stepmul)
        collectgarbage()
    end
    -- Nothing allocates from here to the call, so its first allocation is
    -- the first event.
    arm()
    return stop
end

function TestUiClipboard.test_script_inside_get_replaces_the_clipboard()
    -- The block is freed under the call; its text must come back whole.
    -- The same window opens the clipboard for both, so the script's call
    -- gets through while the clipboard is open.
    local big, window = ("A"):rep(2000000), osbridge.get_foreground_window()
    -- A collection cycle at every allocation is what 5.1 gives with these
    -- settings; 5.2 runs a finalizer in the call only before the text is
    -- read, 5.4 caps the step multiplier, and 5.3 takes minutes.
    local kinds = _VERSION == "Lua 5.1" and { "hook", "finalizer" } or { "hook" }
    for _, kind in ipairs(kinds) do
        for _, unicode in ipairs({ false, true }) do
            local case = kind .. (unicode and ", UTF-16" or ", ANSI")
            -- Which event of the call comes after the text is read depends on
            -- the state, which each try changes (the call's own is a hook's
            -- first; a stack that grows at the call allocates): the script
            -- acts from the first, the second, the third event, and again,
            -- until it has acted after the read. (Compared here: LuaUnit's
            -- message for a 2 MB text takes minutes.)
            local replaced_during_call, calling
            for try = 0, 8 do
                local first = try % 3 + 1
                lu.assertTrue(osbridge.clipboard_set(window, big, unicode or nil), case)
                local stop = script_inside(kind, first, function()
                    if calling then osbridge.clipboard_set(window, "small") end
                end)
                calling = true
                local got = osbridge.clipboard_get(window)
                calling = false
                stop()
                lu.assertTrue(got == big or got == "small", ("%s: a mixture came back (%s)")
                              :format(case, type(got) == "string" and #got .. " bytes" or tostring(got)))
                replaced_during_call = got == big and osbridge.clipboard_get() == "small"
                if replaced_during_call then break end
            end
            lu.assertTrue(replaced_during_call, case .. ": the script never replaced the text during the call")
        end
    end
end
