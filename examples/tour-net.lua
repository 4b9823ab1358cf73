-- Dial-up, URL cache and certificates: list phone-book entries and
-- connections, try a dial that cannot work, clear the URL cache (cookies
-- stay), and show how the root store reports data that is no certificate.
local entries, code = osbridge.ras_entries()
if entries then
    print(("phone-book entries: %d"):format(#entries))
    for i, name in pairs(entries) do print("", i, name) end
else
    print("ras_entries failed with", code)
end
local connections = osbridge.ras_connections() or {}
for name, handle in pairs(connections) do
    local status = osbridge.ras_connect_status(handle)
    print("connection", name, status and status.state == osbridge.RASCS_Connected and "up" or "not up")
end
print("dialling an empty entry name:", osbridge.ras_dial(""))  -- false 87, the service is not called

-- This really empties the user's URL cache of everything but cookies.
local ok, message = osbridge.clear_browser_cache()
print("clear_browser_cache:", ok and "done, cookies kept" or message)

-- Anything but DER certificate data is refused before the store changes.
print("add_cert_to_store of a truncated certificate:", osbridge.add_cert_to_store("\48\130\1\34"))
print("get_net_adapters_info:", osbridge.get_net_adapters_info())
print("phone_makecall:", osbridge.phone_makecall("555-0100"))
