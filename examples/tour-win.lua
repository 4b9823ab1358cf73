-- Windows and keyboard: list the top-level windows, start Notepad, find it,
-- move it, type into it, and close it again.

local function wait_for(fn)
    for _ = 1, 100 do
        local value = fn()
        if value then return value end
        osbridge.sleep(100)
    end
end

local count = 0
for _ in pairs(osbridge.enum_windows()) do count = count + 1 end
print(("%d top-level windows"):format(count))

os.execute('start "" notepad.exe')
local notepad = wait_for(function() return osbridge.find_window("Notepad") end)
if not notepad then
    print("Notepad did not start")
    return
end
print("found Notepad:", osbridge.get_window_text(notepad))

osbridge.set_window_pos(notepad, osbridge.HWND_TOP, 50, 60, 500, 300, 0)
print("moved to", osbridge.get_window_rect(notepad))

local edit = osbridge.get_window(notepad, osbridge.GW_CHILD)
osbridge.set_foreground_window(notepad)
wait_for(function() return osbridge.get_foreground_window() == notepad end)
osbridge.string_to_keys("Typed by osbridge\r", nil, 1)
osbridge.keybd_event(osbridge.VK_SHIFT, 0)
print("Shift down:", osbridge.get_keybd_state(osbridge.VK_SHIFT))
osbridge.keybd_event(osbridge.VK_SHIFT, osbridge.KEYEVENTF_KEYUP)
osbridge.sleep(300)
print("characters in Notepad (WM_GETTEXTLENGTH):", osbridge.send_message(edit, 0x000E))

local ok, err = osbridge.register_hotkey(nil, 1, osbridge.MOD_CONTROL + osbridge.MOD_ALT, osbridge.VK_F9)
print("hot key Ctrl+Alt+F9 registered:", ok, err)
print("withdrawn:", osbridge.unregister_hotkey(nil, 1))

-- Mark the text unchanged (EM_SETMODIFY) so that closing asks nothing.
osbridge.send_message(edit, 0x00B9, 0)
osbridge.send_message(notepad, osbridge.WM_CLOSE)
print("Notepad closed:", wait_for(function() return not osbridge.find_window("Notepad") end) or false)
