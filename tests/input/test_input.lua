-- Synthesized key events, typing strings, key state and hot keys. The keys
-- go to the focused window: a test window that takes the foreground and
-- reports what its edit control receives.

local fixture = require "windows.fixture"
local texts = require "texts"
local support = require "support"

local function count(...) return select("#", ...) end

local CTRL_ALT = osbridge.MOD_CONTROL + osbridge.MOD_ALT

local function assert_failure(ok, text, ...)
    lu.assertEquals(count(...), 0)
    lu.assertFalse(ok)
    lu.assertStrMatches(text, ".+ %(%d+%)")
end

local PRINTABLE = {}
for c = 32, 126 do PRINTABLE[#PRINTABLE + 1] = string.char(c) end
PRINTABLE = table.concat(PRINTABLE)

TestInputKeys = {}

-- One test window serves every test; each starts with it in the foreground
-- and its earlier input read.
function TestInputKeys:setupClass() self.w, self.start_error = fixture.try_start("/foreground") end
function TestInputKeys:teardownClass() if self.w then self.w:close() end end

local function bring_to_front(w)
    osbridge.set_foreground_window(w.main)
    lu.assertTrue(support.wait_until(function() return osbridge.get_foreground_window() == w.main end),
                  "the test window did not come to the front")
end

function TestInputKeys:setUp()
    lu.assertNotNil(self.w, self.start_error)
    bring_to_front(self.w)
    self.w:fence()
end

function TestInputKeys:test_table_mode_types_every_printable_character()
    local others = PRINTABLE:gsub("%d", "") .. "\t\r\b\27"
    osbridge.string_to_keys(others)
    lu.assertEquals(fixture.chars(self.w:fence()), others)
    -- Digits come from the numeric keypad; they type only with Num Lock on.
    osbridge.string_to_keys("0123456789")
    local keys = {}
    for _, line in ipairs(self.w:fence()) do
        if not line:match("^char") then keys[#keys + 1] = line end
    end
    lu.assertEquals(keys, { "down 96", "up 96", "down 97", "up 97", "down 98", "up 98", "down 99", "up 99",
                            "down 100", "up 100", "down 101", "up 101", "down 102", "up 102",
                            "down 103", "up 103", "down 104", "up 104", "down 105", "up 105" })
end

function TestInputKeys:test_table_mode_presses_shift_around_shifted_characters_only()
    osbridge.string_to_keys("Aa-~\n\r", "ignored", 0)
    lu.assertEquals(self.w:fence(), {
        "down 16", "down 65", "char 65", "up 65", "up 16",
        "down 65", "char 97", "up 65",
        "down 109", "char 45", "up 109",    -- keypad minus
        "down 16", "down 192", "char 126", "up 192", "up 16",
        "down 0", "up 0",                   -- a line feed has no key
        "down 13", "char 13", "up 13",
    })
end

function TestInputKeys:test_toggle_numlock_flips_the_keypad_digits()
    local function digit_typed()
        osbridge.string_to_keys("5")
        local lines = self.w:fence()
        return fixture.chars(lines) == "5", lines
    end
    local before = digit_typed()
    lu.assertEquals(count(osbridge.toggle_numlock()), 0)
    local after, lines = digit_typed()
    lu.assertEquals({ after, lines[1], lines[2] }, { not before, "down 144", "up 144" })
    osbridge.toggle_numlock()
    lu.assertEquals(digit_typed(), before)
end

function TestInputKeys:test_unicode_mode_types_characters_as_code_units()
    osbridge.string_to_keys(PRINTABLE .. "\r", nil, 1)
    lu.assertEquals(fixture.chars(self.w:fence()), PRINTABLE .. "\r")
    -- Tab and line feed go out with keys of their own, in any mode but 0
    -- (2^32 is read whole, not as its low 32 bits).
    for _, mode in ipairs({ -1, 4294967296 }) do
        osbridge.string_to_keys("\t\n", nil, mode)
        lu.assertEquals(self.w:fence(), { "down 9", "char 9", "up 9", "down 13", "char 13", "up 13" }, mode)
    end
end

function TestInputKeys:test_characters_of_the_code_page_type_whole_in_both_modes()
    -- Bytes from 0x80 go out as the character they start: one byte in 1252,
    -- a lead and trail byte in 932, a sequence of up to four bytes in UTF-8;
    -- a character beyond 0xFFFF as its surrogate pair.
    for _, mode in ipairs({ 0, 1 }) do
        for _, s in ipairs(texts) do
            osbridge.string_to_keys(s.ansi, nil, mode)
            local _, codes = fixture.chars(self.w:fence())
            lu.assertEquals(codes, texts.units(s.utf8), ("mode %d, %s"):format(mode, s.utf8))
        end
    end
end

function TestInputKeys:test_texts_beyond_the_ansi_code_page_in_utf8()
    texts.in_utf8(function()
        for _, mode in ipairs({ 0, 1 }) do
            for _, text in ipairs(texts.unicode) do
                osbridge.string_to_keys(text, nil, mode)
                local _, codes = fixture.chars(self.w:fence())
                lu.assertEquals(codes, texts.units(text), ("mode %d, %s"):format(mode, text))
            end
            -- A text that is no UTF-8 types nothing, not even its valid start.
            for _, bad in ipairs(texts.invalid_utf8) do osbridge.string_to_keys(bad, nil, mode) end
            lu.assertEquals(self.w:fence(), {}, "mode " .. mode)
        end
    end)
end

function TestInputKeys:test_typing_stops_at_the_first_zero_byte()
    osbridge.string_to_keys("ab\0cd", nil, 1)
    osbridge.string_to_keys("ef\0gh")
    osbridge.string_to_keys("")
    lu.assertEquals(count(osbridge.string_to_keys(12, nil, 1)), 0)  -- a number types its text
    lu.assertEquals(fixture.chars(self.w:fence()), "abef12")
end

function TestInputKeys:test_string_to_keys_argument_errors()
    support.assert_argument_error(1, "string expected, got no value", osbridge.string_to_keys)
    lu.assertErrorMsgContains("string expected, got table", osbridge.string_to_keys, {})
    support.assert_argument_error(3, "number expected, got string", osbridge.string_to_keys, "a", nil, "x")
    lu.assertEquals(self.w:fence(), {})
end

function TestInputKeys:test_keybd_event_reads_the_last_two_values()
    local w = self.w
    lu.assertEquals(count(osbridge.keybd_event(osbridge.VK_RETURN, 0)), 0)
    osbridge.keybd_event(osbridge.VK_RETURN, osbridge.KEYEVENTF_KEYUP)
    osbridge.keybd_event({}, osbridge.VK_RETURN, 0)
    osbridge.keybd_event(osbridge.VK_RETURN, osbridge.VK_RETURN, "2")
    lu.assertEquals(w:fence(), { "down 13", "char 13", "up 13", "down 13", "char 13", "up 13" })
    -- A string key is its first byte; other types send nothing.
    osbridge.keybd_event("A", 0)
    osbridge.keybd_event("65", 0)
    osbridge.keybd_event("65", 2)
    osbridge.keybd_event("A", 2)
    osbridge.keybd_event({}, 0)
    osbridge.keybd_event(true, 2)
    osbridge.keybd_event(256 + 0x41 + 0.9, 0)  -- low 8 bits of the truncated number
    osbridge.keybd_event(0x41, 4294967298)      -- low 32 bits: KEYEVENTF_KEYUP
    lu.assertEquals(w:fence(), { "down 65", "char 97", "down 54", "char 54", "up 54", "up 65",
                                 "down 65", "char 97", "up 65" })
end

function TestInputKeys:test_get_keybd_state_follows_synthesized_keys()
    local F14 = osbridge.VK_F14
    lu.assertEquals({ osbridge.get_keybd_state(F14) }, { false })
    osbridge.keybd_event(F14, 0)
    lu.assertEquals({ osbridge.get_keybd_state(F14) }, { true })
    lu.assertEquals({ osbridge.get_keybd_state(0, F14) }, { true })  -- the last value counts
    osbridge.keybd_event(F14, osbridge.KEYEVENTF_KEYUP)
    lu.assertEquals({ osbridge.get_keybd_state(F14) }, { false })
    lu.assertEquals(count(osbridge.get_keybd_state()), 0)
    lu.assertEquals(count(osbridge.get_keybd_state(0)), 0)
    lu.assertEquals(count(osbridge.get_keybd_state(F14, "x")), 0)
end

function TestInputKeys:test_keybd_event_with_one_value_shows_an_error_box()
    local box_report = fixture.answer_box("Lua Error")
    lu.assertEquals(count(osbridge.keybd_event(osbridge.VK_RETURN)), 0)  -- returns once answered
    lu.assertEquals(box_report(), {
        "text lua_error: function keybd_event() takes 2 arguments!",
        "owner " .. self.w.title, "icon yes", "answered" })
    -- The box took the activation; nothing was sent once it is back.
    bring_to_front(self.w)
    lu.assertEquals(self.w:fence(), {})
end

function TestInputKeys:test_hotkey_for_a_window_of_another_process_fails()
    assert_failure(osbridge.register_hotkey(self.w.main, 0x55, CTRL_ALT, osbridge.VK_F11))
end

TestInputHotkeys = {}

function TestInputHotkeys:test_register_once_and_unregister_once()
    lu.assertEquals({ osbridge.register_hotkey(nil, 0x51, CTRL_ALT, osbridge.VK_F9) }, { true })
    assert_failure(osbridge.register_hotkey(nil, 0x52, CTRL_ALT, osbridge.VK_F9))
    assert_failure(osbridge.register_hotkey(nil, 0x51, CTRL_ALT, osbridge.VK_F9))
    lu.assertEquals({ osbridge.unregister_hotkey(nil, 0x51) }, { true })
    assert_failure(osbridge.unregister_hotkey(nil, 0x51))
    assert_failure(osbridge.unregister_hotkey(nil, 0x52))
end

function TestInputHotkeys:test_window_argument_is_optional_and_numbers_are_32_bit()
    -- What is not a userdata ties the hot key to the thread, like nil.
    lu.assertTrue(osbridge.register_hotkey(5, 4294967296 + 0x53, 4294967296 + CTRL_ALT, osbridge.VK_F10))
    assert_failure(osbridge.register_hotkey("w", 0x54, CTRL_ALT, osbridge.VK_F10))
    lu.assertTrue(osbridge.unregister_hotkey(true, 0x53))
    lu.assertTrue(osbridge.register_hotkey(nil, 0x53, CTRL_ALT, osbridge.VK_F10, "extra"))
    lu.assertTrue(osbridge.unregister_hotkey(nil, 0x53 + 0.7))
end

function TestInputHotkeys:test_argument_errors_and_unsupported_service()
    support.assert_argument_error(2, "number expected, got no value", osbridge.register_hotkey)
    support.assert_argument_error(4, "number expected, got no value", osbridge.register_hotkey, nil, 1, CTRL_ALT)
    lu.assertEquals({ osbridge.unregister_func1(1, "x") }, { false, "UnregisterFunc1() is not supported" })
end
