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

-- The work that needs the changed value runs inside pcall, and the old value
-- comes back after it, whatever happened.
local ok, err = pcall(function()
    assert(osbridge.reg_set_value(HKCU, key, name, 11, kind), "could not write the value")
    print("changed to:", osbridge.reg_get_value(HKCU, key, name))
    -- ... run whatever needs the setting here ...
end)
restore()
local restored = osbridge.reg_get_value(HKCU, key, name) == saved
print("restored:", osbridge.reg_get_value(HKCU, key, name))
-- The recipe's own key goes too when the value was not there before. Leave
-- this out for a key that is not yours: reg_delete_key removes a key with all
-- its values (though not one with subkeys).
if saved == nil then osbridge.reg_delete_key(HKCU, key) end

-- A failure of the work is reported first.
local not_restored = not restored and ("could not restore %s to %s"):format(name, tostring(saved))
if not ok then error(not_restored and (tostring(err) .. "; and " .. not_restored) or err, 0) end
if not_restored then error(not_restored, 0) end
