-- bitmap_info on bitmap files written here; play_sound where Wine needs no
-- audio device (what it hands to the system is checked with the stand-in).
local media = require "ui.media_files"

local dir = BUILD_DIR .. "\\"

TestUiMedia = {}

function TestUiMedia.test_bitmap_sizes_and_depths()
    local cases = { { 640, 480, 24 }, { 3, 2, 1 }, { 17, 5, 4 }, { 33, 9, 8 }, { 10, 7, 16 }, { 1, 300, 32 } }
    for _, c in ipairs(cases) do
        local path = ("%sui-bitmap-%dx%dx%d.bmp"):format(dir, c[1], c[2], c[3])
        media.bitmap(path, c[1], c[2], c[3])
        local info = osbridge.bitmap_info(path)
        os.remove(path)
        lu.assertEquals(info, { width = c[1], height = c[2], bits_pixel = c[3] }, path)
    end
end

function TestUiMedia.test_bitmap_failures()
    local r = { osbridge.bitmap_info(dir .. "ui-no-such.bmp") }
    lu.assertEquals(r, { nil, "unable to load bitmap" })
    lu.assertEquals({ osbridge.bitmap_info("") }, { nil, "a2w() error" })
    local path = dir .. "ui-not-a-bitmap.bmp"
    local f = assert(io.open(path, "wb"))
    f:write("BM but not really a bitmap")
    f:close()
    r = { osbridge.bitmap_info(path) }
    os.remove(path)
    lu.assertEquals(r, { nil, "unable to load bitmap" })
    lu.assertErrorMsgContains("bad argument #1", osbridge.bitmap_info, {})
    lu.assertErrorMsgContains("bad argument #1", osbridge.bitmap_info)
end

function TestUiMedia.test_sound_arguments()
    lu.assertFalse(osbridge.play_sound(""))
    -- An empty path is refused before the flags are looked at.
    lu.assertFalse(osbridge.play_sound("", 0))
    lu.assertErrorMsgContains("bad argument #1", osbridge.play_sound)
    lu.assertErrorMsgContains("bad argument #1", osbridge.play_sound, {})
    lu.assertErrorMsgContains("bad argument #2", osbridge.play_sound, "x.wav", "loud")
    lu.assertErrorMsgContains("bad argument #2", osbridge.play_sound, "x.wav", {})
end

function TestUiMedia.test_missing_sound_file_is_false()
    -- Synchronous, no default sound: nothing can be played.
    lu.assertFalse(osbridge.play_sound(dir .. "ui-no-such.wav", 2))
end

function TestUiMedia.test_asynchronous_play_answers_at_once()
    -- Wine starts the sound on its own thread, even without an audio device.
    local path = dir .. "ui-silence.wav"
    media.wave(path, 800)
    lu.assertTrue(osbridge.play_sound(path))
    lu.assertTrue(osbridge.play_sound(path, 1.9))
    os.remove(path)
end
