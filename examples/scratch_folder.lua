-- Recipe: copy a folder's files into a scratch folder, work there, and empty
-- the scratch tree safely.      lua.exe examples\scratch_folder.lua [SOURCE_FOLDER]
--
-- rmdir empties whatever folder it is given, a drive's root included, and
-- says true even when some files stay. So: build the path from a known base,
-- refuse anything else, and look at what is left afterwards.
require "osbridge"

-- The names of the files directly inside `folder` (with `folders_too`, of
-- everything there, hidden entries included), through the shell's dir command:
-- the module lists processes and windows, not files.
local function files_in(folder, folders_too)
    local names = {}
    local dir = io.popen(('dir /b %s "%s" 2>nul'):format(folders_too and "/a" or "/a-d", folder))
    for line in dir:lines() do names[#names + 1] = line:gsub("\r$", "") end
    dir:close()
    return names
end

local temp = assert(os.getenv("TEMP"), "TEMP is not set")
-- The interpreter's own folder serves as the source when none is given.
local source = arg and arg[1] or osbridge.get_current_dir():gsub("\\$", "")
local scratch = ("%s\\osbridge-scratch-%d"):format(temp, os.time())

-- Only a folder inside TEMP is ever emptied.
local function empty_safely(path)
    assert(path:sub(1, #temp + 1):lower() == (temp .. "\\"):lower() and #path > #temp + 1,
           "refusing to empty " .. path)
    assert(osbridge.rmdir(path))
    local left = files_in(path, true)
    if #left > 0 then error(("%d entries stayed in %s, %s among them"):format(#left, path, left[1])) end
end

assert(osbridge.mkdir(scratch), "could not create " .. scratch)
local copied = 0
for _, name in ipairs(files_in(source)) do
    -- Mode 2 (COPY_FILE_NO_OVERWRITE) would refuse a file already there.
    if osbridge.copy_file(source .. "\\" .. name, scratch .. "\\" .. name, osbridge.COPY_FILE_OVERWRITE) then
        copied = copied + 1
    else
        print("not copied: " .. name, osbridge.get_last_error())
    end
end
print(("copied %d files from %s to %s"):format(copied, source, scratch))
assert(copied > 0)

-- ... work on the copies; subfolders are fine, rmdir empties them too ...
assert(osbridge.mkdir(scratch .. "\\sub"))
assert(osbridge.copy_file(scratch .. "\\" .. files_in(scratch)[1], scratch .. "\\sub\\copy"))

empty_safely(scratch)
-- rmdir keeps the folder it empties; the shell removes it.
os.execute(('rmdir "%s"'):format(scratch))
print("scratch tree removed:", not osbridge.file_exist(scratch .. "\\sub\\copy"))
