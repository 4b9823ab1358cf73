-- Message boxes and the password dialog, shown for real and answered by
-- fixtures/ui_driver.exe from another process.
local driver = require "ui.driver"
local texts = require "texts"

TestUiMsgbox = {}

function TestUiMsgbox.test_one_argument_default_caption_and_icon()
    local seen, r = driver.around({ "find Orvek", "press 1", "gone" }, osbridge.msgbox, "Hello from the test")
    lu.assertEquals(seen.caption, { "Orvek" })
    lu.assertEquals(seen.text, { "Hello from the test" })
    lu.assertEquals(seen.icon, { "yes" })
    lu.assertNotNil(seen.button1)
    lu.assertNil(seen.button2)
    lu.assertEquals(r.n, 1)
    lu.assertEquals(r[1], osbridge.IDOK)
end

function TestUiMsgbox.test_two_arguments_text_and_caption()
    local seen, r = driver.around({ "find Two args", "press 1", "gone" }, osbridge.msgbox, "body", "Two args")
    lu.assertEquals(seen.text, { "body" })
    lu.assertEquals(seen.caption, { "Two args" })
    lu.assertEquals(seen.icon, { "yes" })
    lu.assertEquals(r[1], 1)
end

function TestUiMsgbox.test_yes_no_style_returns_pressed_button()
    local style = osbridge.MB_YESNO + osbridge.MB_ICONQUESTION
    local seen, r = driver.around({ "find Question", "press 7", "gone" }, osbridge.msgbox, "Proceed?", "Question", style)
    lu.assertNotNil(seen.button6)
    lu.assertNotNil(seen.button7)
    lu.assertNil(seen.button1)
    lu.assertEquals(r[1], osbridge.IDNO)
    seen, r = driver.around({ "find Question", "press 6", "gone" }, osbridge.msgbox, "Proceed?", "Question", style)
    lu.assertEquals(r[1], osbridge.IDYES)
end

function TestUiMsgbox.test_roles_count_from_the_top()
    -- Four arguments: the first is ignored.
    local seen, r = driver.around({ "find Fourth", "press 2", "gone" },
                                  osbridge.msgbox, "ignored", "the text", "Fourth", osbridge.MB_OKCANCEL)
    lu.assertEquals(seen.text, { "the text" })
    lu.assertEquals(seen.caption, { "Fourth" })
    lu.assertEquals(r[1], osbridge.IDCANCEL)
end

function TestUiMsgbox.test_number_text_and_nil_style()
    -- A nil style is MB_OK: one button, no icon.
    local seen, r = driver.around({ "find Numbers", "press 1", "gone" }, osbridge.msgbox, 12.5, "Numbers", nil)
    lu.assertEquals(seen.text, { "12.5" })
    lu.assertEquals(seen.icon, { "no" })
    lu.assertNil(seen.button2)
    lu.assertEquals(r[1], 1)
end

function TestUiMsgbox.test_empty_caption_is_the_system_default()
    -- An empty caption is passed as no caption at all, not as "". The
    -- system's caption is in the language of the Japanese locale of the 932 run.
    local default = CODE_PAGE == 932 and "エラー" or "Error"
    local seen, r = driver.around({ "find " .. default, "press 1", "gone" }, osbridge.msgbox, "text", "")
    lu.assertEquals(seen.caption, { default })
    lu.assertEquals(r[1], 1)
end

function TestUiMsgbox.test_text_and_caption_of_the_code_page()
    -- Found by the start of its caption, which is ASCII, so that a garbled
    -- caption fails the test rather than leave the box open.
    local caption = "Texts " .. texts[1].ansi
    local seen, r = driver.around({ "find Texts ", "press 1", "gone" }, osbridge.msgbox, texts.joined.ansi, caption)
    lu.assertEquals(seen.caption, { "Texts " .. texts[1].utf8 })
    lu.assertEquals(seen.text, { texts.joined.utf8 })
    lu.assertEquals(r[1], 1)
end

function TestUiMsgbox.test_texts_beyond_the_ansi_code_page_in_utf8()
    local text, caption = table.concat(texts.unicode, " | "), "Texts " .. texts.unicode[4]
    local seen, r = driver.around({ "find Texts ", "press 1", "gone" }, texts.in_utf8, osbridge.msgbox, text, caption)
    lu.assertEquals({ seen.caption, seen.text, r[1] }, { { caption }, { text }, 1 })
    -- No box for a text that is no UTF-8: 0, the result of a box not shown.
    for _, bad in ipairs(texts.invalid_utf8) do
        lu.assertEquals({ texts.in_utf8(osbridge.msgbox, bad, "Bad box") }, { 0 }, bad)
        lu.assertEquals({ texts.in_utf8(osbridge.msgbox, "Bad box", bad) }, { 0 }, bad)
    end
end

function TestUiMsgbox.test_no_arguments_no_box_no_results()
    lu.assertEquals(select("#", osbridge.msgbox()), 0)
end

TestUiPassword = {}

