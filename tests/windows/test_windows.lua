-- Finding, showing, moving and messaging windows, and walking and listing
-- them, against the test window program.

local fixture = require "windows.fixture"
local texts = require "texts"
local support = require "support"

local WM_USER = 0x400

local function count(...) return select("#", ...) end
local function has_bit(value, bit) return value % (2 * bit) >= bit end

TestWinHandleForms = {}

function TestWinHandleForms:test_strict_functions_reject_what_is_not_a_light_userdata()
    for _, bad in ipairs({ "nil", 5, "text", io.stdout }) do
        local value = bad ~= "nil" and bad or nil
        support.assert_argument_error(1, "HWND handle expected", osbridge.destroy_window, value)
        lu.assertErrorMsgContains("HWND handle expected", osbridge.get_window, value, osbridge.GW_CHILD)
        lu.assertErrorMsgContains("HWND handle expected", osbridge.get_window_text, value)
    end
end

function TestWinHandleForms:test_lenient_functions_give_their_no_handle_result()
    for _, bad in ipairs({ 5, "text", true, {} }) do
        lu.assertFalse(osbridge.show_window(bad, osbridge.SW_SHOW))
        lu.assertFalse(osbridge.set_foreground_window(bad))
        lu.assertFalse(osbridge.set_focus(bad))
        lu.assertFalse(osbridge.enable_window(bad, true))
        lu.assertEquals(count(osbridge.is_window_visible(bad)), 0)
        lu.assertEquals(count(osbridge.send_message(bad, osbridge.WM_CLOSE)), 0)
        lu.assertEquals(count(osbridge.get_window_long(bad, osbridge.GWL_STYLE)), 0)
        lu.assertEquals(count(osbridge.set_window_long(bad, osbridge.GWL_STYLE, 0)), 0)
        lu.assertEquals(count(osbridge.get_window_rect(bad)), 0)
        lu.assertEquals({ osbridge.set_window_pos(bad, 0, 0, 0, 0, 0, 0) }, { 0 })
    end
    -- Too few values for a position counted from the top: no handle there.
    lu.assertEquals(count(osbridge.get_window_long(osbridge.GWL_STYLE)), 0)
    lu.assertEquals(count(osbridge.get_window_rect()), 0)
    lu.assertEquals({ osbridge.set_window_pos(0, 0, 0, 0, 0, 0) }, { 0 })
    -- A full userdata passes the lenient form but names no window.
    lu.assertEquals(count(osbridge.get_window_rect(io.stdout)), 0)
    lu.assertFalse(osbridge.is_window_visible(io.stdout))
    -- Services of the handheld platform only.
    lu.assertEquals({ osbridge.create_shortcut("a", "b") }, { false })
    lu.assertEquals({ osbridge.sh_fullscreen() }, { false })
end

-- One test window program serves every test here; each test leaves its
-- windows as it found them.
TestWinOperations = fixture.class()

function TestWinOperations:test_find_window()
    local w = self.w
    lu.assertEquals(osbridge.find_window(w.class, w.title), w.main)
    lu.assertEquals(osbridge.find_window("", w.title), w.main)
    lu.assertEquals(osbridge.find_window(w.class, ""), w.main)
    lu.assertNil(osbridge.find_window("NoSuchClass_0xdeadbeef"))
    lu.assertNil(osbridge.find_window(w.class, "some other title"))
    lu.assertErrorMsgContains("string expected, got no value", osbridge.find_window)
end

function TestWinOperations:test_show_window_reports_previous_visibility()
    local window = self.w.long
    lu.assertTrue(osbridge.is_window_visible(window))
    lu.assertTrue(osbridge.show_window(window))  -- no command: SW_HIDE
    lu.assertFalse(osbridge.is_window_visible(window))
    lu.assertFalse(osbridge.show_window(window, osbridge.SW_HIDE))
    lu.assertFalse(osbridge.show_window(window, osbridge.SW_SHOWNA))
    lu.assertTrue(osbridge.is_window_visible(window))
end

function TestWinOperations:test_enable_window_reports_previous_state()
    local window = self.w.long
    lu.assertFalse(osbridge.enable_window(window, false))
    lu.assertTrue(has_bit(osbridge.get_window_long(window, osbridge.GWL_STYLE), osbridge.WS_DISABLED))
    lu.assertTrue(osbridge.enable_window(window))  -- nil disables: already disabled
    lu.assertTrue(osbridge.enable_window(window, 0))  -- 0 is true in Lua
    lu.assertFalse(osbridge.enable_window(window, true))
end

