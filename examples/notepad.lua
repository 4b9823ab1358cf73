-- Recipe: start a program, wait for its window, type into it, and close it
-- without the save prompt.      lua.exe examples\notepad.lua
--
-- Three traps:
--   * A program's main window exists before the controls inside it: wait
--     until the program is ready for input (wait_for_input_idle), not only
--     for its window.
--   * string_to_keys in its default mode types digits and "-" on the numeric
--     keypad. With Num Lock off the digits vanish: "1-2" types "-". Mode 1
--     (Unicode characters) types every character whatever Num Lock says.
--   * send_message(window, WM_CLOSE) to a program with an unsaved document
--     waits until someone answers its "Save changes?" prompt. Mark the
--     document unchanged first (EM_SETMODIFY for an edit control), once every
--     key typed has arrived.
-- Whatever happens, the Notepad this script started is ended before it stops.
require "osbridge"

local unpack = unpack or table.unpack
local EM_SETMODIFY, EM_GETLINECOUNT, WM_GETTEXTLENGTH = 0x00B9, 0x00BA, 0x000E

-- Calls fn every 100 ms until it gives a true value, and gives back what fn
-- gave; fails after `seconds`. (For what no wait function covers: keys typed
-- into another program.)
local function wait_for(what, seconds, fn)
    for _ = 1, seconds * 10 do
        local values = { fn() }
        if values[1] then return unpack(values) end
        osbridge.sleep(100)
    end
    error("gave up waiting for " .. what .. " after " .. seconds .. " s", 2)
end

local function run(process, before)
    -- Ready for input, the program has made its window and the controls in it.
    -- Its window is the Notepad window that was not there before (the user may
    -- have other Notepads open).
    assert(osbridge.wait_for_input_idle(process, 60000))
    local notepad, edit
    for window, info in pairs(osbridge.enum_windows()) do
        if info.class == "Notepad" and not before[window] then
            notepad, edit = window, osbridge.get_window(window, osbridge.GW_CHILD)
        end
    end
    assert(edit, "Notepad's window and its edit control not found")
    print("started:", osbridge.get_window_text(notepad))

    -- Keys go to the focused window: bring Notepad to the front first.
    osbridge.set_foreground_window(notepad)
    wait_for("Notepad in the foreground", 30, function() return osbridge.get_foreground_window() == notepad end)

    -- Typing is asynchronous: the keys reach Notepad after the call returns, so
    -- wait until the text is there. (Another program's edit control tells its
    -- length, WM_GETTEXTLENGTH; get_window_text reads only captions across programs.)
    local function length() return osbridge.send_message(edit, WM_GETTEXTLENGTH) end
    local text = "Order 1-2 from osbridge"
    osbridge.string_to_keys(text, nil, 1)
    wait_for("the typed text", 30, function() return length() >= #text end)
    print("typed as Unicode characters:", length() .. " characters")

    -- The same digits as key presses: whether they arrive depends on Num Lock,
    -- so their count can't be waited for. Keys arrive in the order they were
    -- typed: a new line typed after them (a line feed in mode 1 presses Enter)
    -- shows when all of them are in.
    local was, lines = length(), osbridge.send_message(edit, EM_GETLINECOUNT)
    osbridge.string_to_keys("1-2")
    osbridge.string_to_keys("\n", nil, 1)
    wait_for("the keys typed", 30, function() return osbridge.send_message(edit, EM_GETLINECOUNT) > lines end)
    local arrived = length() - was - 2  -- Enter adds CR LF
    print(("\"1-2\" typed as key presses: %d characters arrived (%s)"):format(arrived,
          arrived == 3 and "Num Lock is on" or "Num Lock is off: the digits vanished"))

    -- Close without the save prompt.
    osbridge.send_message(edit, EM_SETMODIFY, 0, 0)
    osbridge.send_message(notepad, osbridge.WM_CLOSE)
    print("closed without a prompt, exit code:", assert(osbridge.wait_for_process(process, 30000)))
end

local windows = {}
for window, info in pairs(osbridge.enum_windows()) do
    if info.class == "Notepad" then windows[window] = true end
end
-- The process object holds the program for the waits, and for the clean-up.
local process = assert(osbridge.start_process("notepad.exe"))
local ok, err = pcall(run, process, windows)
-- Clean-up on every path: the Notepad this script started, if it still runs
-- (the work failed half-way), is ended.
if osbridge.wait_for_process(process, 0) == nil then osbridge.terminate_process(process.pid, 1) end
process:close()
if not ok then error(err, 0) end
