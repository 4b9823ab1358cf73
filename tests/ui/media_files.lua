-- Bitmap and wave files written by the media tests.
local media = {}

local function u16(n) return string.char(n % 256, math.floor(n / 256) % 256) end
local function u32(n) return u16(n % 65536) .. u16(math.floor(n / 65536) % 65536) end

-- An uncompressed bitmap file of the given size and depth, every pixel zero.
function media.bitmap(path, width, height, bits)
    local colours = bits <= 8 and 2 ^ bits or 0
    local palette = ("\0\0\0\0"):rep(colours)
    local stride = math.floor((width * bits + 31) / 32) * 4
    local pixels = ("\0"):rep(stride * height)
    local offset = 14 + 40 + #palette
    local f = assert(io.open(path, "wb"))
    f:write("BM", u32(offset + #pixels), u32(0), u32(offset),
            u32(40), u32(width), u32(height), u16(1), u16(bits), u32(0), u32(#pixels),
            u32(2835), u32(2835), u32(colours), u32(0), palette, pixels)
    f:close()
end

-- A short PCM wave file of silence (8 kHz, 8 bits, mono).
function media.wave(path, samples)
    local data = ("\128"):rep(samples)
    local f = assert(io.open(path, "wb"))
    f:write("RIFF", u32(36 + #data), "WAVE", "fmt ", u32(16), u16(1), u16(1), u32(8000), u32(8000),
            u16(1), u16(8), "data", u32(#data), data)
    f:close()
end

return media
