-- Registry values and keys, against the prefix's real registry. Every test
-- works below one private key of HKEY_CURRENT_USER, removed before and after.

local texts = require "texts"

local HKCU = osbridge.HKEY_CURRENT_USER
local BASE = "Software\\osbridge-tests-registry"
local SUBKEYS = { "\\created\\deeper", "\\created", "\\gone" }
for _, s in ipairs(texts) do SUBKEYS[#SUBKEYS + 1] = "\\" .. s.ansi end
local raw = assert(package.loadlib(BUILD_DIR .. "\\fixtures\\regraw.dll", "luaopen_regraw"))()

local function remove_base()
    for _, sub in ipairs(SUBKEYS) do
        osbridge.reg_delete_key(HKCU, BASE .. sub)
    end
    texts.in_utf8(function()
        for _, text in ipairs(texts.unicode) do osbridge.reg_delete_key(HKCU, BASE .. "\\" .. text) end
    end)
    osbridge.reg_delete_key(HKCU, BASE)
end

local function to_hex(bytes)
    return (bytes:gsub(".", function(c) return string.format("%02x", c:byte()) end))
end

-- Stores raw bytes (given as hex) under BASE.
local function put_raw(name, value_type, hex)
    local bytes = hex:gsub("%x%x", function(pair) return string.char(tonumber(pair, 16)) end)
    lu.assertTrue(raw.put(BASE, name, value_type, bytes), name)
end

-- The stored type and bytes (as hex) of a value under BASE.
local function get_raw(name)
    local value_type, bytes = raw.get(BASE, name)
    return value_type, value_type and to_hex(bytes)
end

local function get(name)
    return osbridge.reg_get_value(HKCU, BASE, name)
end

local function set(name, data, value_type)
    return osbridge.reg_set_value(HKCU, BASE, name, data, value_type)
end

TestRegistryValues = {}

function TestRegistryValues:setUp()
    remove_base()
    lu.assertNil(osbridge.reg_get_value(HKCU, BASE, ""), "fixture key left over")
    lu.assertTrue(set("", 0))
end

function TestRegistryValues:tearDown()
    remove_base()
end

function TestRegistryValues:test_text_round_trips_with_exact_stored_bytes()
    local cases = {
        { data = "abc", stored = "610062006300" .. "0000", read = "abc" },
        { data = "a", stored = "61000000", read = "a" },
        { data = "", stored = "0000", read = "" },
        { data = "ab\0cd", stored = "610062000000", read = "ab" },
        { data = 123, stored = "310032003300" .. "0000", read = "123" },
    }
    -- Text of the run's code page, and one character of its widest kind:
    -- read back from four bytes in 932, from six (a surrogate pair) in UTF-8.
    for _, s in ipairs({ texts.char, unpack(texts) }) do
        cases[#cases + 1] = { data = s.ansi, stored = texts.utf16_hex(s.utf8) .. "0000", read = s.ansi }
    end
    for i, case in ipairs(cases) do
        local name = "sz" .. i
        lu.assertTrue(set(name, case.data, osbridge.REG_SZ), name)
        local value_type, hex = get_raw(name)
        lu.assertEquals({ value_type, hex }, { osbridge.REG_SZ, case.stored }, name)
        lu.assertEquals(get(name), case.read, name)
    end
end

function TestRegistryValues:test_texts_beyond_the_ansi_code_page_in_utf8()
    texts.in_utf8(function()
        for i, text in ipairs(texts.unicode) do
            local stored = texts.utf16_hex(text) .. "0000"
            for _, value_type in ipairs({ osbridge.REG_SZ, osbridge.REG_EXPAND_SZ }) do
                lu.assertTrue(set("sz" .. i, text, value_type), text)
                lu.assertEquals({ get_raw("sz" .. i) }, { value_type, stored }, text)
                lu.assertEquals(get("sz" .. i), text)
            end
            lu.assertTrue(set(text, text, osbridge.REG_SZ), text)
            lu.assertEquals(get(text), text)
            -- UTF-8 needs more bytes than units: zero units fill the rest.
            lu.assertTrue(set("multi" .. i, text .. "\0x\0", osbridge.REG_MULTI_SZ), text)
            local list = stored .. "7800" .. "0000" .. "0000"
            local _, hex = get_raw("multi" .. i)
            lu.assertEquals(hex:sub(1, #list), list, text)
            lu.assertEquals(get("multi" .. i), text)
            lu.assertTrue(osbridge.reg_delete_value(HKCU, BASE, text), text)
            lu.assertNil(get(text), text)

            local key = BASE .. "\\" .. text
            lu.assertTrue(osbridge.reg_set_value(HKCU, key, text, text, osbridge.REG_SZ), text)
            lu.assertEquals(osbridge.reg_get_value(HKCU, key, text), text)
            lu.assertTrue(osbridge.reg_delete_key(HKCU, key), text)
            lu.assertNil(osbridge.reg_get_value(HKCU, key, text), text)
        end
        -- Raw bytes stay raw.
        lu.assertTrue(set("binary", texts.invalid_utf8[1], osbridge.REG_BINARY))
        lu.assertEquals(get("binary"), texts.invalid_utf8[1])
        -- Text that is no UTF-8 fails as an unconvertible text does, and
        -- writes nothing.
        for _, bad in ipairs(texts.invalid_utf8) do
            lu.assertEquals({ set("bad", bad, osbridge.REG_SZ), set(bad, "x", osbridge.REG_SZ),
                              osbridge.reg_set_value(HKCU, BASE .. "\\" .. bad, "v", "x", osbridge.REG_SZ),
                              osbridge.reg_delete_key(HKCU, BASE .. "\\" .. bad),
                              osbridge.reg_delete_value(HKCU, BASE, bad), get(bad) },
                            { false, false, false, false, false, nil }, bad)
            lu.assertNil(get_raw("bad"), bad)
        end
    end)
end

function TestRegistryValues:test_multi_string_keeps_separators_and_reads_first()
    lu.assertTrue(set("multi", "x\0y\0", osbridge.REG_MULTI_SZ))
    lu.assertEquals({ get_raw("multi") }, { osbridge.REG_MULTI_SZ, "78000000790000000000" })
    lu.assertEquals(get("multi"), "x")
    lu.assertTrue(set("long", "first\0second\0", osbridge.REG_MULTI_SZ))
    lu.assertEquals(get("long"), "first")
    lu.assertTrue(set("empty", "", osbridge.REG_MULTI_SZ))
    lu.assertEquals({ get_raw("empty") }, { osbridge.REG_MULTI_SZ, "0000" })
end

function TestRegistryValues:test_non_ascii_lists_and_names_of_values_and_keys()
    for i, s in ipairs(texts) do
        local name = "multi" .. i
        lu.assertTrue(set(name, s.ansi .. "\0x\0", osbridge.REG_MULTI_SZ), s.utf8)
        -- Where the text has fewer units than bytes, zero units fill the rest.
        local list = texts.utf16_hex(s.utf8) .. "0000" .. "7800" .. "0000" .. "0000"
        local _, stored = get_raw(name)
        lu.assertEquals(stored:sub(1, #list), list, s.utf8)
        lu.assertNotNil(stored:sub(#list + 1):match("^0*$"), s.utf8)
        lu.assertEquals(get(name), s.ansi)

        lu.assertTrue(set(s.ansi, i), s.utf8)
        lu.assertEquals({ get_raw(s.ansi) }, { osbridge.REG_DWORD, ("%02x000000"):format(i) }, s.utf8)
        lu.assertTrue(osbridge.reg_delete_value(HKCU, BASE, s.ansi))
        lu.assertNil(get(s.ansi))

        local key = BASE .. "\\" .. s.ansi
        lu.assertTrue(osbridge.reg_set_value(HKCU, key, s.ansi, s.ansi, osbridge.REG_SZ), s.utf8)
        lu.assertEquals(osbridge.reg_get_value(HKCU, key, s.ansi), s.ansi)
        lu.assertTrue(osbridge.reg_delete_key(HKCU, key))
        lu.assertNil(osbridge.reg_get_value(HKCU, key, s.ansi))
    end
end

function TestRegistryValues:test_dword_sign_rules_and_default_type()
    local cases = {
        { -1, "ffffffff", 4294967295 }, { 4294967295, "ffffffff", 4294967295 }, { 4294967296 + 5, "05000000", 5 },
        { "12", "0c000000", 12 }, { 2.9, "02000000", 2 }, { -2.9, "feffffff", 4294967294 },
        { 2147483648, "00000080", 2147483648 },
    }
    for i, case in ipairs(cases) do
        local name = "dw" .. i
        lu.assertTrue(set(name, case[1]), name)
        lu.assertEquals({ get_raw(name) }, { osbridge.REG_DWORD, case[2] }, name)
        lu.assertEquals(get(name), case[3], name)
    end
    -- A type argument that is not a number falls back to REG_DWORD.
    lu.assertTrue(set("fallback", 7, "text"))
    lu.assertEquals(get_raw("fallback"), osbridge.REG_DWORD)
    lu.assertTrue(set("numeric_type", "abc", "1"))
    lu.assertEquals({ get_raw("numeric_type") }, { osbridge.REG_SZ, "6100620063000000" })
end

function TestRegistryValues:test_expand_string_and_binary_store_their_data()
    -- REG_EXPAND_SZ as REG_SZ: the text up to its first NUL byte, terminated.
    lu.assertTrue(set("expand", "%TEMP%\\x\0cut", osbridge.REG_EXPAND_SZ))
    lu.assertEquals({ get_raw("expand") }, { osbridge.REG_EXPAND_SZ, "2500540045004d00500025005c0078000000" })
    lu.assertEquals(get("expand"), "%TEMP%\\x")
    lu.assertTrue(set("expand_number", 12, osbridge.REG_EXPAND_SZ))
    lu.assertEquals(get("expand_number"), "12")
    -- REG_BINARY byte for byte, zero bytes included.
    for i, data in ipairs({ "", "\0", "a\0b\255\0", ("\1\0"):rep(300) }) do
        lu.assertTrue(set("binary" .. i, data, osbridge.REG_BINARY), "binary" .. i)
        lu.assertEquals(get("binary" .. i), data, "binary" .. i)
    end
    lu.assertEquals({ get_raw("binary3") }, { osbridge.REG_BINARY, "610062ff00" })
    lu.assertErrorMsgContains("#4", set, "bad", {}, osbridge.REG_BINARY)
end

function TestRegistryValues:test_types_without_data_store_four_zero_bytes()
    for _, value_type in ipairs({ osbridge.REG_DWORD_BIG_ENDIAN, 6, 99 }) do
        local name = "t" .. value_type
        lu.assertTrue(set(name, { "never read" }, value_type), name)
        lu.assertEquals({ get_raw(name) }, { value_type, "00000000" }, name)
    end
    lu.assertTrue(set("none", 258, 0))
    lu.assertEquals({ get_raw("none") }, { 0, "02010000" })
end

function TestRegistryValues:test_reads_of_stored_data_by_type()
    local cases = {
        -- Binary data comes back byte for byte, short or long.
        { osbridge.REG_BINARY, "", "" },
        { osbridge.REG_BINARY, "00ff41", "\0\255A" },
        { osbridge.REG_BINARY, "4100420000d8ff00010203", "A\0B\0\0\216\255\0\1\2\3" },
        -- Text of any length is text, with or without a terminator, odd byte counts cut.
        { osbridge.REG_SZ, "6100", "a" },
        { osbridge.REG_SZ, "610062", "a" },
        { osbridge.REG_EXPAND_SZ, "2500540045004d0050002500000000", "%TEMP%" },
        { osbridge.REG_MULTI_SZ, "", "" },
        { osbridge.REG_SZ, "4100", "A" },
        -- Numbers only from exactly four bytes, never byte-swapped.
        { osbridge.REG_DWORD, "01020304", 67305985 },
        { osbridge.REG_DWORD_BIG_ENDIAN, "01020304", 67305985 },
        { osbridge.REG_DWORD, "0102", nil },
        { osbridge.REG_DWORD, "0102030405060708", nil },
        { osbridge.REG_DWORD_BIG_ENDIAN, "", nil },
        -- Types without a Lua form.
        { 0, "01000000", nil }, { 6, "41004200", nil }, { 11, "0100000000000000", nil },
    }
    for i, case in ipairs(cases) do
        local name = "raw" .. i
        put_raw(name, case[1], case[2])
        lu.assertEquals(get(name), case[3], string.format("%s: type %d, bytes %s", name, case[1], case[2]))
    end
end

function TestRegistryValues:test_large_value_read_in_one_retry()
    local text = string.rep("0123456789", 2000)
    lu.assertTrue(set("big", text, osbridge.REG_SZ))
    lu.assertEquals(get("big"), text)
end

-- The first query reads 512 bytes: values one byte shorter, exactly that
-- long and one byte longer; names and paths longer than MAX_PATH.
function TestRegistryValues:test_values_around_the_first_query_block_and_long_names()
    for _, size in ipairs({ 511, 512, 513 }) do
        local bytes, units = {}, {}
        for i = 1, size do bytes[i] = string.char(i * 7 % 256) end
        for i = 1, math.floor(size / 2) do units[i] = string.char(65 + i % 26) end
        local binary, text = table.concat(bytes), table.concat(units)
        lu.assertTrue(raw.put(BASE, "bin" .. size, osbridge.REG_BINARY, binary))
        lu.assertEquals(get("bin" .. size), binary, size .. " bytes of REG_BINARY")
        local stored = text:gsub(".", "%0\0") .. (size % 2 == 1 and "\0" or "")
        lu.assertTrue(raw.put(BASE, "sz" .. size, osbridge.REG_SZ, stored))
        lu.assertEquals(get("sz" .. size), text, size .. " bytes of REG_SZ")
    end
    -- 600 units of U+65E5: one byte each where the code page has no such
    -- character, more than the 1024-byte stack block where it has.
    lu.assertTrue(raw.put(BASE, "wide", osbridge.REG_SZ, ("\229\101"):rep(600) .. "\0\0"))
    local read = get("wide")
    lu.assertTrue(read == ("?"):rep(600) or read == ("\147\250"):rep(600) or read == ("\230\151\165"):rep(600),
                  ("600 units read as %d bytes: %q"):format(#read, read:sub(1, 12)))
    local long_name = ("n"):rep(300)
    lu.assertTrue(set(long_name, "under a long name", osbridge.REG_SZ))
    lu.assertEquals(get(long_name), "under a long name")
    local deep = BASE .. "\\created\\deeper\\" .. ("k"):rep(250)
    lu.assertTrue(osbridge.reg_set_value(HKCU, deep, "v", 9))
    lu.assertEquals(osbridge.reg_get_value(HKCU, deep, "v"), 9)
    lu.assertTrue(osbridge.reg_delete_key(HKCU, deep))
end

function TestRegistryValues:test_default_value_and_empty_key_path()
    lu.assertTrue(set("", "default text", osbridge.REG_SZ))
    lu.assertEquals({ get_raw("") }, { osbridge.REG_SZ, "640065006600610075006c0074002000740065007800740000" .. "00" })
    lu.assertEquals(get(""), "default text")
    lu.assertTrue(osbridge.reg_delete_value(HKCU, BASE, ""))
    lu.assertNil(get(""))
    -- An empty key path addresses the root itself.
    local name = "osbridge-tests-registry-root-value"
    lu.assertTrue(osbridge.reg_set_value(HKCU, "", name, 77))
    local read = osbridge.reg_get_value(HKCU, "", name)
    local deleted = osbridge.reg_delete_value(HKCU, "", name)
    lu.assertEquals(read, 77)
    lu.assertTrue(deleted)
    lu.assertNil(osbridge.reg_get_value(HKCU, "", name))
end

function TestRegistryValues:test_missing_things_read_nil_and_delete_false()
    lu.assertNil(get("no such value"))
    lu.assertNil(osbridge.reg_get_value(HKCU, BASE .. "\\no such key", ""))
    lu.assertFalse(osbridge.reg_delete_value(HKCU, BASE, "no such value"))
    lu.assertFalse(osbridge.reg_delete_value(HKCU, BASE .. "\\no such key", "x"))
    lu.assertFalse(osbridge.reg_delete_key(HKCU, BASE .. "\\no such key"))
    -- Names end at their first NUL byte.
    lu.assertTrue(set("cut", 5))
    lu.assertEquals({ osbridge.reg_get_value(HKCU, BASE, "cut\0ignored", "extra") }, { 5 })
end

TestRegistryKeys = {}

function TestRegistryKeys:setUp()
    remove_base()
end

function TestRegistryKeys:tearDown()
    remove_base()
end

function TestRegistryKeys:test_write_creates_missing_keys_and_delete_removes_them()
    lu.assertTrue(osbridge.reg_set_value(HKCU, BASE .. "\\created\\deeper", "v", 1))
    lu.assertEquals(osbridge.reg_get_value(HKCU, BASE .. "\\created\\deeper", "v"), 1)
    lu.assertTrue(osbridge.reg_delete_key(HKCU, BASE .. "\\created\\deeper"))
    lu.assertNil(osbridge.reg_get_value(HKCU, BASE .. "\\created\\deeper", "v"))
    lu.assertTrue(osbridge.reg_delete_key(HKCU, BASE .. "\\created"))
    lu.assertFalse(osbridge.reg_delete_key(HKCU, BASE .. "\\created"))
end

function TestRegistryKeys:test_empty_key_path_never_deletes_a_root()
    lu.assertFalse(osbridge.reg_delete_key(HKCU, ""))
    lu.assertTrue(osbridge.reg_set_value(HKCU, BASE, "still", 1))
    lu.assertEquals(osbridge.reg_get_value(HKCU, BASE, "still"), 1)
end

function TestRegistryKeys:test_roots_in_unsigned_and_signed_form()
    -- A value that exists under each root of a fresh prefix, and under no other.
    local known = {
        { "HKEY_CLASSES_ROOT", ".ini", "", "inifile" },
        { "HKEY_LOCAL_MACHINE", "Software\\Microsoft\\Windows NT\\CurrentVersion", "CurrentBuild" },
        { "HKEY_USERS", ".Default\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", "AppData" },
        { "HKEY_CURRENT_CONFIG", "Software\\Fonts", "LogPixels" },
    }
    for _, case in ipairs(known) do
        local root_name, path, name = case[1], case[2], case[3]
        local unsigned = osbridge[root_name]
        local value = osbridge.reg_get_value(unsigned, path, name)
        lu.assertNotNil(value, root_name)
        if case[4] then lu.assertEquals(value, case[4], root_name) end
        local signed = unsigned - 4294967296
        for _, root in ipairs({ signed, tostring(signed), unsigned + 0.75, signed - 0.75 }) do
            lu.assertEquals(osbridge.reg_get_value(root, path, name), value, root_name .. " as " .. root)
        end
        lu.assertNil(osbridge.reg_get_value(HKCU, path, name), root_name .. " read through HKEY_CURRENT_USER")
    end
    -- Writes, reads and deletes through the signed form of HKEY_CURRENT_USER.
    local signed_hkcu = HKCU - 4294967296
    lu.assertTrue(osbridge.reg_set_value(signed_hkcu, BASE .. "\\gone", "s", "via signed", osbridge.REG_SZ))
    lu.assertEquals(osbridge.reg_get_value(HKCU, BASE .. "\\gone", "s"), "via signed")
    lu.assertTrue(osbridge.reg_delete_value(signed_hkcu, BASE .. "\\gone", "s"))
    lu.assertTrue(osbridge.reg_delete_key(signed_hkcu, BASE .. "\\gone"))
    lu.assertNil(osbridge.reg_get_value(HKCU, BASE .. "\\gone", ""))
    -- Something that is no root at all.
    lu.assertNil(osbridge.reg_get_value(12345, "Software", ""))
end

function TestRegistryKeys:test_argument_errors()
    local calls = {
        { "reg_get_value", { "x", BASE, "" }, "#1" },
        { "reg_get_value", { HKCU, nil, "" }, "#2" },
        { "reg_get_value", { HKCU, BASE }, "#3" },
        { "reg_set_value", { HKCU, BASE, "v", "not a number" }, "#4" },
        { "reg_set_value", { HKCU, BASE, "v", {}, osbridge.REG_SZ }, "#4" },
        { "reg_set_value", { HKCU, BASE, "v", nil, osbridge.REG_MULTI_SZ }, "#4" },
        { "reg_delete_value", { HKCU, {}, "" }, "#2" },
        { "reg_delete_key", { HKCU }, "#2" },
    }
    for _, call in ipairs(calls) do
        local ok, message = pcall(osbridge[call[1]], unpack(call[2], 1, 5))
        lu.assertFalse(ok, call[1])
        lu.assertStrContains(message, "bad argument " .. call[3], false, call[1])
    end
    lu.assertNil(get_raw("v"))
end
