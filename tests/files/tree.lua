-- Fixture helpers of the file tests: fresh temporary directories, and the
-- fixture module (tree.fs) for what plain Lua cannot set up.

local tree = {}

tree.fs = assert(package.loadlib(BUILD_DIR .. "\\fixtures\\fsfix.dll", "luaopen_fsfix"))()
local made = 0

-- A new empty directory under %TEMP%.
function tree.fresh_dir(tag)
    made = made + 1
    local path = string.format("%s\\osbridge-%s-%d-%d", os.getenv("TEMP"), tag, os.time(), made)
    assert(osbridge.mkdir(path), "cannot create " .. path)
    return path
end

-- Removes a directory made by fresh_dir with everything in it.
function tree.remove(path)
    osbridge.rmdir(path)
    lu.assertTrue(tree.fs.remove_dir(path), "fixture directory left behind: " .. path)
end

function tree.write(path, text)
    local file = assert(io.open(path, "wb"))
    file:write(text or "x")
    file:close()
end

tree.read = require("support").read_file

-- Whether a directory exists: a file can be made in it.
function tree.dir_exists(path)
    local probe = path .. "\\osbridge-probe.tmp"
    local file = io.open(probe, "wb")
    if not file then return false end
    file:close()
    osbridge.delete_file(probe)
    return true
end

return tree
