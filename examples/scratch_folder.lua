-- Recipe: copy a folder's files into a scratch folder, work there, and remove
-- the scratch tree safely.      lua.exe examples\scratch_folder.lua [SOURCE_FOLDER]
--
-- rmdir empties whatever folder it is given, a drive's root included, and
-- says true even when some files stay. So: build the path from a known base,
-- refuse anything else, and look at what is left afterwards. The work runs
-- inside pcall and the clean-up after it, so that the scratch folder goes
-- whether the work succeeds or fails.
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

-- Whether the folder `path` is still listed in its parent folder.
local function still_there(path)
    local name = path:match("[^\\]+$"):lower()
    for _, found in ipairs(files_in(path .. "*", true)) do
        if found:lower() == name then return true end
    end
    return false
end

-- Empties and removes a folder inside TEMP (and nothing else); nil when it is
-- gone, else why not.
local function remove_scratch(path)
    if path:sub(1, #temp + 1):lower() ~= (temp .. "\\"):lower() or #path <= #temp + 1 then
        return "refusing to empty " .. path
    end
    local emptied, why = osbridge.rmdir(path)
    if not emptied then return ("could not empty %s: %s"):format(path, why) end
    local left = files_in(path, true)
    if #left > 0 then return ("%d entries stayed in %s, %s among them"):format(#left, path, left[1]) end
    -- rmdir keeps the folder it empties; the shell removes it.
    os.execute(('rmdir "%s"'):format(path))
    if still_there(path) then return "could not remove " .. path end
end

if not osbridge.mkdir(scratch) then
    error(("could not create %s: %s"):format(scratch, tostring(osbridge.get_last_error())), 0)
end

local ok, err = pcall(function()
    local names = files_in(source)
    if #names == 0 then error(source .. " holds no files to copy (or is no folder)", 0) end
    local copied = 0
    for _, name in ipairs(names) do
        -- Mode 2 (COPY_FILE_NO_OVERWRITE) would refuse a file already there.
        if osbridge.copy_file(source .. "\\" .. name, scratch .. "\\" .. name, osbridge.COPY_FILE_OVERWRITE) then
            copied = copied + 1
        else
            print("not copied: " .. name, osbridge.get_last_error())
        end
    end
    print(("copied %d files from %s to %s"):format(copied, source, scratch))
    if copied == 0 then error(("none of the %d files of %s could be copied"):format(#names, source), 0) end

    -- ... work on the copies; subfolders are fine, rmdir empties them too ...
    assert(osbridge.mkdir(scratch .. "\\sub"), "could not create the subfolder")
    assert(osbridge.copy_file(scratch .. "\\" .. files_in(scratch)[1], scratch .. "\\sub\\copy"),
           "could not copy within the scratch folder")
end)

-- The clean-up runs whatever happened; a failure of the work is reported first.
local not_removed = remove_scratch(scratch)
if not ok then error(not_removed and (tostring(err) .. "; and " .. not_removed) or err, 0) end
if not_removed then error(not_removed, 0) end
print("scratch tree removed:", scratch)
