-- Dial-up functions against Wine's remote access service, which has no
-- phone book and no devices; the stand-in suite covers the rest.

local function count(...) return select("#", ...), ... end

TestNetRas = {}

function TestNetRas:test_empty_phone_book_and_no_connections()
    lu.assertEquals({ count(osbridge.ras_entries()) }, { 2, {}, nil })
    lu.assertEquals({ count(osbridge.ras_connections()) }, { 2, {}, nil })
end

function TestNetRas:test_dial_without_a_device_fails_with_the_service_code()
    local n, ok, code = count(osbridge.ras_dial("osbridge-no-such-entry"))
    lu.assertEquals({ n, ok, type(code) }, { 2, false, "number" })
    lu.assertTrue(code > 0, code)
    lu.assertEquals({ count(osbridge.ras_hangup(nil)) }, { 1, osbridge.ras_hangup(nil) })
end
