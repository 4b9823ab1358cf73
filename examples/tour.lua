-- A short tour of osbridge: run it with lua.exe next to osbridge.dll,
--     lua.exe examples\tour.lua
-- It acts on the desktop it runs on (Notepad, the clipboard, a hot key, a
-- registry key and a folder of its own); each part cleans up after itself.
require "osbridge"

print(("osbridge %s  (%s)"):format(osbridge._VERSION, osbridge._BUILD))

local major, minor, build, platform, sp = osbridge.version()
print(("Windows %d.%d build %d, platform %d%s"):format(major, minor, build, platform,
    sp ~= "" and (", " .. sp) or ""))
print("running on the NT family:", platform == osbridge.VER_PLATFORM_WIN32_NT)

print("constants: MB_YESNO =", osbridge.MB_YESNO, " HKEY_CURRENT_USER =", osbridge.HKEY_CURRENT_USER,
      " HWND_TOPMOST =", osbridge.HWND_TOPMOST)

local hi, lo = osbridge.crc16("123456789")
print(("crc16(\"123456789\") = %02X%02X"):format(hi:byte(), lo:byte()))
local hex = osbridge.to_hex("osbridge")
print("to_hex(\"osbridge\") = " .. hex .. ", back: " .. osbridge.from_hex(hex))
print("milliseconds since 1970 (local wall clock):", ("%.0f"):format(osbridge.get_epoch_ms()))

-- sections --

-- Each part runs on its own: one that fails is reported and the tour goes on;
-- the tour then ends with a failure status.
local failed = 0
local function part(title, fn)
    print("\n== " .. title)
    local ok, err = pcall(fn)
    if not ok then
        print("(failed: " .. tostring(err) .. ")")
        failed = failed + 1
    end
end

