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
