-- Recipe: put UTF-8 text through the clipboard.      lua-utf8.exe examples\clipboard_utf8.lua
--
-- Save scripts like this one as UTF-8 and run them with lua-utf8.exe, whose
-- ANSI code page is UTF-8: every text the module takes and gives is then
-- UTF-8. Put text on the clipboard as UTF-16 (a boolean after the text), so that
-- programs in other code pages read it as the same characters.
require "osbridge"

local text = "Grüße, 25 € and 😀"
-- The text on the clipboard now goes back at the end, whatever happens between.
local saved = osbridge.clipboard_get()

local ok, err = pcall(function()
    assert(osbridge.clipboard_set(text, true), "the clipboard is held by another program")
    local back = osbridge.clipboard_get()
    print("read back:", back, back == text and "(the same bytes)" or "(different!)")
    assert(back == text, "the clipboard gave back other bytes")

    -- A program of another code page reads the same characters in its own code
    -- page: the plain lua.exe beside this one reads code page 1252 on Western
    -- systems ("Gr\252\223e, 25 \128 and ??").
    local lua = osbridge.get_current_dir() .. "lua.exe"
    if osbridge.file_exist(lua) then
        local child = io.popen(('""%s" -e "require [[osbridge]] io.write(osbridge.to_hex(osbridge.clipboard_get()))""')
                               :format(lua))
        local hex = child:read("*a")
        child:close()
        print("lua.exe reads (hex):", hex)
        -- Run by lua.exe, this script would have given "ü" as its two UTF-8 bytes,
        -- two characters of the ANSI code page, and lua.exe would read them back so.
        assert(hex:sub(1, 8) ~= "4772C3BC", "this script did not run as UTF-8: use lua-utf8.exe")
    end
end)

if saved then osbridge.clipboard_set(saved, true) end
if not ok then error(err, 0) end
