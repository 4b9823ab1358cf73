-- A short tour of osbridge: run it with scripts/demo.sh (Wine) or with
-- lua.exe on Windows next to osbridge.dll.
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
