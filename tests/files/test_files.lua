-- Single-file operations on the prefix's real file system, each test in a
-- fresh directory under %TEMP%.

local tree = dofile(SUITE_DIR .. "\\files\\tree.lua")
local texts = require "texts"

TestFileOperations = {}

function TestFileOperations:setUp()
    self.dir = tree.fresh_dir("files")
    self.a = self.dir .. "\\a.txt"
    self.b = self.dir .. "\\b.txt"
end

function TestFileOperations:tearDown()
    tree.remove(self.dir)
end

function TestFileOperations:test_copy_modes()
    tree.write(self.a, "new")
    tree.write(self.b, "old")
    for _, mode in ipairs({ false, 2, 0, 3, -1, "2" }) do
        local copied
        if mode then copied = osbridge.copy_file(self.a, self.b, mode) else copied = osbridge.copy_file(self.a, self.b) end
        lu.assertFalse(copied, "mode " .. tostring(mode))
        lu.assertEquals(tree.read(self.b), "old", "mode " .. tostring(mode))
    end
    lu.assertTrue(osbridge.copy_file(self.a, self.b, osbridge.COPY_FILE_OVERWRITE))
    lu.assertEquals(tree.read(self.b), "new")
    local c = self.dir .. "\\c.txt"
    lu.assertTrue(osbridge.copy_file(self.a, c, nil))
    lu.assertEquals(tree.read(c), "new")
    lu.assertTrue(osbridge.copy_file(self.a, c, 1.0, "extra"))
end

function TestFileOperations:test_empty_paths_fail_without_a_system_call()
    tree.write(self.a)
    local calls = {
        { "copy_file", { self.a, "" } }, { "copy_file", { "", self.b } }, { "copy_file", { self.a, "\0" .. self.b } },
        { "move_file", { self.a, "" } }, { "move_file", { "", self.b } },
        { "delete_file", { "" } }, { "mkdir", { "" } }, { "file_exist", { "" } },
    }
    -- A failed copy leaves "file not found" (2); no later call may replace it.
    lu.assertFalse(osbridge.copy_file(self.dir .. "\\missing.txt", self.b))
    lu.assertStrMatches(osbridge.get_last_error(), "^[^\r\n]+ %(2%)$")
    for _, call in ipairs(calls) do
        lu.assertEquals({ osbridge[call[1]](unpack(call[2])) }, { false }, call[1])
    end
    lu.assertEquals({ osbridge.file_size("") }, { nil })
    lu.assertStrMatches(osbridge.get_last_error(), "^[^\r\n]+ %(2%)$")
    lu.assertEquals(tree.read(self.a), "x")
    lu.assertNil(tree.read(self.b))
end

function TestFileOperations:test_move_renames_files_and_directories_without_replacing()
    tree.write(self.a, "moved")
    lu.assertTrue(osbridge.move_file(self.a, self.b))
    lu.assertNil(tree.read(self.a))
    lu.assertEquals(tree.read(self.b), "moved")
    tree.write(self.a, "other")
    lu.assertFalse(osbridge.move_file(self.a, self.b))
    lu.assertEquals(tree.read(self.b), "moved")
    local sub, renamed = self.dir .. "\\sub", self.dir .. "\\renamed"
    lu.assertTrue(osbridge.mkdir(sub))
    lu.assertTrue(osbridge.move_file(sub, renamed))
    lu.assertTrue(tree.dir_exists(renamed))
    lu.assertFalse(tree.dir_exists(sub))
end

function TestFileOperations:test_delete_file_and_mkdir()
    tree.write(self.a)
    lu.assertTrue(osbridge.delete_file(self.a))
    lu.assertNil(tree.read(self.a))
    lu.assertFalse(osbridge.delete_file(self.a))
    local sub = self.dir .. "\\sub"
    lu.assertTrue(osbridge.mkdir(sub))
    lu.assertFalse(osbridge.mkdir(sub))
    lu.assertFalse(osbridge.delete_file(sub))
    lu.assertTrue(tree.dir_exists(sub))
    lu.assertFalse(osbridge.mkdir(self.dir .. "\\missing\\child"))
    lu.assertFalse(tree.dir_exists(self.dir .. "\\missing"))
    -- Paths end at their first NUL byte.
    lu.assertTrue(osbridge.mkdir(self.dir .. "\\cut\0ignored"))
    lu.assertTrue(tree.dir_exists(self.dir .. "\\cut"))
end

function TestFileOperations:test_file_exist()
    tree.write(self.a)
    lu.assertTrue(osbridge.file_exist(self.a))
    lu.assertFalse(osbridge.file_exist(self.b))
    lu.assertFalse(osbridge.file_exist(self.dir))
    lu.assertFalse(osbridge.file_exist(""))
    -- Long paths are seen as well as short ones.
    local long = self.dir .. "\\" .. string.rep("n", 200)
    lu.assertFalse(osbridge.file_exist(long))
    tree.write(long)
    lu.assertTrue(osbridge.file_exist(long))
    lu.assertFalse(osbridge.file_exist(long .. "\\"))
