-- The clipboard through Wine's real one, checked from another process by
-- fixtures/ui_driver.exe, which lists the formats and the raw blocks.
local driver = require "ui.driver"

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

-- UTF-16 text is read as such and converted with the process's code page,
-- ANSI text byte for byte: the system converts between the two with the code
-- page of the clipboard's locale, which a UTF-8 host does not share.
function TestUiClipboard.test_text_round_trips_in_the_process_code_page()
    local sample = ({
        [1252] = "d\252n\239 caf\233",
        [932] = "\147\250\150\123\140\234 end",
        [65001] = "\230\151\165\230\156\172\232\170\158 \195\188n\195\175 \240\159\152\128 end",
    })[CODE_PAGE or 1252]
    lu.assertTrue(osbridge.clipboard_set(sample))
    lu.assertEquals(osbridge.clipboard_get(), sample, "as ANSI text")
    lu.assertTrue(osbridge.clipboard_set(sample, true))
    lu.assertEquals(osbridge.clipboard_get(), sample, "as UTF-16 text")
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
    driver.begin({ "clipholdopen 1500" })
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
