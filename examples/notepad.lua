-- Recipe: start a program, wait for its window, type into it, and close it
-- without the save prompt.      lua.exe examples\notepad.lua
--
-- Two traps:
--   * string_to_keys in its default mode types digits and "-" on the numeric
--     keypad. With Num Lock off the digits vanish: "1-2" types "-". Mode 1
--     (Unicode characters) types every character whatever Num Lock says.
--   * send_message(window, WM_CLOSE) to a program with an unsaved document
--     waits until someone answers its "Save changes?" prompt. Mark the
--     document unchanged first (EM_SETMODIFY for an edit control).
require "osbridge"

local EM_SETMODIFY = 0x00B9

-- Calls fn every 100 ms until it gives a true value; fails after `seconds`.
local function wait_for(what, seconds, fn)
    for _ = 1, seconds * 10 do
        local value = fn()
        if value then return value end
        osbridge.sleep(100)
    end
    error("gave up waiting for " .. what, 2)
end

-- The new program's window is the Notepad window that was not there before
-- (the user may have other Notepads open).
local before = {}
for window, info in pairs(osbridge.enum_windows()) do
    if info.class == "Notepad" then before[window] = true end
end
assert(osbridge.exec(nil, "notepad.exe"), "notepad.exe did not start")
local notepad = wait_for("Notepad's window", 20, function()
    for window, info in pairs(osbridge.enum_windows()) do
        if info.class == "Notepad" and not before[window] then return window end
    end
end)
local edit = assert(osbridge.get_window(notepad, osbridge.GW_CHILD), "no edit control")
print("started:", osbridge.get_window_text(notepad))

-- Keys go to the focused window: bring Notepad to the front first.
osbridge.set_foreground_window(notepad)
wait_for("Notepad in the foreground", 10, function() return osbridge.get_foreground_window() == notepad end)

-- Typing is asynchronous: the keys reach Notepad after the call returns, so
-- wait until the text is there. (Another program's edit control tells its
-- length, WM_GETTEXTLENGTH; get_window_text reads only captions across programs.)
local WM_GETTEXTLENGTH = 0x000E
local function length() return osbridge.send_message(edit, WM_GETTEXTLENGTH) end

local text = "Order 1-2 from osbridge"
osbridge.string_to_keys(text, nil, 1)
wait_for("the typed text", 10, function() return length() >= #text end)
print("typed as Unicode characters:", length() .. " characters")

-- The same digits as key presses: whether they arrive depends on Num Lock.
local was = length()
osbridge.string_to_keys("1-2")
osbridge.sleep(500)
print(("\"1-2\" typed as key presses: %d characters arrived (%s)"):format(length() - was,
      length() - was == 3 and "Num Lock is on" or "Num Lock is off: the digits vanished"))

-- Close without the save prompt.
osbridge.send_message(edit, EM_SETMODIFY, 0, 0)
osbridge.send_message(notepad, osbridge.WM_CLOSE)
wait_for("Notepad to close", 10, function() return not osbridge.get_window_text(notepad) end)
print("closed without a prompt")
