-- The URL cache, the trusted root certificate store and the two services
-- without anything behind them, against Wine's own internet and crypto
-- libraries. Entries and certificates are made by the fixture programs.

local support = require "support"

local URLCACHE = FIXTURE_BIN .. "\\net_urlcache.exe"
local CERT = FIXTURE_BIN .. "\\net_cert.exe"

local function count(...) return select("#", ...), ... end

local function run(command)
    local output, code = support.run(command)
    lu.assertEquals(code, 0, command .. "\n" .. output)
end

-- The output lines of a fixture command.
local function lines_of(command)
    local out = {}
    for line in support.run(command):gmatch("[^\n]+") do out[#out + 1] = line end
    return out
end

local COOKIE = 0x100000  -- COOKIE_CACHE_ENTRY

local function is_cookie(entry_type)
    return math.floor(entry_type / COOKIE) % 2 == 1
end

-- Reports whether each URL is cached ("1"/"0") and every entry a walk of the
-- whole cache sees, { {type=, url=}, ... }, between two fixture commands.
local function report(urls, before, after)
    local has, entries = {}, {}
    local command = ("%s %s report %s %s"):format(URLCACHE, before or "", table.concat(urls, " "), after or "")
    for _, line in ipairs(lines_of(command)) do
        local found = line:match("^has (%d)$")
        local entry_type, url = line:match("^entry (%d+) (.*)$")
        if found then has[#has + 1] = found end
        if url then entries[#entries + 1] = { type = tonumber(entry_type), url = url } end
    end
    return has, entries
end

TestNetUrlCache = {}

function TestNetUrlCache:setUp()
    self.page = "http://osbridge.test/net/page.html"
    self.image = "http://osbridge.test/net/image.png"
    -- Its header alone makes the entry's record larger than the first buffer.
    self.big = "http://osbridge.test/net/big.html"
    self.cookie = "Cookie:tester@osbridge.test/net/"
    self.typed_cookie = "http://osbridge.test/net/typed-cookie"
    self.all = { self.page, self.image, self.big, self.cookie, self.typed_cookie }
end

function TestNetUrlCache:test_only_cookies_survive_a_walk_over_a_large_entry()
    local add = ("add %s 1 0 %s %d 0 %s 1 45000 %s 1 0 %s %d 0 +"):format(self.page, self.cookie, COOKIE,
        self.big, self.image, self.typed_cookie, COOKIE + 1)  -- 1: NORMAL_CACHE_ENTRY
    local has, entries = report(self.all, add)
    lu.assertEquals(has, { "1", "1", "1", "1", "1" })
    local position
    for i, entry in ipairs(entries) do
        if entry.url == self.big then position = i end
    end
    lu.assertTrue(position > 1, "the large entry must come after the first one")

    local n, ok = count(osbridge.clear_browser_cache())
    has, entries = report(self.all, nil, "+ delete " .. self.cookie .. " " .. self.typed_cookie)
    lu.assertEquals({ n, ok }, { 1, true })
    lu.assertEquals(has, { "0", "0", "0", "1", "1" })
    for _, entry in ipairs(entries) do
        lu.assertTrue(is_cookie(entry.type), entry.url)
    end
end

function TestNetUrlCache:test_empty_cache()
    run(URLCACHE .. " delete")
    lu.assertEquals({ count(osbridge.clear_browser_cache()) }, { 1, true })
end

-- One new self-signed certificate's DER bytes for all tests.
local certificate
local function test_certificate()
    if not certificate then
        local file = os.getenv("TEMP") .. "\\osbridge-net-test.der"
        run(('%s make "CN=osbridge net test %d" %s'):format(CERT, os.time(), file))
        local f = assert(io.open(file, "rb"))
        certificate = f:read("*a")
        f:close()
        os.remove(file)
    end
    return certificate
end

-- Takes the certificate out of the root store again: "removed" or "absent".
local function remove_from_root(der)
    local hex = der:gsub(".", function(c) return ("%02x"):format(c:byte()) end)
    return lines_of(CERT .. " remove " .. hex)[1]
end

TestNetCertStore = {}

function TestNetCertStore:setUp()
    self.der = test_certificate()
end

function TestNetCertStore:tearDown()
    if self.added then remove_from_root(self.der) end
end

function TestNetCertStore:test_add_and_add_again()
    lu.assertNotNil(self.der:find("\0", 1, true), "DER data with zero bytes, which must go through")
    self.added = true
    lu.assertEquals({ count(osbridge.add_cert_to_store(self.der)) }, { 1, true })
    -- The default disposition uses the certificate already there.
    lu.assertEquals({ count(osbridge.add_cert_to_store(self.der)) }, { 1, true })
    lu.assertEquals({ count(osbridge.add_cert_to_store(self.der, 1)) },
        { 2, false, "CertAddEncodedCertificateToStore() error: certificate already exists" })
    lu.assertEquals({ osbridge.add_cert_to_store(self.der, "1") }, { false,
        "CertAddEncodedCertificateToStore() error: certificate already exists" })
    self.added = false
    lu.assertEquals(remove_from_root(self.der), "removed")  -- it went into the root store
end

function TestNetCertStore:test_data_that_is_no_certificate()
    lu.assertEquals({ osbridge.add_cert_to_store(self.der:sub(1, 100)) },
        { false, "CertAddEncodedCertificateToStore() error: ASN1 unexpected end of data (100)" })
    -- Other codes in lower-case hexadecimal.
    local ok, message = osbridge.add_cert_to_store("not a certificate")
    lu.assertFalse(ok)
    lu.assertStrMatches(message, "CertAddEncodedCertificateToStore%(%) error: 0x[1-9a-f][0-9a-f]*")
    -- A number is taken as its text, whose first byte is no certificate's tag.
    lu.assertEquals({ osbridge.add_cert_to_store(123) },
        { false, "CertAddEncodedCertificateToStore() error: 0x8009310b" })
    -- Beyond the system's 32-bit count: refused, not read as its low bits
    -- (here its first 256 bytes). 5.5 builds the 4 GiB string without a copy.
    if _VERSION == "Lua 5.5" and string.packsize("T") == 8 then
        local huge = self.der:sub(1, 256):rep(2 ^ 24 + 1)
        local result = { osbridge.add_cert_to_store(huge) }
        huge = nil
        collectgarbage()
        lu.assertEquals(result, { false, "CertAddEncodedCertificateToStore() error: data too long (4294967552 bytes)" })
    end
end

function TestNetCertStore:test_unknown_disposition_is_invalid()
    lu.assertEquals({ osbridge.add_cert_to_store(self.der, 99) },
        { false, "CertAddEncodedCertificateToStore() error: certificate invalid" })
end

function TestNetCertStore:test_argument_errors()
    support.assert_argument_error(1, "string expected, got no value", osbridge.add_cert_to_store)
    lu.assertErrorMsgContains("string expected, got table", osbridge.add_cert_to_store, {})
    support.assert_argument_error(2, "number expected, got string", osbridge.add_cert_to_store, self.der, "new")
end

TestNetUnsupported = {}

function TestNetUnsupported:test_fixed_answers_whatever_the_arguments()
    for _, args in ipairs({ {}, { 1, "x" }, { {}, true } }) do
        lu.assertEquals({ count(osbridge.get_net_adapters_info(unpack(args))) }, { 2, nil, "not supported" })
        lu.assertEquals({ count(osbridge.phone_makecall(unpack(args))) },
            { 2, false, "PhoneMakeCall() is not supported" })
    end
end
