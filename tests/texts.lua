-- Non-ASCII texts that the ANSI code page of this run can represent, for the
-- suites to loop over. Each sample has `ansi`, its bytes in that code page
-- (what the module takes and gives back), and `utf8`, the same text as the
-- helper programs read and write it:
--   local texts = require "texts"
--   for _, s in ipairs(texts) do osbridge.mkdir(dir .. "\\" .. s.ansi) end
-- texts.char is one character of the widest kind the code page has: two
-- bytes and one UTF-16 unit in 932; four bytes and two units (a surrogate
-- pair) in UTF-8. texts.joined is every sample in one text.

require "support"  -- CODE_PAGE

local function same(text) return { ansi = text, utf8 = text } end

local by_code_page = {
    [1252] = {
        { ansi = "Gr\252\223e \224\233\238\245\252", utf8 = "Grüße àéîõü" },
        { ansi = "\128\137 \156\159", utf8 = "€‰ œŸ" },  -- bytes 0x80 to 0x9F
        char = { ansi = "\233", utf8 = "é" },
    },
    [932] = {
        -- The second bytes of 表 and ソ are 0x5C, the backslash of ASCII.
        { ansi = "\147\250\150\123\140\234\130\204\149\92\142\166", utf8 = "日本語の表示" },
        { ansi = "\131\92\131\116\131\103 \182\197", utf8 = "ソフト ｶﾅ" },  -- ｶﾅ: one byte each
        char = { ansi = "\149\92", utf8 = "表" },
    },
    [65001] = {
        same "日本語 ünï 😀 end",
        same "𠮷野家 ソ表示",
        char = same "😀",
    },
}

local texts = assert(by_code_page[CODE_PAGE], "no sample texts for code page " .. tostring(CODE_PAGE))

local ansi, utf8 = {}, {}
for i, sample in ipairs(texts) do ansi[i], utf8[i] = sample.ansi, sample.utf8 end
texts.joined = { ansi = table.concat(ansi, " "), utf8 = table.concat(utf8, " ") }

-- Texts beyond any one ANSI code page, in UTF-8, for set_code_page(65001):
-- Czech, Japanese, a character beyond U+FFFF, and all three mixed.
texts.unicode = {
    "Příliš žluťoučký kůň",
    "日本語の表示",
    "smile 🙂 end",
    "Příliš žluťoučký 日本語 🙂",
}
-- Bytes that are no UTF-8, one of each fault: cut short, an over-long form
-- (of "/"), a surrogate's own code, a byte that never occurs.
texts.invalid_utf8 = { "ab\197", "a\192\175b", "a\237\160\128b", "a\255b" }

-- fn(...) with this state's texts in UTF-8, the code page before it
-- restored however fn ends.
function texts.in_utf8(fn, ...)
    local previous = osbridge.set_code_page(osbridge.CP_UTF8)
    local results = { pcall(fn, ...) }
    osbridge.set_code_page(previous)
    if not results[1] then error(results[2], 0) end
    return unpack(results, 2, table.maxn(results))
end

-- The UTF-16 code units of a UTF-8 text.
function texts.units(text)
    local units = {}
    for char in text:gmatch("[%z\1-\127\194-\244][\128-\191]*") do
        local code = char:byte(1)
        if #char > 1 then
            code = code % 2 ^ (7 - #char)  -- the lead byte's payload bits
            for i = 2, #char do code = code * 64 + char:byte(i) % 64 end
        end
        if code >= 0x10000 then
            units[#units + 1] = 0xD800 + math.floor((code - 0x10000) / 1024)
            units[#units + 1] = 0xDC00 + (code - 0x10000) % 1024
        else
            units[#units + 1] = code
        end
    end
    return units
end

-- The UTF-16LE bytes of a UTF-8 text, as lower-case hexadecimal.
function texts.utf16_hex(text)
    local hex = {}
    for i, unit in ipairs(texts.units(text)) do
        hex[i] = string.format("%02x%02x", unit % 256, math.floor(unit / 256))
    end
    return table.concat(hex)
end

return texts
