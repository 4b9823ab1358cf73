-- Emptying directory trees on the prefix's real file system, each test in a
-- fresh directory under %TEMP%.

local tree = dofile(SUITE_DIR .. "\\files\\tree.lua")
local texts = require "texts"

-- Makes directories (names ending in a backslash) and files below top.
local function build(top, entries)
    for _, entry in ipairs(entries) do
        if entry:sub(-1) == "\\" then
            assert(osbridge.mkdir(top .. "\\" .. entry:sub(1, -2)), "cannot create " .. entry)
        else
            tree.write(top .. "\\" .. entry, entry)
        end
    end
end

local function assert_gone(top, entries)
    for _, entry in ipairs(entries) do
        local path = top .. "\\" .. entry
        if entry:sub(-1) == "\\" then
            lu.assertFalse(tree.dir_exists(path:sub(1, -2)), "still there: " .. entry)
        else
            lu.assertNil(tree.read(path), "still there: " .. entry)
        end
    end
end

TestRmdir = {}

function TestRmdir:setUp()
    self.top = tree.fresh_dir("rmdir")
    self.cleanup = {}
end

function TestRmdir:tearDown()
    for i = #self.cleanup, 1, -1 do
        self.cleanup[i]()
    end
    tree.remove(self.top)
end

local NESTED = {
    "a.txt", "b", ".hidden", "..dots", "sub\\", "sub\\f.txt", "sub\\inner\\", "sub\\inner\\g.txt",
    "sub\\inner\\innermost\\", "empty\\", "x y\\", "x y\\z.txt",
}

function TestRmdir:test_empties_a_nested_tree_and_keeps_its_top()
    build(self.top, NESTED)
    lu.assertEquals({ osbridge.rmdir(self.top) }, { true })
    assert_gone(self.top, NESTED)
    lu.assertTrue(tree.dir_exists(self.top))
    -- Running again on the empty top changes nothing.
    lu.assertEquals({ osbridge.rmdir(self.top) }, { true })
    lu.assertTrue(tree.dir_exists(self.top))
end

function TestRmdir:test_other_spellings_of_the_same_directory()
    local spellings = {
        self.top .. "\\", self.top:gsub("\\", "/"), self.top .. "\\sub\\..", self.top .. "\\.\\\\",
        "\\\\?\\" .. self.top,
    }
    for _, spelling in ipairs(spellings) do
        build(self.top, NESTED)
        lu.assertEquals({ osbridge.rmdir(spelling) }, { true }, spelling)
        assert_gone(self.top, NESTED)
        lu.assertTrue(tree.dir_exists(self.top), spelling)
    end
end

function TestRmdir:test_read_only_file_survives_with_its_parents()
    build(self.top, { "keep\\", "keep\\deeper\\", "keep\\deeper\\ro.txt", "keep\\deeper\\other.txt", "keep\\f", "gone\\",
                      "gone\\f" })
    local read_only = self.top .. "\\keep\\deeper\\ro.txt"
    table.insert(self.cleanup, function() tree.fs.set_readonly(read_only, false) end)
    lu.assertTrue(tree.fs.set_readonly(read_only, true))
    lu.assertEquals({ osbridge.rmdir(self.top) }, { true })
    lu.assertEquals(tree.read(read_only), "keep\\deeper\\ro.txt")
    assert_gone(self.top, { "keep\\deeper\\other.txt", "keep\\f", "gone\\" })
    lu.assertTrue(tree.dir_exists(self.top .. "\\keep\\deeper"))
end

