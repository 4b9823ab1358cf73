-- The URL cache walk against the recording stand-in of the internet library:
-- what is deleted, the buffer sizes handed over, and each failure's text.

local standin = require("support").standin("wininet")
local serve, calls = standin.serve, standin.calls

local function count(...) return select("#", ...), ... end

local FIRST, NEXT = "FindFirstUrlCacheEntryW", "FindNextUrlCacheEntryW"
local COOKIE = 0x100000

TestNetCacheStandin = {}

function TestNetCacheStandin:tearDown() serve() end

function TestNetCacheStandin:test_walk_keeps_cookies_and_grows_the_buffer()
    serve("entry|1|http://a.test/page||", "entry|" .. COOKIE .. "|Cookie:u@a.test/|",
        "entry|1|http://a.test/big|50000", "entry|1|http://a.test/last|")
    lu.assertEquals({ count(osbridge.clear_browser_cache()) }, { 1, true })
    local log = calls()
    lu.assertEquals(log[1], FIRST .. " struct=40960 size=40960")
    lu.assertEquals(log[2], "DeleteUrlCacheEntryW url=http://a.test/page")
    -- The byte count is passed on as each call left it; the big entry's 122
    -- brings a new block of exactly the size asked for.
    lu.assertStrMatches(log[3], NEXT .. " struct=%d+ size=%d+")
    lu.assertNotStrContains(log[3], "size=40960")
    lu.assertEquals({ log[5], log[6] }, { NEXT .. " struct=50000 size=50000", "DeleteUrlCacheEntryW url=http://a.test/big" })
    lu.assertEquals(log[#log - 2], "DeleteUrlCacheEntryW url=http://a.test/last")
    lu.assertEquals(log[#log], "FindCloseUrlCache handle=ok")
    for _, line in ipairs(log) do lu.assertNotStrContains(line, "Cookie:") end
end

function TestNetCacheStandin:test_empty_cache_opens_nothing()
    serve()
    lu.assertEquals({ count(osbridge.clear_browser_cache()) }, { 1, true })
    lu.assertEquals(calls(), { FIRST .. " struct=40960 size=40960" })
end

function TestNetCacheStandin:test_failure_texts()
    -- The first call's failure opens nothing, so nothing is closed.
    serve("entry|1|http://a.test/page|", "fail|" .. FIRST .. "|5")
    lu.assertEquals({ count(osbridge.clear_browser_cache()) },
        { 2, false, "FindFirstUrlCacheEntry() failed, error: 5" })
    lu.assertEquals(#calls(), 1)

    serve("entry|1|http://a.test/page|", "fail|" .. FIRST .. "|122")
    lu.assertEquals({ count(osbridge.clear_browser_cache()) },
        { 2, false, "FindFirstUrlCacheEntry() failed, error: ERROR_INSUFFICIENT_BUFFER" })
    lu.assertEquals(calls(), { FIRST .. " struct=40960 size=40960", FIRST .. " struct=41960 size=41960" })

    -- Later failures close the walk; entries deleted before stay deleted.
    serve("entry|1|http://a.test/page|", "fail|" .. NEXT .. "|122")
    lu.assertEquals({ count(osbridge.clear_browser_cache()) },
        { 2, false, "FindNextUrlCacheEntry() failed, error: ERROR_INSUFFICIENT_BUFFER" })
    local log = calls()
    lu.assertEquals(log[2], "DeleteUrlCacheEntryW url=http://a.test/page")
    lu.assertEquals(#log, 5)
    lu.assertEquals(log[5], "FindCloseUrlCache handle=ok")

    -- A code with the top bit set reads as a signed decimal number.
    serve("entry|1|http://a.test/page|", "fail|" .. NEXT .. "|2147942405")  -- 0x80070005
    lu.assertEquals({ count(osbridge.clear_browser_cache()) },
        { 2, false, "FindNextUrlCacheEntry() failed, error: -2147024891" })
    lu.assertEquals(calls()[#calls()], "FindCloseUrlCache handle=ok")
end
