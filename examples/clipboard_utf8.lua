-- Recipe: put UTF-8 text through the clipboard.      lua.exe examples\clipboard_utf8.lua
--
-- Save scripts like this one as UTF-8 and make the module speak UTF-8 with
-- one call, in any host: osbridge.set_code_page(osbridge.CP_UTF8). Every text
-- this Lua state passes to the module and gets from it is then UTF-8, and the
-- clipboard holds it as UTF-16, so that programs of any code page read the
-- same characters. (lua-utf8.exe makes UTF-8 the code page of a whole
-- program instead, from Windows 10 version 1903 on.)
require "osbridge"
osbridge.set_code_page(osbridge.CP_UTF8)

local text = "Grüße, 25 €, Příliš žluťoučký kůň, 日本語 and 😀"
-- The text on the clipboard now goes back at the end, whatever happens between.
local saved = osbridge.clipboard_get()

local ok, err = pcall(function()
    -- A script saved in another code page fails here: its text is no UTF-8.
    assert(osbridge.clipboard_set(text), "not set: the clipboard is held by another program, or this file is no UTF-8")
    local back = osbridge.clipboard_get()
    print("read back:", back, back == text and "(the same bytes)" or "(different!)")
    assert(back == text, "the clipboard gave back other bytes")

    -- Another program reads the same characters: here a second interpreter
    -- beside this one, which chooses UTF-8 too.
    local lua = osbridge.get_current_dir() .. "lua.exe"
    if osbridge.file_exist(lua) then
        local child = io.popen(('""%s" -e "require [[osbridge]] osbridge.set_code_page(65001) '
                                .. 'io.write(osbridge.to_hex(osbridge.clipboard_get()))""'):format(lua))
        local hex = child:read("*a")
        child:close()
        print("lua.exe reads (hex):", hex)
        assert(hex == osbridge.to_hex(text), "the other interpreter read other bytes")
    end
end)

if saved then osbridge.clipboard_set(saved) end
if not ok then error(err, 0) end
