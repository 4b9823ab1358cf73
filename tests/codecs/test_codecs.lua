-- CRC-16/ARC, hexadecimal text and the epoch clock.

local support = require "support"
local texts = require "texts"

local function bytes(...) return string.char(...) end

-- XOR of two numbers below 2^16, Lua 5.1 having no bit operators.
local function bit_xor(a, b)
    local r, bit = 0, 1
    while a > 0 or b > 0 do
        if a % 2 ~= b % 2 then r = r + bit end
        a, b, bit = math.floor(a / 2), math.floor(b / 2), bit * 2
    end
    return r
end

TestCrc16 = {}

function TestCrc16:test_known_checksums()
    local function check(data, high, low)
        local h, l = osbridge.crc16(data)
        lu.assertEquals({ h, l }, { bytes(high), bytes(low) }, ("crc16(%q)"):format(data))
    end
    check("123456789", 0xBB, 0x3D)
    check("abc", 0x97, 0x38)
    check("A", 0x30, 0xC0)
    check("\0", 0x00, 0x00)
    check("a\0b", 0x37, 0xD0)  -- zero bytes count
    check(123, 0xBA, 0x04)      -- a number in its text form, "123"
end

function TestCrc16:test_zero_bytes_are_one_byte_strings()
    local h, l = osbridge.crc16("")
    lu.assertEquals(h, "\0")
    lu.assertEquals(l, "\0")
    h, l = osbridge.crc16("H")  -- checksum 0x3600
    lu.assertEquals({ h, l }, { "6", "\0" })
    h, l = osbridge.crc16("\12\34")
    lu.assertEquals(#h + #l, 2)
end

function TestCrc16:test_argument_errors()
    support.assert_argument_error(1, "string expected, got no value", osbridge.crc16)
    lu.assertErrorMsgContains("string expected, got table", osbridge.crc16, {})
    lu.assertErrorMsgContains("string expected, got nil", osbridge.crc16, nil)
end

TestHex = {}

function TestHex:test_to_hex()
    lu.assertEquals(osbridge.to_hex("abc"), "616263")
    lu.assertEquals(osbridge.to_hex("\0\255"), "00FF")
    lu.assertEquals(osbridge.to_hex(12), "3132")
    lu.assertNil(osbridge.to_hex(""))
    lu.assertNil(osbridge.to_hex(nil))
    lu.assertNil(osbridge.to_hex({}))
    lu.assertNil(osbridge.to_hex())
end

function TestHex:test_from_hex_decodes_either_case()
    lu.assertEquals(osbridge.from_hex("616263"), "abc")
    lu.assertEquals(osbridge.from_hex("00ff"), "\0\255")
    lu.assertEquals(osbridge.from_hex("DeadBeef"), "\222\173\190\239")
    lu.assertEquals(osbridge.from_hex(3132), "12")
end

function TestHex:test_from_hex_rejects_what_is_not_hex()
    for _, bad in ipairs({ "", "abc", "0g", "61 62", "6162\0", "0x61" }) do
        lu.assertNil(osbridge.from_hex(bad), ("%q"):format(bad))
    end
    lu.assertNil(osbridge.from_hex({}))
    lu.assertNil(osbridge.from_hex(true))
    lu.assertNil(osbridge.from_hex())
end

function TestHex:test_missing_or_unusable_argument_gives_one_nil()
    for _, f in ipairs({ "to_hex", "from_hex" }) do
        lu.assertEquals(select("#", osbridge[f]()), 1, f .. "()")
        lu.assertEquals(select("#", osbridge[f]({})), 1, f .. "({})")
        lu.assertNil(osbridge[f]({}))
    end
end

-- Lengths around the point where results move from a stack block to a Lua
-- block, against a byte-wise reference in Lua.
function TestHex:test_lengths_around_the_result_block_sizes()
    local function reference_crc(s)
        local crc = 0
        for i = 1, #s do
            crc = bit_xor(crc, s:byte(i))
            for _ = 1, 8 do
                crc = crc % 2 == 1 and bit_xor(math.floor(crc / 2), 0xA001) or math.floor(crc / 2)
            end
        end
        return crc
    end
    for _, n in ipairs({ 1, 15, 16, 17, 63, 64, 65, 255, 256, 257, 511, 512, 513, 1025, 4096 }) do
        local t = {}
        for i = 1, n do t[i] = string.char((i * 151 + n) % 256) end
        local s = table.concat(t)
        local hex = s:gsub(".", function(c) return ("%02X"):format(c:byte()) end)
        lu.assertEquals(osbridge.to_hex(s), hex, "to_hex of " .. n .. " bytes")
        lu.assertEquals(osbridge.from_hex(hex), s, "from_hex of " .. n .. " bytes")
        lu.assertNil(osbridge.from_hex(hex:sub(1, -2) .. "g"), "from_hex with a bad last digit, " .. n .. " bytes")
        local h, l = osbridge.crc16(s)
        lu.assertEquals(h:byte() * 256 + l:byte(), reference_crc(s), "crc16 of " .. n .. " bytes")
    end
end

function TestHex:test_round_trip_of_every_byte()
    local all = {}
    for i = 0, 255 do all[#all + 1] = string.char(i) end
    local s = table.concat(all)
    lu.assertEquals(osbridge.to_hex(s):len(), 512)
    lu.assertEquals(osbridge.from_hex(osbridge.to_hex(s)), s)
    lu.assertEquals(osbridge.from_hex(osbridge.to_hex(s):lower()), s)
end

TestEpoch = {}

function TestEpoch:test_whole_milliseconds_near_the_clock()
    local ms = osbridge.get_epoch_ms()
    lu.assertIsNumber(ms)
    lu.assertEquals(ms, math.floor(ms))
    -- os.time() is UTC-based; the module counts local wall time, so they may
    -- differ by the zone offset, at most 14 hours.
    lu.assertTrue(math.abs(ms / 1000 - os.time()) < 14 * 3600 + 5, tostring(ms))
    lu.assertTrue(osbridge.get_epoch_ms("ignored") >= ms)
end

TestVersion = {}

function TestVersion:test_five_values()
    local major, minor, build, platform, sp = osbridge.version()
    lu.assertIsNumber(major)
    lu.assertIsNumber(minor)
    lu.assertIsNumber(build)
    lu.assertEquals(platform, osbridge.VER_PLATFORM_WIN32_NT)
    lu.assertIsString(sp)
    lu.assertEquals(select("#", osbridge.version(1, 2, 3)), 5)
    lu.assertEquals({ osbridge.version(1, 2, 3) }, { major, minor, build, platform, sp })
end

-- Both interpreters declare Windows 7 to 11 in their manifests, so the system
-- tells them its own version: 10.0 in the run under a prefix set to Windows 10
-- (OSB_WINDOWS_VERSION=10), where a program without the declaration is told
-- 6.2; 6.1 under the prefix's default, Windows 7.
function TestVersion:test_true_version_in_both_interpreters()
    local expected = os.getenv("OSB_WINDOWS_VERSION") == "10" and "10.0" or "6.1"
    local major, minor = osbridge.version()
    lu.assertEquals(major .. "." .. minor, expected, support.interpreter)
    local other = support.interpreter == "lua.exe" and "lua-utf8.exe" or "lua.exe"
    local script = os.getenv("TEMP") .. "\\osbridge-version.lua"
    local f = assert(io.open(script, "w"))
    f:write(("package.cpath = [[%s\\?.dll]]\nrequire 'osbridge'\nlocal major, minor = osbridge.version()\n"
        .. "io.write(major, '.', minor)\n"):format(BUILD_DIR))
    f:close()
    local got = support.run(('"%s\\%s" "%s"'):format(BUILD_DIR, other, script))
    os.remove(script)
    lu.assertEquals(got, expected, other)
end

-- Raw bytes stay raw whatever code page the script chose.
function TestCrc16:test_bytes_ignore_the_code_page()
    local data = "\0\128\197\255" .. texts.unicode[4] .. texts.invalid_utf8[1]
    local before = { osbridge.to_hex(data), osbridge.from_hex("00C5FF"), osbridge.crc16(data) }
    texts.in_utf8(function()
        lu.assertEquals({ osbridge.to_hex(data), osbridge.from_hex("00C5FF"), osbridge.crc16(data) }, before)
    end)
end

TestLastError = {}

function TestLastError:test_text_of_a_failed_call()
    local missing = os.getenv("TEMP") .. "\\osbridge-no-such-dir\\x\\y"
    lu.assertFalse(osbridge.copy_file(missing, missing .. ".copy"))
    local text = osbridge.get_last_error("ignored")
    lu.assertStrMatches(text, "^[^\r\n]+ %(3%)$")
end

function TestLastError:test_text_in_the_code_page_of_the_run()
    -- The system's texts are Japanese in the Japanese locale of the 932 run.
    local cptext = assert(package.loadlib(BUILD_DIR .. "\\fixtures\\cptext.dll", "luaopen_cptext"))()
    lu.assertEquals(cptext.acp(), CODE_PAGE, "the run's code page")
    local missing = os.getenv("TEMP") .. "\\osbridge-no-such-file"
    local failures = {
        [2] = function() return osbridge.copy_file(missing, missing .. ".copy") end,
        [3] = function() return osbridge.copy_file(missing .. "\\x", missing) end,
        [183] = function() return osbridge.mkdir(os.getenv("TEMP")) end,
    }
    for code, fail in pairs(failures) do
        lu.assertFalse(fail())
        lu.assertEquals(cptext.utf8(osbridge.get_last_error()), ("%s (%d)"):format(cptext.message(code), code))
        -- The same text in UTF-8 when the script chose it.
        texts.in_utf8(function()
            lu.assertFalse(fail())
            lu.assertEquals(osbridge.get_last_error(), ("%s (%d)"):format(cptext.message(code), code))
        end)
    end
end
