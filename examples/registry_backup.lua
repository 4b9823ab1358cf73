-- Recipe: back up a registry value, change it for a while, and put it back,
-- even when the work in between fails.      lua.exe examples\registry_backup.lua
--
-- reg_get_value gives no type, so back up only values whose type you know:
-- REG_DWORD comes back as a number, REG_SZ and REG_EXPAND_SZ as text (unexpanded);
-- of a REG_MULTI_SZ list only the first string comes back, and REG_QWORD not
-- at all, so such values cannot be restored this way.
require "osbridge"

local HKCU = osbridge.HKEY_CURRENT_USER
local key, name, kind = "Software\\osbridge-recipes", "Volume", osbridge.REG_DWORD

-- The setting as it is now; nil when the value does not exist.
local saved = osbridge.reg_get_value(HKCU, key, name)
print("before:", saved)

local function restore()
    if saved == nil then
        return osbridge.reg_delete_value(HKCU, key, name)
    end
    return osbridge.reg_set_value(HKCU, key, name, saved, kind)
end

-- The work that needs the changed value runs inside pcall, so that the old
-- value comes back whatever happens.
local ok, err = pcall(function()
    assert(osbridge.reg_set_value(HKCU, key, name, 11, kind), "could not write the value")
    print("changed to:", osbridge.reg_get_value(HKCU, key, name))
    -- ... run whatever needs the setting here ...
end)
assert(restore(), "could not restore the value")
print("restored:", osbridge.reg_get_value(HKCU, key, name))
assert(osbridge.reg_get_value(HKCU, key, name) == saved)
-- The recipe's own key goes too, once it holds nothing else (a key with
-- subkeys stays).
osbridge.reg_delete_key(HKCU, key)
if not ok then error(err, 0) end