end

function TestFileOperations:test_non_ascii_names()
    for _, s in ipairs(texts) do
        local sub, file = self.dir .. "\\" .. s.ansi, self.dir .. "\\" .. s.ansi .. ".txt"
        lu.assertTrue(osbridge.mkdir(sub), s.utf8)
        lu.assertFalse(osbridge.mkdir(sub), s.utf8)
        tree.write(file, s.ansi)
        lu.assertTrue(osbridge.file_exist(file), s.utf8)
        lu.assertEquals(osbridge.file_size(file), #s.ansi, s.utf8)
        local copy, moved = sub .. "\\" .. s.ansi, sub .. "\\" .. s.ansi .. " 2"
        lu.assertTrue(osbridge.copy_file(file, copy), s.utf8)
        lu.assertTrue(osbridge.move_file(copy, moved), s.utf8)
        lu.assertEquals({ tree.read(copy), tree.read(moved) }, { nil, s.ansi }, s.utf8)
        lu.assertTrue(osbridge.delete_file(file), s.utf8)
        lu.assertFalse(osbridge.file_exist(file), s.utf8)
        lu.assertEquals({ osbridge.rmdir(sub) }, { true })
        lu.assertNil(tree.read(moved), s.utf8)
        lu.assertTrue(osbridge.move_file(sub, sub .. " 2"), s.utf8)
        lu.assertTrue(tree.dir_exists(sub .. " 2"), s.utf8)
    end
end

function TestFileOperations:test_texts_beyond_the_ansi_code_page_in_utf8()
    tree.write(self.a, "content")
    texts.in_utf8(function()
        for _, text in ipairs(texts.unicode) do
            local sub, file = self.dir .. "\\" .. text, self.dir .. "\\" .. text .. ".txt"
            lu.assertTrue(osbridge.mkdir(sub), text)
            lu.assertFalse(osbridge.mkdir(sub), text)
            lu.assertTrue(osbridge.copy_file(self.a, file), text)
            lu.assertEquals({ osbridge.file_exist(file), osbridge.file_exist(sub) }, { true, false }, text)
            lu.assertEquals(osbridge.file_size(file), 7, text)
            local moved = sub .. "\\" .. text
            lu.assertTrue(osbridge.move_file(file, moved), text)
            lu.assertEquals({ osbridge.file_exist(file), osbridge.file_exist(moved) }, { false, true }, text)
            -- Back under a name that io.open reads: the same file.
            lu.assertTrue(osbridge.copy_file(moved, self.b, osbridge.COPY_FILE_OVERWRITE), text)
            lu.assertEquals(tree.read(self.b), "content", text)
            lu.assertEquals({ osbridge.rmdir(sub) }, { true }, text)
            lu.assertFalse(osbridge.file_exist(moved), text)
            lu.assertTrue(osbridge.move_file(sub, sub .. " 2"), text)
            lu.assertFalse(osbridge.mkdir(sub .. " 2"), text)
        end
    end)
    -- Read as ANSI text, those bytes name other files, except in a UTF-8 host.
    local file = self.dir .. "\\" .. texts.unicode[4] .. " 2\\x"
    tree.write(self.a)
    texts.in_utf8(osbridge.copy_file, self.a, file)
    lu.assertEquals(osbridge.file_exist(file), CODE_PAGE == 65001)
end

function TestFileOperations:test_paths_that_are_no_utf8_fail_in_utf8()
    tree.write(self.a)
    texts.in_utf8(function()
        for _, bad in ipairs(texts.invalid_utf8) do
            local path = self.dir .. "\\" .. bad
            lu.assertEquals({ osbridge.mkdir(path), osbridge.copy_file(self.a, path), osbridge.move_file(self.a, path),
                              osbridge.file_exist(path), osbridge.file_size(path), osbridge.delete_file(path) },
                            { false, false, false, false, nil, false }, bad)
            lu.assertEquals({ osbridge.rmdir(path) }, { false, "a2w() failed" }, bad)
            lu.assertEquals({ osbridge.exec(path) }, { false, 0 }, bad)
        end
    end)
    lu.assertNotNil(tree.read(self.a))
end

function TestFileOperations:test_file_exist_across_the_128_byte_limit_in_any_code_page()
    -- The system's existence test holds 127 bytes of path; here full paths of
    -- 124 to 132 bytes end in three characters of the widest kind, so that
    -- one of them straddles the limit.
    local tail = texts.char.ansi:rep(3)
    for length = 124, 132 do
        local path = self.dir .. "\\" .. string.rep("p", length - #self.dir - 1 - #tail) .. tail
        tree.write(path)
        lu.assertTrue(osbridge.file_exist(path), length)
        lu.assertFalse(osbridge.file_exist(path .. "x"), length)
        osbridge.delete_file(path)
    end
end

function TestFileOperations:test_file_size()
    tree.write(self.a, "")
    lu.assertEquals(osbridge.file_size(self.a), 0)
    tree.write(self.a, string.rep("z", 70000))
    lu.assertEquals(osbridge.file_size(self.a), 70000)
    lu.assertNil(osbridge.file_size(self.b))
    lu.assertNil(osbridge.file_size(self.dir))
    -- Another writer keeps others to reading only.
    local writer = assert(io.open(self.b, "wb"))
    local held = osbridge.file_size(self.b)
    writer:close()
    lu.assertNil(held)
    lu.assertEquals(osbridge.file_size(self.b), 0)
end

function TestFileOperations:test_file_size_beyond_32_bits()
    for _, size in ipairs({ 2147483648, 4294967295, 4294967296 + 5 }) do
        lu.assertTrue(tree.fs.set_size(self.b, size))
        lu.assertEquals(osbridge.file_size(self.b), size)
    end
    osbridge.delete_file(self.b)
end

function TestFileOperations:test_current_dir_is_the_interpreter_folder()
    local dir = osbridge.get_current_dir()
    lu.assertEquals(dir:lower(), (BUILD_DIR .. "\\"):lower())
    lu.assertEquals(select("#", osbridge.get_current_dir("ignored")), 1)
end

function TestFileOperations:test_current_dir_of_an_interpreter_in_a_non_ascii_folder()
    local host = require("support").interpreter
    local folder = self.dir .. "\\" .. texts.joined.ansi
    lu.assertTrue(osbridge.mkdir(folder))
    for _, name in ipairs({ host, LUA_DLL, "osbridge.dll" }) do
        lu.assertTrue(osbridge.copy_file(BUILD_DIR .. "\\" .. name, folder .. "\\" .. name), name)
    end
    local out, program = self.dir .. "\\dir.txt", folder .. "\\" .. host
    local script = ("require 'osbridge' local f = io.open([[%s]], 'wb') f:write(osbridge.get_current_dir()) f:close()")
        :format(out)
    lu.assertEquals({ osbridge.exec(program, ('"%s" -e "%s"'):format(program, script), 1) }, { true, 0 })
    lu.assertEquals(tree.read(out), folder .. "\\")
end

function TestFileOperations:test_argument_errors()
    local calls = {
        { "copy_file", { nil, "x" }, "#1" }, { "copy_file", { "x", {} }, "#2" }, { "copy_file", { "x", "y", "z" }, "#3" },
        { "move_file", { "x" }, "#2" }, { "delete_file", { true }, "#1" }, { "mkdir", {}, "#1" },
        { "file_exist", { {} }, "#1" }, { "file_size", { nil }, "#1" },
    }
    for _, call in ipairs(calls) do
        local ok, message = pcall(osbridge[call[1]], unpack(call[2], 1, 3))
        lu.assertFalse(ok, call[1])
        lu.assertStrContains(message, "bad argument " .. call[3], false, call[1])
    end
end

TestFileDrives = {}

local DRIVE_TYPES = { fixed = true, removable = true, remote = true, cdrom = true, ramdisk = true, unknown = true }

-- The drives by root, each checked for the fields every drive has.
local function drives_by_root()
    local list, by_root = osbridge.drives(), {}
    for _, drive in ipairs(list) do
        lu.assertStrMatches(drive.root, "%u:\\")
        lu.assertTrue(DRIVE_TYPES[drive.type], drive.root .. " " .. tostring(drive.type))
        lu.assertEquals(drive.free == nil, drive.total == nil, drive.root)
        by_root[drive.root] = drive
    end
    return by_root
end

function TestFileDrives:test_the_prefix_drives_and_mapped_folders()
    local before = drives_by_root()
    local c = before["C:\\"]
    lu.assertEquals(c.type, "fixed")
    lu.assertTrue(c.total > 0 and c.free >= 0 and c.free <= c.total and c.total % 1 == 0 and c.free % 1 == 0)
    lu.assertTrue(type(c.label) == "string" and c.filesystem ~= "")
    local letter
    for code = ("Y"):byte(), ("M"):byte(), -1 do
        if not before[string.char(code) .. ":\\"] then letter = string.char(code) .. ":" break end
    end
    local dir = tree.fresh_dir("drives")
    local missing = dir .. "\\missing"
    -- A folder, and a folder that is not there: that drive has its root and
    -- type, no sizes, and the thread's error mode stays as it was (no box).
    local seen, mode = {}, tree.fs.error_mode()
    for _, target in ipairs({ dir, missing }) do
        lu.assertTrue(tree.fs.map_drive(letter, target), target)
        seen[target] = drives_by_root()[letter .. "\\"] or false
        tree.fs.unmap_drive(letter, target)
    end
    tree.remove(dir)
    lu.assertEquals(tree.fs.error_mode(), mode)
    -- (Wine calls such a drive "unknown" and gives no sizes for it.)
    lu.assertTrue(seen[dir] ~= false, "mapped folder")
    lu.assertTrue(seen[missing] and seen[missing].total == nil, "mapping of a missing folder")
    lu.assertNil(drives_by_root()[letter .. "\\"], "mapping withdrawn")
end
