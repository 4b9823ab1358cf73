-- What play_sound hands to PlaySoundW, seen through the recording stand-in
-- for winmm (standins/winmm.c), which logs each call beside itself.
local media = require "ui.media_files"

local log_path = BUILD_DIR .. "\\winmm-calls.log"
local wave = BUILD_DIR .. "\\ui-sound.wav"

-- The calls logged while fn runs, each as { path, module, flags }, and fn's result.
local function calls(fn, ...)
    os.remove(log_path)
    local result = fn(...)
    local list = {}
    local f = io.open(log_path, "rb")
    if f then
        for line in f:lines() do
            local path, module, flags = line:match("^PlaySoundW (.*) (%x+) 0x(%x+)$")
            list[#list + 1] = { path, tonumber(module, 16), tonumber(flags, 16) }
        end
        f:close()
    end
    os.remove(log_path)
    return list, result
end

TestUiSoundFlags = {}

function TestUiSoundFlags.setUp()
    media.wave(wave, 800)
end

function TestUiSoundFlags.tearDown()
    os.remove(wave)
end

function TestUiSoundFlags.test_default_is_asynchronous_file_name()
    local list, played = calls(osbridge.play_sound, wave)
    lu.assertTrue(played)
    lu.assertEquals(list, { { wave, 0, 0x00020001 } })
    list = calls(osbridge.play_sound, wave, nil)
    lu.assertEquals(list[1][3], 0x00020001)
end

function TestUiSoundFlags.test_flags_truncated_and_file_name_always_set()
    local cases = {
        { 8 + 1, 0x00020009 }, { 1.9, 0x00020001 }, { 0, 0x00020000 }, { -1.5, 0xFFFFFFFF },
        { 2 ^ 32 + 5, 0x00020005 }, { "9", 0x00020009 }, { 0x00020002, 0x00020002 },
    }
    for _, c in ipairs(cases) do
        local list = calls(osbridge.play_sound, wave, c[1])
        lu.assertEquals(#list, 1)
        lu.assertEquals(list[1][3], c[2], "flags " .. tostring(c[1]))
    end
end

function TestUiSoundFlags.test_result_is_the_system_answer()
    local list, played = calls(osbridge.play_sound, BUILD_DIR .. "\\ui-missing.wav", 0)
    lu.assertFalse(played)
    lu.assertEquals(#list, 1)
end

function TestUiSoundFlags.test_empty_path_never_reaches_the_system()
    local list, played = calls(osbridge.play_sound, "", 8 + 1)
    lu.assertFalse(played)
    lu.assertEquals(list, {})
end

function TestUiSoundFlags.test_path_ends_at_embedded_nul()
    local list = calls(osbridge.play_sound, wave .. "\0ignored")
    lu.assertEquals(list[1][1], wave)
end
