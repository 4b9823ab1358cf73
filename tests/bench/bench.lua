-- The benchmark: each operation of osbridge beside its floor (fixtures/benchfloor.dll,
-- the same system calls in C loops), batch after batch in this one process.
-- Results are checked before anything is timed. Prints a table and writes
-- it as results.tsv, results.md (against the floor) and times.md (time per call) into OUT_DIR.
-- Usage: lua bench.lua BUILD_DIR OUT_DIR [BATCHES] [MODULE_DIR] [ONLY]
--   MODULE_DIR: where osbridge.dll is taken from ("" or absent: BUILD_DIR),
--   so that an older build can be measured with the same bench.
--   ONLY: a Lua pattern; only the operations whose names match run.

local BUILD_DIR, OUT_DIR = arg[1], arg[2]
local BATCHES = tonumber(arg[3]) or 11
local MODULE_DIR = (arg[4] or "") ~= "" and arg[4] or BUILD_DIR
local ONLY = arg[5]
package.cpath = BUILD_DIR .. "\\fixtures\\?.dll;" .. package.cpath
local floor = require "benchfloor"
local now = floor.now

package.cpath = MODULE_DIR .. "\\?.dll;" .. package.cpath
local t0 = now()
require "osbridge"
local first_require = now() - t0

local HKCU = osbridge.HKEY_CURRENT_USER
local REG_PATH = "Software\\osbridge-bench"
local TEMP = os.getenv("TEMP")
io.stdout:setvbuf("no")

local function check(condition, what)
    if not condition then error("result check failed: " .. what, 2) end
end

local function median(list)
    local sorted = {}
    for i, v in ipairs(list) do sorted[i] = v end
    table.sort(sorted)
    local n = #sorted
    return n % 2 == 1 and sorted[(n + 1) / 2] or (sorted[n / 2] + sorted[n / 2 + 1]) / 2
end

local function min_max(list)
    local lo, hi = math.huge, -math.huge
    for _, v in ipairs(list) do lo, hi = math.min(lo, v), math.max(hi, v) end
    return lo, hi
end

-- Passes exactly the arguments given: get_keybd_state reads its last one.
local function loop(n, f, ...)
    local start = now()
    for _ = 1, n do f(...) end
    return now() - start
end