function TestWinOperations:test_window_longs_are_signed_and_read_from_the_top()
    local popup, edit = self.w.untitled, self.w.edit
    lu.assertEquals(osbridge.get_window_long(edit, osbridge.GWL_ID), 100)
    lu.assertEquals(osbridge.get_window_long("ignored", edit, osbridge.GWL_ID), 100)
    lu.assertEquals(count(osbridge.get_window_long(edit, osbridge.GWL_ID, 1)), 0)
    lu.assertEquals(osbridge.get_window_long(edit, 0x7fff), 0)  -- no such index

    local before = osbridge.get_window_long(popup, osbridge.GWL_STYLE)
    lu.assertTrue(before < 0, "WS_POPUP reads back negative: " .. before)
    lu.assertEquals(osbridge.set_window_long(popup, osbridge.GWL_STYLE, 2415919104), before)
    local style = osbridge.get_window_long(popup, osbridge.GWL_STYLE)
    lu.assertFalse(has_bit(style, osbridge.WS_BORDER))
    lu.assertEquals(osbridge.set_window_long(popup, osbridge.GWL_STYLE, -1879048192), style)
    lu.assertEquals(osbridge.get_window_long(popup, osbridge.GWL_STYLE), style)
    lu.assertEquals(count(osbridge.set_window_long(popup, osbridge.GWL_STYLE, 0, "extra")), 0)
    osbridge.set_window_long(popup, osbridge.GWL_STYLE, before)
end

function TestWinOperations:test_set_window_pos_and_get_window_rect()
    local main = self.w.main
    local rect = { osbridge.get_window_rect(main) }
    lu.assertEquals({ rect[3] - rect[1], rect[4] - rect[2] }, { 400, 300 })
    lu.assertNotEquals(osbridge.set_window_pos(main, 0, -50, -40, 300, 200, osbridge.SWP_NOZORDER), 0)
    lu.assertEquals({ osbridge.get_window_rect(main) }, { -50, -40, 250, 160 })
    -- Leading values are ignored: only the last seven count.
    lu.assertNotEquals(osbridge.set_window_pos("x", "y", main, 0, 10, 20, 0, 0, osbridge.SWP_NOSIZE), 0)
    lu.assertEquals({ osbridge.get_window_rect("x", main) }, { 10, 20, 310, 220 })

    local flags = osbridge.SWP_NOMOVE + osbridge.SWP_NOSIZE
    lu.assertNotEquals(osbridge.set_window_pos(main, osbridge.HWND_TOPMOST, 0, 0, 0, 0, flags), 0)
    lu.assertEquals({ osbridge.get_window_rect(main) }, { 10, 20, 310, 220 })
    lu.assertNotEquals(osbridge.set_window_pos(main, osbridge.HWND_NOTOPMOST, 0, 0, 0, 0, flags), 0)
    osbridge.set_window_pos(main, 0, rect[1], rect[2], 400, 300, osbridge.SWP_NOZORDER)
end

function TestWinOperations:test_set_window_pos_behind_a_window()
    local a, b = self.w.main, self.w.long
    local flags = osbridge.SWP_NOMOVE + osbridge.SWP_NOSIZE + osbridge.SWP_NOACTIVATE
    local function z_order(window)  -- its place among the top-level windows
        local n, walk = 1, osbridge.get_window(window, osbridge.GW_HWNDFIRST)
        while walk ~= window do n, walk = n + 1, osbridge.get_window(walk, osbridge.GW_HWNDNEXT) end
        return n
    end
    lu.assertNotEquals(osbridge.set_window_pos(a, b, 0, 0, 0, 0, flags), 0)
    lu.assertTrue(z_order(a) > z_order(b))
    lu.assertNotEquals(osbridge.set_window_pos(b, a, 0, 0, 0, 0, flags), 0)
    lu.assertTrue(z_order(a) < z_order(b))
end