-- get_password(owner), in UTF-8 when `utf8` is true.
local function password(actions, owner, utf8)
    local function ask() return osbridge.get_password(owner) end
    local seen, r = driver.around(actions, utf8 and function() return texts.in_utf8(ask) end or ask)
    lu.assertEquals(r.n, 1)
    return seen, r[1]
end

function TestUiPassword.test_typed_text_comes_back_and_dialog_is_as_built()
    local seen, text = password({ "find Zadejte heslo", "type abc", "edit", "press 1", "gone" })
    lu.assertEquals(text, "abc")
    lu.assertEquals(seen.caption, { "Zadejte heslo" })
    lu.assertEquals(seen.button1, { "OK" })
    lu.assertEquals(seen.button2, { "Konec" })
    lu.assertEquals(seen.editid, { "102" })
    lu.assertEquals(seen.icon, { "yes" })
    lu.assertEquals(seen.edit, { "abc" })
    lu.assertEquals(seen.gone, { "yes" })
    -- Centred on a desktop without an input panel.
    local x, y, w, h = seen.rect[1]:match("^(%-?%d+) (%-?%d+) (%d+) (%d+)$")
    local sw, sh = seen.screen[1]:match("^(%d+) (%d+)$")
    x, y, w, h, sw, sh = tonumber(x), tonumber(y), tonumber(w), tonumber(h), tonumber(sw), tonumber(sh)
    lu.assertEquals(x, math.floor((sw - w) / 2))
    lu.assertEquals(y, math.floor((sh - h + 25) / 2))
end

function TestUiPassword.test_cancel_close_and_empty_give_nil()
    local _, text = password({ "find Zadejte heslo", "type abc", "press 2", "gone" })
    lu.assertNil(text)
    local seen
    seen, text = password({ "find Zadejte heslo", "type abc", "close", "gone" })
    lu.assertNil(text)
    lu.assertEquals(seen.gone, { "yes" })
    _, text = password({ "find Zadejte heslo", "press 1", "gone" })
    lu.assertNil(text)
end

function TestUiPassword.test_a_non_window_owner_means_the_foreground_window()
    local _, text = password({ "find Zadejte heslo", "type x y", "press 1", "gone" }, "not a window")
    lu.assertEquals(text, "x y")
end

function TestUiPassword.test_long_text_cut_to_259_characters()
    local typed = ("0123456789"):rep(30)
    local _, text = password({ "find Zadejte heslo", "type " .. typed, "press 1", "gone" })
    lu.assertEquals(#text, 259)
    lu.assertEquals(text, typed:sub(1, 259))
end

function TestUiPassword.test_text_of_the_code_page_cut_between_characters()
    local _, text = password({ "find Zadejte heslo", "type " .. texts.joined.utf8, "press 1", "gone" })
    lu.assertEquals(text, texts.joined.ansi)
    -- 300 units of the widest character: in UTF-8 the 259 units read end
    -- inside a surrogate pair, which is left out whole.
    local units = #texts.units(texts.char.utf8)
    _, text = password({ "find Zadejte heslo", "type " .. texts.char.utf8:rep(300 / units), "press 1", "gone" })
    lu.assertEquals(text, texts.char.ansi:rep(math.floor(259 / units)))
end

function TestUiPassword.test_texts_beyond_the_ansi_code_page_in_utf8()
    local typed = table.concat(texts.unicode, " ")
    local _, text = password({ "find Zadejte heslo", "type " .. typed, "press 1", "gone" }, nil, true)
    lu.assertEquals(text, typed)
    -- 259 units hold 129 characters beyond U+FFFF (516 bytes in UTF-8).
    _, text = password({ "find Zadejte heslo", "type " .. ("🙂"):rep(150), "press 1", "gone" }, nil, true)
    lu.assertEquals(text, ("🙂"):rep(129))
end

function TestUiPassword.test_ctrl_escape_shows_the_hidden_box()
    local seen, text = password({
        "find Zadejte heslo", "type secret",
        "ctrl down", "keyup 27", "find Tervalovy", "press 1", "gone", "ctrl up",
        "find Zadejte heslo", "edit",
        "quietkeyup 27 Tervalovy", "edit",
        "press 1", "gone",
    })
    lu.assertEquals(seen.ctrl, { "yes", "yes" }, "the Ctrl key state did not follow the presses")
    lu.assertEquals(seen.caption, { "Zadejte heslo", "Tervalovy z\195\161kony", "Zadejte heslo" })
    lu.assertEquals(seen.text, { "Po\196\141\195\173ta\196\141 v\195\161m u\197\161et\197\153\195\173 spoustu " ..
        "pr\195\161ce, kterou byste bez n\196\155j v\197\175bec nem\196\155li." })
    -- The key-up went to the box, not the field; without Ctrl it passes quietly.
    lu.assertEquals(seen.edit, { "secret", "secret" })
    lu.assertEquals(seen.quiet, { "yes" })
    lu.assertEquals(text, "secret")
end
