-- Recipe: start a program, wait for its window, type into it, and close it
-- without the save prompt.      lua.exe examples\notepad.lua
--
-- Three traps:
--   * A program's main window exists before the controls inside it: wait for
--     the control you will use, not only for the window.
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
-- gave; fails after `seconds`.
local function wait_for(what, seconds, fn)
    for _ = 1, seconds * 10 do
        local values = { fn() }
        if values[1] then return unpack(values) end
        osbridge.sleep(100)
    end
    error("gave up waiting for " .. what .. " after " .. seconds .. " s", 2)
end

-- The process ids of the running programs called `name` (any case).
local function pids_of(name)
    local pids = {}
    local list = assert(osbridge.process_list())
    for i = 0, #list do  -- the list is keyed from 0
        if (list[i].name or ""):lower() == name then pids[list[i].pid] = true end
    end
    return pids
end

local function run(before)
    -- The new program's window is the Notepad window that was not there before
    -- (the user may have other Notepads open), once its edit control exists.
    local notepad, edit = wait_for("Notepad's window and its edit control", 60, function()
        for window, info in pairs(osbridge.enum_windows()) do
            local child = info.class == "Notepad" and not before[window] and osbridge.get_window(window, osbridge.GW_CHILD)
            if child then return window, child end
        end
    end)
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
    wait_for("Notepad to close", 30, function() return not osbridge.get_window_text(notepad) end)
    print("closed without a prompt")
end

local windows, pids = {}, pids_of("notepad.exe")
for window, info in pairs(osbridge.enum_windows()) do
    if info.class == "Notepad" then windows[window] = true end
end
assert(osbridge.exec(nil, "notepad.exe"), "notepad.exe did not start")
local ok, err = pcall(run, windows)
-- Clean-up on every path: a Notepad this script started and that still runs
-- (the work failed half-way) is ended.
for pid in pairs(pids_of("notepad.exe")) do
    if not pids[pid] then osbridge.terminate_process(pid, 1) end
end
if not ok then error(err, 0) end
