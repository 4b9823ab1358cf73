-- User interaction: the clipboard, bitmap files and sounds. (msgbox and
-- get_password wait for a person, so the tour only describes them.)

local dir = os.getenv("TEMP") or "."

-- Put text on the clipboard, once as ANSI and once as UTF-16, and read it back.
local saved = osbridge.clipboard_get()
print("clipboard_set:", osbridge.clipboard_set("Hello from osbridge"))
print("clipboard_get:", osbridge.clipboard_get())
print("clipboard_set as UTF-16:", osbridge.clipboard_set("Hello again", true))
print("clipboard_get:", osbridge.clipboard_get())
if saved then osbridge.clipboard_set(saved) end

-- Write a small 24-bit bitmap and ask what it is.
local function u16(n) return string.char(n % 256, math.floor(n / 256) % 256) end
local function u32(n) return u16(n % 65536) .. u16(math.floor(n / 65536)) end
local bmp = dir .. "\\osbridge-tour.bmp"
local width, height = 40, 30
local pixels = ("\0\128\255"):rep(width * height)  -- 120 bytes a row: already a multiple of 4
local f = assert(io.open(bmp, "wb"))
f:write("BM", u32(54 + #pixels), u32(0), u32(54), u32(40), u32(width), u32(height), u16(1), u16(24),
        u32(0), u32(#pixels), u32(2835), u32(2835), u32(0), u32(0), pixels)
f:close()
local info, err = osbridge.bitmap_info(bmp)
if info then
    print(("bitmap_info: %d x %d, %d bits per pixel"):format(info.width, info.height, info.bits_pixel))
else
    print("bitmap_info:", err)
end
os.remove(bmp)
print("bitmap_info of a missing file:", osbridge.bitmap_info(dir .. "\\no-such.bmp"))

-- A tenth of a second of silence, played in the background.
local samples = 800
local wav = dir .. "\\osbridge-tour.wav"
f = assert(io.open(wav, "wb"))
f:write("RIFF", u32(36 + samples), "WAVE", "fmt ", u32(16), u16(1), u16(1), u32(8000), u32(8000), u16(1), u16(8),
        "data", u32(samples), ("\128"):rep(samples))
f:close()
print("play_sound (asynchronous):", osbridge.play_sound(wav))
osbridge.sleep(300)
os.remove(wav)

print("msgbox(text [, caption [, style]]) shows a box and returns the button pressed, e.g. osbridge.IDOK")
print("get_password() asks for a password in a small dialog and returns it, or nil")