function TestRmdir:test_path_length_limit()
    -- 257 bytes are accepted, in long-path form so that the directory can exist.
    local prefix = "\\\\?\\" .. self.top .. "\\"
    local long = prefix .. string.rep("l", 257 - #prefix)
    lu.assertEquals(#long, 257)
    lu.assertTrue(osbridge.mkdir(long))
    build(long, { "f.txt", "d\\", "d\\g.txt" })
    lu.assertEquals({ osbridge.rmdir(long) }, { true })
    assert_gone(long, { "f.txt", "d\\" })
    lu.assertTrue(tree.dir_exists(long))
    lu.assertTrue(tree.fs.remove_dir(long))

    build(self.top, { "f.txt" })
    for _, length in ipairs({ 258, 300 }) do
        local path = self.top .. "\\" .. string.rep("x", length - #self.top - 1)
        lu.assertEquals({ osbridge.rmdir(path) }, { false, "Path is too long " .. length })
    end
    -- The limit counts bytes before any NUL is cut off.
    local padded = self.top .. "\0" .. string.rep("p", 258 - #self.top - 1)
    lu.assertEquals({ osbridge.rmdir(padded) }, { false, "Path is too long 258" })
    lu.assertEquals(tree.read(self.top .. "\\f.txt"), "f.txt")
end

function TestRmdir:test_path_length_limit_counts_bytes_not_characters()
    -- Paths of 257 and 258 bytes that end in characters of the code page's
    -- widest kind (fewer characters than bytes in 932 and UTF-8).
    local char = texts.char.ansi
    local prefix = "\\\\?\\" .. self.top .. "\\"
    local function path_of(length)
        local chars = math.floor((length - #prefix) / #char) - 1
        return prefix .. string.rep("l", length - #prefix - chars * #char) .. char:rep(chars)
    end
    local long = path_of(257)
    lu.assertEquals(#long, 257)
    lu.assertTrue(osbridge.mkdir(long))
    local name = texts[1].ansi
    build(long, { name .. ".txt", name .. "\\", name .. "\\" .. texts.joined.ansi })
    lu.assertEquals({ osbridge.rmdir(long) }, { true })
    assert_gone(long, { name .. ".txt", name .. "\\" })
    lu.assertTrue(tree.fs.remove_dir(long))
    local too_long = path_of(258)
    lu.assertTrue(osbridge.mkdir(too_long))
    build(too_long, { "f.txt" })
    lu.assertEquals({ osbridge.rmdir(too_long) }, { false, "Path is too long 258" })
    lu.assertEquals(tree.read(too_long .. "\\f.txt"), "f.txt")
end

function TestRmdir:test_empty_missing_and_non_directory_paths()
    build(self.top, { "f.txt", "d\\", "d\\g.txt" })
    lu.assertEquals({ osbridge.rmdir("") }, { false, "a2w() failed" })
    lu.assertEquals({ osbridge.rmdir("\0" .. self.top) }, { false, "a2w() failed" })
    lu.assertEquals({ osbridge.rmdir(self.top .. "\\missing") }, { true })
    lu.assertEquals({ osbridge.rmdir(self.top .. "\\f.txt") }, { true })
    lu.assertEquals({ osbridge.rmdir(self.top .. "\\d\\g.txt\\") }, { true })
    -- A path cut at its NUL byte names the directory before it.
    lu.assertEquals({ osbridge.rmdir(self.top .. "\\d\0\\f.txt") }, { true })
    lu.assertEquals(tree.read(self.top .. "\\f.txt"), "f.txt")
    assert_gone(self.top, { "d\\g.txt" })
    local ok, message = pcall(osbridge.rmdir, {})
    lu.assertFalse(ok)
    lu.assertStrContains(message, "bad argument #1")
end

function TestRmdir:test_trees_deeper_than_the_classic_path_limit()
    -- Built through long-path forms; rmdir is given the short top only.
    local segment = string.rep("d", 60)
    local entries, dir = {}, ""
    for level = 1, 7 do
        dir = dir .. segment .. level .. "\\"
        entries[#entries + 1] = dir
        entries[#entries + 1] = dir .. string.rep("f", 40) .. ".txt"
        entries[#entries + 1] = dir .. "s.txt"
    end
    entries[#entries + 1] = dir .. string.rep("e", 200) .. "\\"
    entries[#entries + 1] = dir .. string.rep("e", 200) .. "\\" .. string.rep("g", 200)
    local long_top = "\\\\?\\" .. self.top
    build(long_top, entries)
    lu.assertTrue(#(self.top .. "\\" .. entries[#entries]) > 800)
    lu.assertEquals({ osbridge.rmdir(self.top) }, { true })
    assert_gone(long_top, entries)
    lu.assertTrue(tree.dir_exists(self.top))
end

function TestRmdir:test_links_to_directories_are_never_followed()
    local outside = tree.fresh_dir("rmdir-outside")
    table.insert(self.cleanup, function() tree.remove(outside) end)
    build(outside, { "keep.txt", "sub\\", "sub\\keep.txt" })
    build(self.top, { "a.txt", "inner\\", "inner\\b.txt", "z.txt" })
    local links = { self.top .. "\\link", self.top .. "\\inner\\link" }
    for _, link in ipairs(links) do
        local made, why = tree.fs.dir_link(link, outside)
        if not made then lu.skip(why) end
        table.insert(self.cleanup, function() tree.fs.remove_link(link) end)
    end
    lu.assertTrue(tree.dir_exists(links[1] .. "\\sub"), "the link does not lead to its target")

    lu.assertEquals({ osbridge.rmdir(self.top) }, { true })
    lu.assertEquals(tree.read(outside .. "\\keep.txt"), "keep.txt")
    lu.assertEquals(tree.read(outside .. "\\sub\\keep.txt"), "sub\\keep.txt")
    assert_gone(self.top, { "a.txt", "inner\\b.txt", "z.txt" })
end