-- The processes with this program name (lower case) started since `before`
-- (a set of process ids) by the process `parent`, or by anyone.
local function started_since(before, name, parent)
    local pids, list = {}, assert(osbridge.process_list())
    for i = 0, #list do
        local row = list[i]
        if not before[row.pid] and (row.name or ""):lower() == name and (not parent or row.pid_parent == parent) then
            pids[#pids + 1] = row.pid
        end
    end
    return pids
end

-- Runs fn(), then ends what it started with that program name even when fn
-- fails half-way, and passes fn's failure on.
local function ending_what_it_starts(name, parent, fn)
    local before = {}
    for _, pid in ipairs(started_since({}, name)) do before[pid] = true end
    local ok, err = pcall(fn, function() return started_since(before, name, parent) end)
    for _, pid in ipairs(started_since(before, name, parent)) do
        print(("  ending %s, pid %d:"):format(name, pid), osbridge.terminate_process(pid, 1))
    end
    if not ok then error(err, 0) end
end

local function registry_and_files()
    -- Registry and files: write, read back and delete values under a scratch key;
    -- copy, measure and move files in a scratch folder, then empty it.
    local HKCU = osbridge.HKEY_CURRENT_USER
    local key = "Software\\osbridge-tour"

    osbridge.reg_set_value(HKCU, key, "count", -1)
    osbridge.reg_set_value(HKCU, key, "name", "osbridge tour", osbridge.REG_SZ)
    osbridge.reg_set_value(HKCU, key, "list", "first\0second\0", osbridge.REG_MULTI_SZ)
    print("REG_DWORD written as -1 reads back as", osbridge.reg_get_value(HKCU, key, "count"))
    print("REG_SZ:", osbridge.reg_get_value(HKCU, key, "name"))
    print("REG_MULTI_SZ gives its first string:", osbridge.reg_get_value(HKCU, key, "list"))
    print("the same key through the signed root:", osbridge.reg_get_value(HKCU - 4294967296, key, "name"))
    print("a missing value:", osbridge.reg_get_value(HKCU, key, "missing"))
    print("Windows build from HKEY_LOCAL_MACHINE:", osbridge.reg_get_value(osbridge.HKEY_LOCAL_MACHINE,
          "Software\\Microsoft\\Windows NT\\CurrentVersion", "CurrentBuild"))
    for _, name in ipairs({ "count", "name", "list" }) do osbridge.reg_delete_value(HKCU, key, name) end
    print("scratch key deleted:", osbridge.reg_delete_key(HKCU, key))

    print("this interpreter lives in", osbridge.get_current_dir())
    for _, d in ipairs(osbridge.drives()) do
        print(("drive %s %-9s %s"):format(d.root, d.type,
              d.total and ("%.1f of %.1f GiB free"):format(d.free / 2 ^ 30, d.total / 2 ^ 30) or "not ready"))
    end
    local dir = ("%s\\osbridge-tour-%d"):format(os.getenv("TEMP"), os.time())
    print("mkdir " .. dir .. ":", osbridge.mkdir(dir), "  again:", osbridge.mkdir(dir))
    local a, b = dir .. "\\a.txt", dir .. "\\sub\\b.txt"
    local file = assert(io.open(a, "wb"))
    file:write(("osbridge "):rep(100))
    file:close()
    osbridge.mkdir(dir .. "\\sub")
    print("file_exist a.txt:", osbridge.file_exist(a), "  the folder:", osbridge.file_exist(dir))
    print("file_size a.txt:", osbridge.file_size(a))
    print("copy a.txt to sub\\b.txt:", osbridge.copy_file(a, b),
          "  once more:", osbridge.copy_file(a, b),
          "  with COPY_FILE_OVERWRITE:", osbridge.copy_file(a, b, osbridge.COPY_FILE_OVERWRITE))
    print("move a.txt to c.txt:", osbridge.move_file(a, dir .. "\\c.txt"), "  a.txt now there:", osbridge.file_exist(a))
    print("copy of a missing file:", osbridge.copy_file(a, b, 1), osbridge.get_last_error())
    print("rmdir of a path of 300 bytes:", osbridge.rmdir(("x"):rep(300)))
    print("rmdir of the scratch folder:", osbridge.rmdir(dir))
    print("  c.txt left:", osbridge.file_exist(dir .. "\\c.txt"), "  sub\\b.txt left:", osbridge.file_exist(b))
    -- rmdir keeps the folder it empties; the shell removes it.
    os.execute(('rmdir "%s"'):format(dir))
end

local function processes()
    -- Processes: list what runs, look at our own modules, start a child and wait
    -- for it, start one without waiting and end it.
    local list = assert(osbridge.process_list())
    print(("%d processes running; the first few:"):format(#list + 1))
    for i = 0, math.min(#list, 4) do
        print(("  pid %-6d parent %-6d threads %-3d %s"):format(list[i].pid, list[i].pid_parent, list[i].threads,
              list[i].name or "?"))
    end

    local modules = osbridge.process_modules(0)
    local me = modules[0].pid
    print(("this interpreter is pid %d with %d modules, among them:"):format(me, #modules + 1))
    for i = 0, #modules do
        local name = modules[i].module:lower()
        if name:match("^lua5%d%.dll$") or name == "osbridge.dll" then print("  " .. modules[i].path) end
    end

    -- The first module is the program itself: this interpreter serves as the child.
    local lua = modules[0].path
    local started, code = osbridge.exec(lua, ('"%s" -e "os.exit(7)"'):format(lua), 1)
    print("a child that exits with 7, waited for:", started, code)

    -- exec gives no pid: the child is the process with the interpreter's name
    -- that this one started since. (Other children of this interpreter are
    -- left alone.) It is ended however the tour gets on here.
    ending_what_it_starts(modules[0].module:lower(), me, function(children)
        started, code = osbridge.exec(lua, ('"%s" -e "while true do end"'):format(lua))
        print("a child that runs on, not waited for:", started, code, code == 259 and "(still running)" or "")
        print("  its pid:", children()[1])
    end)

    -- start_process gives the process as an object: its id, and its exit code
    -- however early it ends. run_process reads what a program writes.
    local child = assert(osbridge.start_process(('"%s" -e "os.exit(3)"'):format(lua)))
    print(("started pid %d; its exit code:"):format(child.pid), osbridge.wait_for_process(child, 30000))
    child:close()
    print("a child's output, read through a pipe:",
          osbridge.run_process(('"%s" -e "io.write(_VERSION)"'):format(lua), {timeout_ms = 30000}))

    print("shell_execute on a missing file:",
          osbridge.shell_execute{filename = "C:\\no such folder\\no such file.txt"})
    print("shell_execute without a file name:", osbridge.shell_execute{})
end

local function windows_and_keyboard()
    -- Windows and keyboard: list the top-level windows, start Notepad, find it,
    -- move it, type into it, and close it again.

    local function wait_for(what, fn)
        for _ = 1, 300 do
            local a, b = fn()
            if a then return a, b end
            osbridge.sleep(100)
        end
        error("gave up waiting for " .. what, 2)
    end

    local count, before = 0, {}
    for window, info in pairs(osbridge.enum_windows()) do
        count = count + 1
        if info.class == "Notepad" then before[window] = true end
    end
    print(("%d top-level windows"):format(count))

    -- Once Notepad is ready for input, its window and edit control are there.
    ending_what_it_starts("notepad.exe", nil, function()
        local process = assert(osbridge.start_process("notepad.exe"))
        print("Notepad ready for input:", osbridge.wait_for_input_idle(process, 30000))
        local notepad, edit
        for window, info in pairs(osbridge.enum_windows()) do
            if info.class == "Notepad" and not before[window] then
                notepad, edit = window, osbridge.get_window(window, osbridge.GW_CHILD)
            end
        end
        assert(edit, "Notepad and its edit control not found")
        print("found Notepad:", osbridge.get_window_text(notepad))
        print("a window that does not come, 200 ms allowed:", osbridge.wait_for_window("OsbNoSuchClass", nil, 200))

        osbridge.set_window_pos(notepad, osbridge.HWND_TOP, 50, 60, 500, 300, 0)
        print("moved to", osbridge.get_window_rect(notepad))

        osbridge.set_foreground_window(notepad)
        wait_for("Notepad in the foreground", function() return osbridge.get_foreground_window() == notepad end)
        osbridge.string_to_keys("Typed by osbridge\r", nil, 1)
        osbridge.keybd_event(osbridge.VK_SHIFT, 0)
        print("Shift down:", osbridge.get_keybd_state(osbridge.VK_SHIFT))
        osbridge.keybd_event(osbridge.VK_SHIFT, osbridge.KEYEVENTF_KEYUP)
        -- Typed keys reach Notepad through its input queue, later than this call
        -- returns: wait until all 19 characters (the Enter as CR LF) are in.
        -- Closing before they are would bring up the "Save changes?" prompt.
        local typed = wait_for("the typed text", function()
            local length = osbridge.send_message(edit, 0x000E)  -- WM_GETTEXTLENGTH
            return length >= 19 and length
        end)
        print("characters in Notepad (WM_GETTEXTLENGTH):", typed)

        local ok, err = osbridge.register_hotkey(nil, 1, osbridge.MOD_CONTROL + osbridge.MOD_ALT, osbridge.VK_F9)
        print("hot key Ctrl+Alt+F9 registered:", ok, err)
        print("withdrawn:", osbridge.unregister_hotkey(nil, 1))

        -- Mark the text unchanged (EM_SETMODIFY) so that closing asks nothing.
        osbridge.send_message(edit, 0x00B9, 0)
        osbridge.send_message(notepad, osbridge.WM_CLOSE)
        print("Notepad closed, its exit code:", osbridge.wait_for_process(process, 30000))
    end)
end

local function user_interaction()
    -- User interaction: the clipboard, bitmap files and sounds. (msgbox and
    -- get_password wait for a person, so the tour only describes them.)

    local dir = os.getenv("TEMP") or "."

    -- Put text on the clipboard, once as ANSI and once as UTF-16, and read it back.
    local saved = osbridge.clipboard_get()
    print("clipboard_set:", osbridge.clipboard_set("Hello from osbridge"))
    print("clipboard_get:", osbridge.clipboard_get())
    print("clipboard_set as UTF-16:", osbridge.clipboard_set("Hello again", true))
    print("clipboard_get:", osbridge.clipboard_get())
    if saved then osbridge.clipboard_set(saved) end

    -- Write a small 24-bit bitmap and ask what it is.
    local function u16(n) return string.char(n % 256, math.floor(n / 256) % 256) end
    local function u32(n) return u16(n % 65536) .. u16(math.floor(n / 65536)) end
    local bmp = dir .. "\\osbridge-tour.bmp"
    local width, height = 40, 30
    local pixels = ("\0\128\255"):rep(width * height)  -- 120 bytes a row: already a multiple of 4
    local f = assert(io.open(bmp, "wb"))
    f:write("BM", u32(54 + #pixels), u32(0), u32(54), u32(40), u32(width), u32(height), u16(1), u16(24),
            u32(0), u32(#pixels), u32(2835), u32(2835), u32(0), u32(0), pixels)
    f:close()
    local info, err = osbridge.bitmap_info(bmp)
    if info then
        print(("bitmap_info: %d x %d, %d bits per pixel"):format(info.width, info.height, info.bits_pixel))
    else
        print("bitmap_info:", err)
    end
    os.remove(bmp)
    print("bitmap_info of a missing file:", osbridge.bitmap_info(dir .. "\\no-such.bmp"))

    -- A tenth of a second of silence, played in the background.
    local samples = 800
    local wav = dir .. "\\osbridge-tour.wav"
    f = assert(io.open(wav, "wb"))
    f:write("RIFF", u32(36 + samples), "WAVE", "fmt ", u32(16), u16(1), u16(1), u32(8000), u32(8000), u16(1), u16(8),
            "data", u32(samples), ("\128"):rep(samples))
    f:close()
    print("play_sound (asynchronous):", osbridge.play_sound(wav))
    osbridge.sleep(300)
    os.remove(wav)

    print("msgbox(text [, caption [, style]]) shows a box and returns the button pressed, e.g. osbridge.IDOK")
    print("get_password() asks for a password in a small dialog and returns it, or nil")
end

local function system_and_device()
    -- System and device: locales, screen metrics, the machine identifier, the
    -- power manager's signal, the input panel, and a print job to a printer that
    -- does not exist. The resets and suspend are left out: on a device they act.
    print("user / system locale:", osbridge.get_user_default_lcid(), osbridge.get_system_default_lcid())
    print("changing the locale is not offered:", osbridge.set_user_default_lcid(1031))
    print(("primary screen: %d x %d pixels"):format(osbridge.get_system_metrics(osbridge.SM_CXSCREEN),
          osbridge.get_system_metrics(osbridge.SM_CYSCREEN)))
    print("machine identifier:", osbridge.serial_number())

    local before = osbridge.get_epoch_ms()
    osbridge.sleep(200)
    print(("slept for about %.0f ms"):format(osbridge.get_epoch_ms() - before))

    print("power manager told to reload its time-outs:", osbridge.powermanager_reload_activity_timeouts())
    print("battery (a fixed answer):", osbridge.get_system_powerstatus())
    print("input method of the input panel (nil without one):", osbridge.sip_get_current_im())

    print("registering a library that is not there:", osbridge.dll_register_server("C:\\no such component.dll"))
    print("printing to a printer that is not there:",
          osbridge.print_on_printer("No Such Printer", "Hello\r\n\f", "osbridge tour"))
end

local function network()
    -- Dial-up and certificates: list phone-book entries and connections, try a
    -- dial that cannot work, and show how the root store reports data that is
    -- no certificate.
    local entries, code = osbridge.ras_entries()
    if entries then
        print(("phone-book entries: %d"):format(#entries))
        for i, name in pairs(entries) do print("", i, name) end
    else
        print("ras_entries failed with", code)
    end
    local connections = osbridge.ras_connections() or {}
    for name, handle in pairs(connections) do
        local status = osbridge.ras_connect_status(handle)
        print("connection", name, status and status.state == osbridge.RASCS_Connected and "up" or "not up")
    end
    print("dialling an empty entry name:", osbridge.ras_dial(""))  -- false 87, the service is not called

    -- clear_browser_cache() would empty the user's URL cache of everything
    -- but cookies, so the tour leaves it alone.

    -- Anything but DER certificate data is refused before the store changes.
    print("add_cert_to_store of a truncated certificate:", osbridge.add_cert_to_store("\48\130\1\34"))
    print("get_net_adapters_info:", osbridge.get_net_adapters_info())
    print("phone_makecall:", osbridge.phone_makecall("555-0100"))
end

part("registry and files", registry_and_files)
part("processes", processes)
part("windows and keyboard", windows_and_keyboard)
part("clipboard, bitmaps and sound", user_interaction)
part("system and device", system_and_device)
part("dial-up, URL cache and certificates", network)
if failed > 0 then
    print(("\n%d part(s) failed"):format(failed))
    os.exit(1)
end
