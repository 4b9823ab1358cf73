-- Dial-up functions against the recording stand-in of the remote access
-- service: phone-book entries, connections and their states, dialling, and
-- the record sizes and strides the module hands to the service.

local support = require "support"
local standin = support.standin("rasapi32")
local serve, calls = standin.serve, standin.calls

local function count(...) return select("#", ...), ... end

-- Handles come back as light userdata; the stand-in names them in its log.
local function handle_number(handle)
    osbridge.ras_hangup(handle)
    local log = calls()
    return tonumber(log[#log]:match("^RasHangUpW handle=(%d+)"))
end

TestNetRasStandinEntries = {}

function TestNetRasStandinEntries:tearDown() serve() end

function TestNetRasStandinEntries:test_entries_in_service_order_after_a_size_query()
    serve("entry|Office", "entry|", "entry|Home office", "entry|" .. ("L"):rep(256))
    local n, entries, second = count(osbridge.ras_entries())
    lu.assertEquals(n, 2)
    lu.assertNil(second)
    -- An empty name leaves a gap; the others keep their places.
    lu.assertEquals(entries, { [1] = "Office", [3] = "Home office", [4] = ("L"):rep(256) })
    lu.assertEquals(calls(), {
        "RasEnumEntriesW reserved=(null) book=(null) size=none bytes=0 -> 603",
        "RasEnumEntriesW reserved=(null) book=(null) size=ok bytes=4192 -> 0",
    })
end

function TestNetRasStandinEntries:test_empty_phone_book_and_service_errors()
    serve()
    local entries, code = osbridge.ras_entries()
    lu.assertEquals(entries, {})
    lu.assertNil(code)

    serve("entry|Office", "result|RasEnumEntriesW|4294967295")
    local n
    n, entries, code = count(osbridge.ras_entries())
    lu.assertEquals({ n, entries, code }, { 2, nil, 4294967295 })  -- unsigned, not -1
end

TestNetRasStandinConnections = {}

function TestNetRasStandinConnections:tearDown() serve() end

function TestNetRasStandinConnections:test_connections_by_name_with_their_handles()
    serve("connection|4096|Office", "connection|8192|Home", "connection|12288|Office", "connection|16384|")
    local n, connections, second = count(osbridge.ras_connections())
    lu.assertEquals(n, 2)
    lu.assertNil(second)
    local log = calls()
    lu.assertEquals(#log, 2)
    lu.assertEquals(log[1], "RasEnumConnectionsW size=ok bytes=0 -> 603")
    lu.assertStrMatches(log[2], "RasEnumConnectionsW size=ok bytes=%d+ %-> 0")
    local names = {}
    for name, handle in pairs(connections) do
        lu.assertEquals(type(handle), "userdata", name)
        names[#names + 1] = name
    end
    table.sort(names)
    -- The later of two connections with one name wins; a nameless one is left out.
    lu.assertEquals(names, { "Home", "Office" })
    lu.assertEquals(handle_number(connections.Home), 8192)
    lu.assertEquals(handle_number(connections.Office), 12288)
end

function TestNetRasStandinConnections:test_no_connections_and_service_errors()
    serve()
    local connections, code = osbridge.ras_connections()
    lu.assertEquals(connections, {})
    lu.assertNil(code)
    lu.assertEquals(calls(), {
        "RasEnumConnectionsW size=ok bytes=0 -> 0",
        "RasEnumConnectionsW size=ok bytes=0 -> 0",
    })

    serve("connection|4096|Office", "result|RasEnumConnectionsW|632")
    local n
    n, connections, code = count(osbridge.ras_connections())
    lu.assertEquals({ n, connections, code }, { 2, nil, 632 })
end

TestNetRasStandinStatus = {}

function TestNetRasStandinStatus:setUp()
    serve("connection|4096|Office", "connection|8192|Home",
          "status|4096|3|0|modem|Standard Modem",
          "status|8192|8193|691||")
    local connections = osbridge.ras_connections()
    self.office, self.home = connections.Office, connections.Home
end

function TestNetRasStandinStatus:tearDown() serve() end

function TestNetRasStandinStatus:test_state_of_a_connection_in_progress()
    local n, status, second = count(osbridge.ras_connect_status(self.office))
    lu.assertEquals(n, 2)
    lu.assertNil(second)
    lu.assertEquals(status, { state = 3, error = 0, name = "Standard Modem", type = "modem" })
    lu.assertTrue(status.state < osbridge.RASCS_Connected)
    lu.assertStrContains(calls()[#calls()], "RasGetConnectStatusW handle=4096 size=ok -> 0")
end

function TestNetRasStandinStatus:test_failed_connection_without_device_texts()
    local status = osbridge.ras_connect_status(self.home)
    lu.assertEquals(status, { state = osbridge.RASCS_Disconnected, error = 691 })
end

function TestNetRasStandinStatus:test_stale_and_non_handle_arguments()
    serve()  -- the service has forgotten both connections
    local n, status, code = count(osbridge.ras_connect_status(self.office))
    lu.assertEquals({ n, status, code }, { 2, nil, 6 })
    lu.assertEquals(osbridge.ras_hangup(self.office), 6)
    -- Anything but a handle is passed on as the null handle.
    lu.assertEquals(select(2, osbridge.ras_connect_status("4096")), 6)
    lu.assertEquals(select("#", osbridge.ras_hangup()), 1)
    lu.assertEquals(calls(), {
        "RasGetConnectStatusW handle=4096 size=ok -> 6",
        "RasHangUpW handle=4096 -> 6",
        "RasGetConnectStatusW handle=0 size=ok -> 6",
        "RasHangUpW handle=0 -> 6",
    })
end

TestNetRasStandinDial = {}

function TestNetRasStandinDial:setUp()
    serve("entry|Office", "entry|42", "entry|" .. ("L"):rep(256))
end

function TestNetRasStandinDial:tearDown() serve() end

local function dialled(name)
    return "RasDialW extensions=(null) book=(null) size=ok name=" .. name .. " user=user-" .. name
        .. " password=secret notifier=0/(null) handle=0 -> "
end

function TestNetRasStandinDial:test_dial_with_saved_credentials()
    local n, ok, code = count(osbridge.ras_dial("Office\0ignored"))
    lu.assertEquals({ n, ok, code }, { 2, true, 0 })
    lu.assertEquals(calls(), {
        "RasGetEntryDialParamsW book=(null) size=ok name=Office -> 0",
        dialled("Office") .. "0",
    })
end

function TestNetRasStandinDial:test_failed_dial_hangs_up_its_handle()
    serve("entry|Office", "result|RasDialW|691")
    lu.assertEquals({ osbridge.ras_dial("Office") }, { false, 691 })
    lu.assertEquals(calls(), {
        "RasGetEntryDialParamsW book=(null) size=ok name=Office -> 0",
        dialled("Office") .. "691",
        "RasHangUpW handle=4660 -> 0",
    })
end

function TestNetRasStandinDial:test_unknown_entry_is_not_dialled()
    lu.assertEquals({ osbridge.ras_dial("Elsewhere") }, { false, 623 })
    lu.assertEquals(calls(), { "RasGetEntryDialParamsW book=(null) size=ok name=Elsewhere -> 623" })
end

function TestNetRasStandinDial:test_number_names_its_text()
    lu.assertEquals({ osbridge.ras_dial(42) }, { true, 0 })
    lu.assertEquals(calls()[2], dialled("42") .. "0")
end

function TestNetRasStandinDial:test_names_that_do_not_fit_the_record_are_refused()
    local longest = ("L"):rep(256)
    lu.assertEquals({ osbridge.ras_dial(longest) }, { true, 0 })
    lu.assertStrContains(calls()[2], " name=" .. longest .. " user=", false)

    serve("entry|Office")
    for _, name in ipairs({ "", "\0Office", longest .. "L" }) do
        lu.assertEquals({ osbridge.ras_dial(name) }, { false, 87 }, #name)
    end
    lu.assertEquals(calls(), {})  -- the service never saw them
end

function TestNetRasStandinDial:test_argument_errors()
    support.assert_argument_error(1, "string expected, got no value", osbridge.ras_dial)
    lu.assertErrorMsgContains("string expected, got table", osbridge.ras_dial, {})
    lu.assertEquals(calls(), {})
end