function TestWinOperations:test_send_message_passes_32_bit_parameters()
    local w = self.w
    lu.assertEquals(osbridge.send_message(w.main, WM_USER + 1, -1879048192, -5), -5)
    lu.assertEquals(osbridge.send_message(w.main, WM_USER + 1, 2415919104, 4294967295), -1)
    lu.assertEquals(osbridge.send_message(w.main, WM_USER + 1, 7.9, -7.9), -7)
    lu.assertEquals(osbridge.send_message(w.untitled, osbridge.WM_CLOSE), 0)
    lu.assertErrorMsgContains("number expected, got no value", osbridge.send_message, w.main)
    local lines = w:lines()
    lu.assertEquals({ unpack(lines, #lines - 3) },
                    { "user 2415919104 -5", "user 2415919104 -1", "user 7 -7", "close 0 0" })
end

function TestWinOperations:test_foreground_focus_and_destroy()
    local main = self.w.main
    lu.assertTrue(osbridge.set_foreground_window(main))
    lu.assertTrue(support.wait_until(function() return osbridge.get_foreground_window() == main end))
    -- Focus and destruction belong to the window's own thread.
    lu.assertFalse(osbridge.set_focus(self.w.edit))
    lu.assertNil(osbridge.get_focus())
    lu.assertFalse(osbridge.destroy_window(main))
    lu.assertTrue(osbridge.is_window_visible(main))
end

function TestWinOperations:test_enum_windows_lists_top_level_windows_by_handle()
    local w = self.w
    local list = osbridge.enum_windows()
    lu.assertEquals(#list, 0)
    lu.assertEquals(list[w.main], { title = w.title, class = w.class })
    lu.assertEquals(list[w.untitled], { title = "", class = w.class .. "_untitled" })
    lu.assertNil(list[w.edit])  -- children are not listed
    for window, row in pairs(list) do
        lu.assertEquals(type(window), "userdata")
        lu.assertEquals(type(row.title) .. type(row.class), "stringstring")
        osbridge.get_window(window, osbridge.GW_OWNER)
    end
end

function TestWinOperations:test_titles_are_cut_at_259_characters_and_empty_is_nil()
    local expected = {}
    for i = 0, 258 do expected[#expected + 1] = string.char(65 + i % 26) end
    expected = table.concat(expected)
    lu.assertEquals(osbridge.get_window_text(self.w.long), expected)
    lu.assertEquals(osbridge.enum_windows()[self.w.long].title, expected)
    lu.assertEquals(count(osbridge.get_window_text(self.w.untitled)), 1)
    lu.assertNil(osbridge.get_window_text(self.w.untitled))
end

function TestWinOperations:test_get_window_relations()
    local main, edit = self.w.main, self.w.edit
    lu.assertNil(osbridge.get_window_text(edit))
    local static = osbridge.get_window(edit, osbridge.GW_HWNDNEXT)
    lu.assertEquals(osbridge.get_window_long(static, osbridge.GWL_ID), 101)
    lu.assertEquals(osbridge.get_window_text(static), "child")
    lu.assertEquals(osbridge.get_window(static, osbridge.GW_HWNDPREV), edit)
    lu.assertEquals(osbridge.get_window(static, osbridge.GW_HWNDFIRST), edit)
    lu.assertEquals(osbridge.get_window(edit, osbridge.GW_HWNDLAST), static)
    lu.assertNil(osbridge.get_window(edit, osbridge.GW_CHILD))
    lu.assertNil(osbridge.get_window(main, osbridge.GW_OWNER))
    lu.assertEquals(osbridge.get_window(self.w.owned, osbridge.GW_OWNER), main)
    lu.assertEquals(osbridge.get_window(self.w.owned, 4294967300), main)  -- low 32 bits: GW_OWNER
    lu.assertErrorMsgContains("number expected, got no value", osbridge.get_window, main)
end

-- Titles and class names in the ANSI code page of the run: a window whose
-- class and title end in every sample text, and whose long title repeats the
-- code page's widest character.
TestWinTexts = fixture.class({ label = " " .. texts.joined.ansi }, "/longtext:" .. texts.char.ansi)

function TestWinTexts:test_found_read_and_listed()
    local w = self.w
    lu.assertEquals(osbridge.find_window(w.class, w.title), w.main)
    lu.assertEquals(osbridge.find_window("", w.title), w.main)
    lu.assertEquals(osbridge.get_window_text(w.main), w.title)
    local list = osbridge.enum_windows()
    lu.assertEquals(list[w.main], { title = w.title, class = w.class })
    lu.assertEquals(list[w.untitled], { title = "", class = w.class .. "_untitled" })
end

function TestWinTexts:test_titles_are_cut_between_characters()
    -- 300 units; the limit of 259 falls inside a surrogate pair in UTF-8,
    -- and 259 double-byte characters take 518 bytes.
    local units = #texts.units(texts.char.utf8)
    local expected = texts.char.ansi:rep(math.floor(259 / units))
    lu.assertEquals(osbridge.get_window_text(self.w.long), expected)
    lu.assertEquals(osbridge.enum_windows()[self.w.long].title, expected)
end

-- Titles and class names beyond the ANSI code page, in UTF-8: windows of
-- this process, made with those texts in UTF-16.
TestWinUtf8Texts = {}

function TestWinUtf8Texts.test_found_read_and_listed()
    local wintext = assert(package.loadlib(BUILD_DIR .. "\\fixtures\\wintext.dll", "luaopen_wintext"))()
    local windows = {}
    for i, text in ipairs(texts.unicode) do
        windows[i] = assert(wintext.titled("OsbUtf8 " .. text, "title " .. text), text)
    end
    local ok, problem = pcall(texts.in_utf8, function()
        local list = osbridge.enum_windows()
        for i, text in ipairs(texts.unicode) do
            local class, title = "OsbUtf8 " .. text, "title " .. text
            lu.assertEquals({ osbridge.find_window(class, title), osbridge.get_window_text(windows[i]), list[windows[i]] },
                            { windows[i], title, { title = title, class = class } }, text)
        end
        -- No window for a text that is no UTF-8, rather than any window.
        for _, bad in ipairs(texts.invalid_utf8) do
            lu.assertEquals({ osbridge.find_window(bad), osbridge.find_window("OsbUtf8 " .. texts.unicode[1], bad) },
                            { nil, nil }, bad)
        end
    end)
    for _, window in ipairs(windows) do wintext.destroy(window) end
    if not ok then error(problem, 0) end
end

-- A window of this process whose procedure copies "hi" but reports another
-- count: the text ends at its zero unit, and the count never reaches past
-- the buffer.
TestWinMisreportedText = {}

function TestWinMisreportedText.test_text_ends_at_its_terminator()
    local wintext = assert(package.loadlib(BUILD_DIR .. "\\fixtures\\wintext.dll", "luaopen_wintext"))()
    for _, count in ipairs({ 268, 100000000 }) do
        local window = wintext.create(count)
        lu.assertNotNil(window, "count " .. count)
        local text, listed = osbridge.get_window_text(window), osbridge.enum_windows()[window]
        wintext.destroy(window)
        lu.assertEquals(text, "hi", "count " .. count)
        lu.assertEquals(listed and listed.title, "hi", "count " .. count)
    end
end

-- Waiting for windows of waitwin.exe, a windowed program that creates its
-- window after a delay and logs when.
TestWinWait = {}

local waits = 0

-- Starts waitwin; returns its process object, class and title, and log.
function TestWinWait:start(delay, title, ...)
    waits = waits + 1
    local class = ("OsbWait%d_%d"):format(waits, os.time() % 100000)
    local log = ("%s\\waitwin-%s.log"):format(BUILD_DIR, class)
    local arguments = table.concat({ ... }, " ")
    local p = assert(osbridge.start_process(('"%s\\waitwin.exe" %d %s "%s" "%s" %s'):format(
        FIXTURE_BIN, delay, class, title or class, log, arguments)))
    self.started[#self.started + 1] = p
    return p, class, title or class, log
end

function TestWinWait:setUp() self.started = {} end

function TestWinWait:tearDown()
    for _, p in ipairs(self.started) do
        osbridge.terminate_process(p.pid, 0)
        p:close()
    end
end

function TestWinWait:test_a_window_is_found_as_it_appears()
    local _, class, title, log = self:start(300)
    lu.assertEquals({ osbridge.wait_for_window(class, title, 0) }, { nil, "timeout" }, "time-out 0 looks once")
    local window = osbridge.wait_for_window(class, title, 60000)
    local found = osbridge.get_epoch_ms()
    lu.assertNotNil(window)
    lu.assertEquals(window, osbridge.find_window(class, title))
    lu.assertEquals(osbridge.wait_for_window(class, nil, 0), window)
    -- Seen within a slice of its creation (logged just after it): loosely,
    -- as the machine may be busy.
    local created = tonumber(support.wait_until(function() return support.file_line(log, 1) end))
    lu.assertTrue(found - created > -50 and found - created < 500, found - created)
end

function TestWinWait:test_time_outs()
    for _, timeout in ipairs({ 0, -1, 200 }) do
        local started = osbridge.get_epoch_ms()
        lu.assertEquals({ osbridge.wait_for_window("OsbWaitNoSuchClass", "x", timeout) }, { nil, "timeout" })
        local took = osbridge.get_epoch_ms() - started
        lu.assertTrue(took >= math.max(timeout, 0) - 10 and took < timeout + 1000, timeout .. ": " .. took)
    end
    support.assert_argument_error(1, "string expected, got no value", osbridge.wait_for_window)
    support.assert_argument_error(3, "number expected, got string", osbridge.wait_for_window, "x", nil, "y")
end

function TestWinWait:test_the_same_title_under_two_classes()
    local _, first, title = self:start(0, "OsbWaitShared" .. os.time() % 100000)
    local _, second = self:start(0, title)
    local windows = {}
    for _, class in ipairs({ first, second }) do
        windows[class] = osbridge.wait_for_window(class, title)
        lu.assertEquals(windows[class], osbridge.find_window(class, title), class)
    end
    lu.assertNotEquals(windows[first], windows[second])
    local any = osbridge.wait_for_window("", title, 0)
    lu.assertTrue(any == windows[first] or any == windows[second])
end

-- A window of this thread answers another process while the thread waits.
function TestWinWait:test_the_waiting_thread_answers_its_windows()
    local wintext = assert(package.loadlib(BUILD_DIR .. "\\fixtures\\wintext.dll", "luaopen_wintext"))()
    local window = assert(wintext.create(2))
    local asking = self:start(0, nil, "ask")
    local code = osbridge.wait_for_process(asking, 60000)
    wintext.destroy(window)
    lu.assertEquals(code, 0)
end