-- Operations: name, unit ("us" per call, or "GB/s" of input with `bytes`),
-- calls per batch, target text and test, osbridge and floor batches (each
-- returns seconds for `calls` calls), and an optional setup run once before
-- the check.
local ops = {}
local function op(t) ops[#ops + 1] = t end

local windows_process
local bench_window

-- A 210-window desktop: the windows already there plus a program of ours.
local function windows_setup()
    if windows_process then return end
    local _, existing = floor.enum_windows(1)
    local wanted = math.max(1, 210 - existing)
    local program = BUILD_DIR .. "\\fixtures\\benchwin.exe"
    osbridge.exec(program, ('"%s" %d'):format(program, wanted), 0)
    local deadline = now() + 30
    repeat
        osbridge.sleep(50)
        bench_window = osbridge.find_window("OsbBench", "osbridge bench " .. wanted)
    until bench_window or now() > deadline
    check(bench_window, "the bench windows did not appear")
    windows_process = true
end

local per_call = { text = "<= 1.10x", test = function(ratio) return ratio <= 1.10 end }
local function per_call_op(t)
    t.unit, t.target, t.test = "us", per_call.text, per_call.test
    op(t)
end

per_call_op {
    name = "find_window", calls = 50, setup = windows_setup,
    check = function()
        local _, found = floor.find_window(1, "OsbBench", "osbridge bench 100")
        check(found and osbridge.find_window("OsbBench", "osbridge bench 100") == found, "find_window")
    end,
    osb = function(n) return loop(n, osbridge.find_window, "OsbBench", "osbridge bench 100") end,
    floor = function(n) return (floor.find_window(n, "OsbBench", "osbridge bench 100")) end,
}

per_call_op {
    name = "get_window_text", calls = 1000, setup = windows_setup,
    check = function()
        local _, length = floor.get_window_text(1, bench_window)
        local text = osbridge.get_window_text(bench_window)
        check(text and text:match("^osbridge bench %d+$") and #text == length, "get_window_text")
    end,
    osb = function(n) return loop(n, osbridge.get_window_text, bench_window) end,
    floor = function(n) return (floor.get_window_text(n, bench_window)) end,
}

per_call_op {
    name = "get_foreground_window", calls = 2000,
    check = function()
        local _, window = floor.get_foreground_window(1)
        check(osbridge.get_foreground_window() == window, "get_foreground_window")
    end,
    osb = function(n) return loop(n, osbridge.get_foreground_window) end,
    floor = function(n) return (floor.get_foreground_window(n)) end,
}

local TEXT20 = "abcdefghijklmnopqrst"
per_call_op {
    name = "reg_get_value REG_DWORD", calls = 500,
    setup = function()
        check(osbridge.reg_set_value(HKCU, REG_PATH, "dword", 123456789), "reg_set_value dword")
        check(osbridge.reg_set_value(HKCU, REG_PATH, "text", TEXT20, 1), "reg_set_value text")
    end,
    check = function()
        check(osbridge.reg_get_value(HKCU, REG_PATH, "dword") == 123456789, "reg_get_value dword")
        check(select(2, floor.reg_get_value(1, HKCU, REG_PATH, "dword")) == 4, "floor dword")
    end,
    osb = function(n) return loop(n, osbridge.reg_get_value, HKCU, REG_PATH, "dword") end,
    floor = function(n) return (floor.reg_get_value(n, HKCU, REG_PATH, "dword")) end,
}

per_call_op {
    name = "reg_get_value REG_SZ (20 chars)", calls = 500,
    check = function()
        check(osbridge.reg_get_value(HKCU, REG_PATH, "text") == TEXT20, "reg_get_value text")
        check(select(2, floor.reg_get_value(1, HKCU, REG_PATH, "text")) == 42, "floor text")
    end,
    osb = function(n) return loop(n, osbridge.reg_get_value, HKCU, REG_PATH, "text") end,
    floor = function(n) return (floor.reg_get_value(n, HKCU, REG_PATH, "text")) end,
}

local KIB = floor.bytes(768):gsub("[%z\1-\31\128-\255]", "x") .. ("0123456789abcdef"):rep(16)
local function clipboard_both(text)
    osbridge.clipboard_set(text)
    return osbridge.clipboard_get()
end
per_call_op {
    name = "clipboard set+get 1 KiB", calls = 100,
    check = function()
        check(#KIB == 1024 and clipboard_both(KIB) == KIB, "clipboard")
        check(select(2, floor.clipboard(1, KIB)) >= 1025, "floor clipboard")
    end,
    osb = function(n) return loop(n, clipboard_both, KIB) end,
    floor = function(n) return (floor.clipboard(n, KIB)) end,
}

local EXISTING = BUILD_DIR .. "\\lua.exe"
per_call_op {
    name = "file_exist", calls = 500,
    check = function()
        check(osbridge.file_exist(EXISTING) and select(2, floor.file_exist(1, EXISTING)), "file_exist")
    end,
    osb = function(n) return loop(n, osbridge.file_exist, EXISTING) end,
    floor = function(n) return (floor.file_exist(n, EXISTING)) end,
}

per_call_op {
    name = "get_keybd_state", calls = 100000,
    check = function()
        check(osbridge.get_keybd_state(0x41) == select(2, floor.get_keybd_state(1, 0x41)), "get_keybd_state")
    end,
    osb = function(n) return loop(n, osbridge.get_keybd_state, 0x41) end,
    floor = function(n) return (floor.get_keybd_state(n, 0x41)) end,
}

per_call_op {
    name = "enum_windows (210 windows)", calls = 10, setup = windows_setup,
    check = function()
        local count = 0
        for _, w in pairs(osbridge.enum_windows()) do
            count = count + 1
            check(w.class, "enum_windows class")
        end
        local _, floor_count = floor.enum_windows(1)
        check(count == floor_count and count >= 210, "enum_windows count " .. count .. " / " .. floor_count)
    end,
    osb = function(n) return loop(n, osbridge.enum_windows) end,
    floor = function(n) return (floor.enum_windows(n)) end,
}

per_call_op {
    name = "process_list", calls = 40,
    check = function()
        local rows = osbridge.process_list()
        local count = 0
        for _ in pairs(rows) do count = count + 1 end
        local _, floor_count = floor.process_list(1)
        check(count == floor_count, "process_list count " .. count .. " / " .. floor_count)
    end,
    osb = function(n) return loop(n, osbridge.process_list) end,
    floor = function(n) return (floor.process_list(n)) end,
}

-- Codecs: GB/s of input; the floor is memcpy of the same bytes.
local MIB = 1024 * 1024
local data, hex_input = {}, {}
-- `prepare` makes the input from source bytes (half as many for from_hex).
local function codec_op(name, f, size, calls, target, minimum, prepare)
    local source = prepare and size / 2 or size
    op {
        name = ("%s %d MiB"):format(name, size / MIB), unit = "GB/s", bytes = size, calls = calls,
        target = target, test = function(_, gbps) return gbps >= minimum end,
        check = function()
            data[source] = data[source] or floor.bytes(source)
            local input = prepare and prepare(data[source]) or data[source]
            if name == "crc16" then
                local h, l = osbridge.crc16(input)
                check(h:byte() * 256 + l:byte() == floor.crc16(input), "crc16")
            elseif name == "to_hex" then
                local text = osbridge.to_hex(input)
                check(#text == 2 * size and text:sub(1, 4096) == floor.hex(input:sub(1, 2048))
                      and text:sub(-4096) == floor.hex(input:sub(-2048)) and osbridge.from_hex(text) == input, "to_hex")
            else
                check(osbridge.from_hex(input) == data[source], "from_hex")
            end
        end,
        osb = function(n)
            local input = prepare and prepare(data[source]) or data[source]
            collectgarbage()
            return loop(n, f, input)
        end,
        floor = function(n) return floor.copy(n, size) end,
        done = function()
            hex_input[data[source]] = nil
            data[source] = nil
            collectgarbage()
        end,
    }
end
local function as_hex(bytes)
    hex_input[bytes] = hex_input[bytes] or osbridge.to_hex(bytes):lower()
    return hex_input[bytes]
end
codec_op("crc16", osbridge.crc16, MIB, 100, ">= 3 GB/s", 3)
codec_op("to_hex", osbridge.to_hex, MIB, 30, ">= 2 GB/s", 2)
codec_op("from_hex", osbridge.from_hex, MIB, 50, ">= 1 GB/s", 1, as_hex)
codec_op("crc16", osbridge.crc16, 64 * MIB, 2, ">= 3 GB/s", 3)
codec_op("to_hex", osbridge.to_hex, 64 * MIB, 1, ">= 1 GB/s", 1)

-- rmdir: a fresh tree of 10,000 files in 100 folders for each side and batch.
local TREE = TEMP .. "\\osbridge-bench-tree"
op {
    name = "rmdir 10,000 files", unit = "us", calls = 1, target = "<= 1.20x",
    test = function(ratio) return ratio <= 1.20 end,
    check = function()
        check(floor.make_tree(TREE, 10, 10) == 100, "make_tree")
        check(osbridge.rmdir(TREE) and floor.count_entries(TREE) == 0, "rmdir")
        check(floor.make_tree(TREE, 10, 10) == 100 and floor.rmdir(TREE) and floor.count_entries(TREE) == 0,
              "floor rmdir")
    end,
    osb = function()
        check(floor.make_tree(TREE, 100, 100) == 10000, "make_tree")
        local start = now()
        osbridge.rmdir(TREE)
        local seconds = now() - start
        check(floor.count_entries(TREE) == 0, "rmdir left entries")
        return seconds
    end,
    floor = function()
        check(floor.make_tree(TREE, 100, 100) == 10000, "make_tree")
        local seconds = floor.rmdir(TREE)
        check(floor.count_entries(TREE) == 0, "floor rmdir left entries")
        return seconds
    end,
    batches = math.min(BATCHES, 5), no_warm_up = true,
}

-- What loading the module costs a script, whole: a process that only
-- requires it, beside one that loads just the five system libraries its loader
-- must have (fixtures/benchload.exe). One run of each per batch, in turn first.
local REQUIRE_ONLY = ('"%s\\lua.exe" -e "package.cpath = [[%s\\?.dll]] require [[osbridge]]"'):format(BUILD_DIR,
                                                                                                  MODULE_DIR)
local LOAD_FIVE = ('"%s\\fixtures\\benchload.exe"'):format(BUILD_DIR)
local PROCESS_RUNS = math.max(BATCHES, 21)
op {
    name = "process: require \"osbridge\"", unit = "us", calls = 1, target = "<= 1.15x",
    test = function(ratio) return ratio <= 1.15 end,
    check = function()
        check(select(2, floor.run(REQUIRE_ONLY)) == 0, "lua.exe -e 'require \"osbridge\"' failed")
        check(select(2, floor.run(LOAD_FIVE)) == 0, "benchload.exe did not load the five libraries")
    end,
    osb = function() return (floor.run(REQUIRE_ONLY)) end,
    floor = function() return (floor.run(LOAD_FIVE)) end,
    batches = PROCESS_RUNS,
}

-- A trivial program run to its end with 1 MiB of output read (the process
-- tests' child), beside a C loop that reads one pipe to its end.
local MIB_OUT = ('"%s\\fixtures\\proc_child.exe" streams 1048576 0 0'):format(BUILD_DIR)
op {
    name = "run_process, 1 MiB of output", unit = "us", calls = 1, target = "reported",
    check = function()
        local code, output = osbridge.run_process(MIB_OUT)
        check(code == 0 and #output == MIB, "run_process output")
        check(select(2, floor.run_piped(MIB_OUT)) == MIB, "floor run_piped output")
    end,
    osb = function()
        local start = now()
        osbridge.run_process(MIB_OUT)
        return now() - start
    end,
    floor = function() return (floor.run_piped(MIB_OUT)) end,
    batches = PROCESS_RUNS,
}

-- From a window's creation (fixtures/waitwin.exe logs the performance
-- counter just after) to the return of wait_for_window.
local waits = 0
op {
    name = "wait_for_window, latency", unit = "us", calls = 1, target = "<= 50 ms",
    test = function(_, us) return us <= 50000 end,
    check = function() check(osbridge.wait_for_window("OsbBenchNoSuchClass", nil, 0) == nil, "wait_for_window") end,
    osb = function()
        waits = waits + 1
        local class = "OsbBenchWait" .. waits
        local log = ("%s\\osbridge-bench-wait.log"):format(TEMP)
        os.remove(log)
        local p = assert(osbridge.start_process(('"%s\\fixtures\\waitwin.exe" 300 %s %s "%s"'):format(
            BUILD_DIR, class, class, log)))
        check(osbridge.wait_for_window(class, nil, 30000), "the window did not come")
        local found = now()
        local created
        for _ = 1, 3000 do
            local f = io.open(log)
            created = f and tonumber(select(2, f:read("*l", "*l")))
            if f then f:close() end
            if created then break end
            osbridge.sleep(10)
        end
        check(created, "waitwin logged no creation")
        osbridge.terminate_process(p.pid, 0)
        osbridge.wait_for_process(p, 30000)
        p:close()
        os.remove(log)
        return found - created
    end,
    batches = PROCESS_RUNS,
}

-- The module's own set-up, without the file search that require makes
-- before it (a second require finds the library by searching the paths).
local luaopen = package.loadlib(MODULE_DIR .. "\\osbridge.dll", "luaopen_osbridge")
op {
    name = "luaopen_osbridge again", unit = "us", calls = 200, target = "reported",
    check = function() check(luaopen, "luaopen_osbridge not found") end,
    osb = function(n)
        local start = now()
        for _ = 1, n do luaopen() end
        return now() - start
    end,
}

-- Runs every operation; the two sides alternate which goes first.
local rows = {}
for _, o in ipairs(ops) do
  if not ONLY or o.name:find(ONLY) then
    if o.setup then o.setup() end
    o.check()
    if not o.no_warm_up then
        o.osb(math.max(1, math.floor(o.calls / 10)))
        if o.floor then o.floor(math.max(1, math.floor(o.calls / 10))) end
    end
    local osb, base, ratios = {}, {}, {}
    -- A batch takes turns in ten slices, so that both sides of a batch meet
    -- the same load from the rest of the machine.
    local slices = o.calls >= 10 and 10 or 1
    local per_slice = o.calls / slices
    for batch = 1, o.batches or BATCHES do
        local a, b = 0, o.floor and 0
        for slice = 1, slices do
            if (batch + slice) % 2 == 0 or not o.floor then
                a = a + o.osb(per_slice); b = b and b + o.floor(per_slice)
            else
                b = b + o.floor(per_slice); a = a + o.osb(per_slice)
            end
        end
        osb[#osb + 1] = a / o.calls
        if b then
            base[#base + 1] = b / o.calls
            ratios[#ratios + 1] = a / b
        end
    end
    if o.done then o.done() end
    local row = { name = o.name, unit = o.unit, target = o.target, bytes = o.bytes }
    local function value(seconds)
        if o.unit == "GB/s" then return o.bytes / seconds / 1e9 end
        return seconds * 1e6
    end
    local lo, hi = min_max(osb)
    row.osb, row.osb_lo, row.osb_hi = value(median(osb)), value(hi), value(lo)
    if o.unit ~= "GB/s" then row.osb_lo, row.osb_hi = row.osb_hi, row.osb_lo end
    if #base > 0 then
        row.floor = value(median(base))
        row.ratio = median(ratios)
        row.ratio_lo, row.ratio_hi = min_max(ratios)
    end
    row.met = o.test and (o.test(row.ratio, row.osb) and "yes" or "no") or "-"
    rows[#rows + 1] = row
    local compared = row.ratio and ("floor %10.3f  ratio %.3f (%.3f-%.3f)"):format(row.floor, row.ratio,
        row.ratio_lo, row.ratio_hi) or ""
    io.write(("%-34s %10.3f %-4s  %s  %s %s\n"):format(row.name, row.osb, row.unit, compared, row.target, row.met))
  end
end
rows[#rows + 1] = { name = "require \"osbridge\" first (loads the DLL)", unit = "us", osb = first_require * 1e6,
                    osb_lo = first_require * 1e6, osb_hi = first_require * 1e6, target = "reported", met = "-" }

-- What writing a fresh block costs here: each result of to_hex is one (the
-- string Lua makes), twice the size of the input.
local fresh = {}
for batch = 1, BATCHES do fresh[batch] = floor.fresh(20, 2 * MIB) / 20 end
local notes = { ("A fresh 2 MiB block from the C heap, written once and freed, takes %.2f ms here (%.2f GB/s):"
    .. " the string that `to_hex` returns for 1 MiB of input is such a block."):format(median(fresh) * 1e3,
    2 * MIB / median(fresh) / 1e9) }
-- What Lua itself costs per call: get_keybd_state without arguments returns
-- at once, before any system call.
local empty = {}
for batch = 1, BATCHES do empty[batch] = loop(100000, osbridge.get_keybd_state) / 100000 end
notes[2] = ("A Lua call of a C function that returns at once takes %.0f ns here; that much of each per-call"
    .. " time above is Lua's own."):format(median(empty) * 1e9)
notes[3] = ("The row \"process: require \"osbridge\"\" times whole processes, from CreateProcessW to their end:"
    .. " `lua.exe -e \"require 'osbridge'\"` beside fixtures/benchload.exe, a C program that loads only the five"
    .. " system libraries the module's loader must have (ole32, shell32, advapi32, user32, kernel32); %d runs of"
    .. " each, in pairs, each pair in the other order. The libraries behind printing, dial-up, the URL cache,"
    .. " certificates, sounds and bitmaps are loaded by the first call that needs one, so a script that does not"
    .. " use them does not pay for them."):format(PROCESS_RUNS)
notes[4] = ("The row \"run_process, 1 MiB of output\" runs a program that writes 1 MiB to its output, beside a C"
    .. " loop that starts the same program with its output on a pipe and reads it all (%d runs of each). The row"
    .. " \"wait_for_window, latency\" is the time from a window's creation, as the program that creates it reads the"
    .. " performance counter just after CreateWindow returns, to the return of wait_for_window; the window can be"
    .. " found before CreateWindow has returned, so a batch can come out below zero."):format(PROCESS_RUNS)
for _, note in ipairs(notes) do print(note) end

if windows_process then floor.post_close(bench_window) end
osbridge.reg_delete_key(HKCU, REG_PATH)
floor.rmdir(TREE)
os.remove(TREE)

-- Per call in microseconds (milliseconds from 1000), or GB/s of input; the
-- spread is the lowest and highest batch.
local function shown(us_or_gbps, unit)
    if not us_or_gbps then return "-" end
    if unit == "GB/s" then return ("%.2f GB/s"):format(us_or_gbps) end
    if us_or_gbps >= 1000 then return ("%.1f ms"):format(us_or_gbps / 1000) end
    return ("%.3g µs"):format(us_or_gbps)
end
-- The time of one call; for the codecs with the rate it makes.
local function per_call(r, value)
    if r.unit ~= "GB/s" then return shown(value, r.unit) end
    return ("%s (%.2f GB/s)"):format(shown(r.bytes / value / 1e3, "us"), value)
end
local md = { "| operation | osbridge | spread (batches) | floor | ratio (spread) | target | met |",
             "|---|---:|---:|---:|---:|---|---|" }
local times = { "| operation | time per call | fastest – slowest batch |", "|---|---:|---:|" }
local tsv = {}
for _, r in ipairs(rows) do
    local fast, slow = r.osb_lo, r.osb_hi
    if r.unit == "GB/s" then fast, slow = slow, fast end
    times[#times + 1] = ("| %s | %s | %s – %s |"):format(r.name, per_call(r, r.osb), per_call(r, fast), per_call(r, slow))
    md[#md + 1] = ("| %s | %s | %s – %s | %s | %s | %s | %s |"):format(r.name, shown(r.osb, r.unit),
        shown(r.osb_lo, r.unit), shown(r.osb_hi, r.unit), shown(r.floor, r.unit),
        r.ratio and ("%.2f× (%.2f–%.2f)"):format(r.ratio, r.ratio_lo, r.ratio_hi) or "-",
        r.target:gsub("<=", "≤"):gsub(">=", "≥"):gsub("x$", "×"), r.met)
    if r.ratio then tsv[#tsv + 1] = ("%s\t%.4f\t%.4f\t%.4f"):format(r.name, r.ratio, r.ratio_lo, r.ratio_hi) end
end
local function write(name, lines)
    local f = assert(io.open(OUT_DIR .. "\\" .. name, "w"))
    f:write(table.concat(lines, "\n"), "\n")
    f:close()
end
write("results.md", md)
write("times.md", times)
write("notes.md", notes)
write("results.tsv", tsv)
