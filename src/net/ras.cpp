// Dial-up connections through the remote access service. Its result codes
// reach the script unchanged; only "buffer too small" is acted on here. Where
// the service's library cannot be loaded, its load error is the code.
#include "core/functions.h"
#include "core/late.h"
#include "core/osbridge.h"

#include <ras.h>
#include <raserror.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <cwchar>

namespace osbridge {

namespace {

// A record's dwSize selects the layout the service fills in: here the
// published records up to luid, szPhonebookPath, szPhoneNumber and
// dwCallbackId. Newer headers append dwIfIndex to the dial parameters, a
// layout that older services refuse.
constexpr DWORD connection_size = sizeof(RASCONNW);
constexpr DWORD entry_name_size = sizeof(RASENTRYNAMEW);
constexpr DWORD status_size = sizeof(RASCONNSTATUSW);
constexpr DWORD dial_params_size = offsetof(RASDIALPARAMSW, dwCallbackId) + sizeof(ULONG_PTR);
OSBRIDGE_I686_SIZE(RASCONNW, 1368);
OSBRIDGE_I686_SIZE(RASENTRYNAMEW, 1048);
OSBRIDGE_I686_SIZE(RASCONNSTATUSW, 564);
OSBRIDGE_I686_SIZE(char[dial_params_size], 2104);

// An enumeration buffer in a block Lua owns, left on the stack, so that a Lua
// error while the table is built leaks nothing: zero-filled records of one
// size, walked with that size as the stride.
template <typename Record, DWORD record_size>
class Records {
public:
    explicit Records(lua_State* L) : L_(L) {}

    // Replaces the buffer; the first record carries the layout's size. Never
    // smaller than one record, whatever byte count the service asked for.
    void allocate(DWORD bytes)
    {
        bytes = std::max(bytes, record_size);
        block_ = static_cast<BYTE*>(lua_newuserdata(L_, bytes));
        std::memset(block_, 0, bytes);
        capacity_ = bytes;
        at(0)->dwSize = record_size;
    }
    Record* get() const { return at(0); }
    Record* at(DWORD i) const { return block_ ? reinterpret_cast<Record*>(block_ + size_t{i} * record_size) : nullptr; }
    // How many of the `count` records the service reported the buffer holds.
    DWORD held(DWORD count) const { return std::min(count, capacity_ / record_size); }

private:
    lua_State* L_;
    BYTE* block_ = nullptr;
    DWORD capacity_ = 0;
};

// A fixed name field in the state's code page, or nil when it is empty.
template <size_t N>
void push_name(lua_State* L, const WCHAR (&field)[N], UINT cp)
{
    if (field[0])
        push_w2a(L, field, N, cp);
    else
        lua_pushnil(L);
}

template <size_t N>
void set_name_field(lua_State* L, const char* key, const WCHAR (&field)[N], UINT cp)
{
    if (field[0]) {
        push_name(L, field, cp);
        lua_setfield(L, -2, key);
    }
}

HRASCONN to_connection(lua_State* L, int index)
{
    return static_cast<HRASCONN>(const_cast<void*>(to_pointer(L, index)));
}

int push_code(lua_State* L, DWORD code)
{
    push_whole(L, code);
    return 1;
}

int push_nil_and_code(lua_State* L, DWORD code)
{
    lua_pushnil(L);
    return 1 + push_code(L, code);
}

// The table on top, then nil.
int push_table_and_nil(lua_State* L)
{
    lua_pushnil(L);
    return 2;
}

DWORD dial(const Rasapi32& ras, const char* entry, UINT cp)
{
    const WideText name = a2w(entry, cp);
    // The record's field holds 256 characters and its terminator.
    if (!name || std::wcslen(name.get()) > RAS_MaxEntryName)
        return ERROR_INVALID_PARAMETER;
    RASDIALPARAMSW params{};
    params.dwSize = dial_params_size;
    std::wcsncpy(params.szEntryName, name.get(), RAS_MaxEntryName + 1);
    BOOL password_saved = FALSE;
    DWORD result = ras.RasGetEntryDialParamsW(nullptr, &params, &password_saved);
    if (result == 0) {
        HRASCONN connection = nullptr;
        result = ras.RasDialW(nullptr, nullptr, &params, 0, nullptr, &connection);
        // A failed dial may still hold a port until it is hung up.
        if (result != 0)
            ras.RasHangUpW(connection);
    }
    // The record held the saved password.
    ::SecureZeroMemory(&params, sizeof params);
    return result;
}

} // namespace

int ras_entries(lua_State* L)
{
    const UINT cp = code_page(L);
    const Rasapi32* ras = late::rasapi32.get();
    if (!ras)
        return push_nil_and_code(L, ::GetLastError());
    Records<RASENTRYNAMEW, entry_name_size> entries(L);
    DWORD bytes = 0;
    DWORD count = 0;
    // The first call, without a buffer, asks for the size.
    if (ras->RasEnumEntriesW(nullptr, nullptr, nullptr, &bytes, &count) == ERROR_BUFFER_TOO_SMALL)
        entries.allocate(bytes);
    const DWORD result = ras->RasEnumEntriesW(nullptr, nullptr, entries.get(), &bytes, &count);
    if (result != 0)
        return push_nil_and_code(L, result);
    const DWORD held = entries.held(count);
    lua_createtable(L, static_cast<int>(held), 0);
    for (DWORD i = 0; i < held; ++i) {
        push_name(L, entries.at(i)->szEntryName, cp);
        lua_rawseti(L, -2, static_cast<int>(i) + 1);
    }
    return push_table_and_nil(L);
}

int ras_connections(lua_State* L)
{
    const UINT cp = code_page(L);
    const Rasapi32* ras = late::rasapi32.get();
    if (!ras)
        return push_nil_and_code(L, ::GetLastError());
    Records<RASCONNW, connection_size> connections(L);
    connections.allocate(connection_size);
    DWORD bytes = 0;
    DWORD count = 0;
    if (ras->RasEnumConnectionsW(connections.get(), &bytes, &count) == ERROR_BUFFER_TOO_SMALL)
        connections.allocate(bytes);
    const DWORD result = ras->RasEnumConnectionsW(connections.get(), &bytes, &count);
    if (result != 0)
        return push_nil_and_code(L, result);
    lua_newtable(L);
    for (DWORD i = 0, held = connections.held(count); i < held; ++i) {
        const RASCONNW* connection = connections.at(i);
        // A nameless connection cannot be a key; the service names every one.
        if (!connection->szEntryName[0])
            continue;
        push_name(L, connection->szEntryName, cp);
        lua_pushlightuserdata(L, connection->hrasconn);
        lua_rawset(L, -3);
    }
    return push_table_and_nil(L);
}

int ras_connect_status(lua_State* L)
{
    const UINT cp = code_page(L);
    const Rasapi32* ras = late::rasapi32.get();
    if (!ras)
        return push_nil_and_code(L, ::GetLastError());
    RASCONNSTATUSW status{};
    status.dwSize = status_size;
    const DWORD result = ras->RasGetConnectStatusW(to_connection(L, 1), &status);
    if (result != 0)
        return push_nil_and_code(L, result);
    lua_createtable(L, 0, 4);
    push_whole(L, static_cast<int32_t>(status.rasconnstate));
    lua_setfield(L, -2, "state");
    push_code(L, status.dwError);
    lua_setfield(L, -2, "error");
    set_name_field(L, "name", status.szDeviceName, cp);
    set_name_field(L, "type", status.szDeviceType, cp);
    return push_table_and_nil(L);
}

int ras_dial(lua_State* L)
{
    const char* entry = luaL_checklstring(L, 1, nullptr);
    const Rasapi32* ras = late::rasapi32.get();
    const DWORD result = ras ? dial(*ras, entry, code_page(L)) : ::GetLastError();
    lua_pushboolean(L, result == 0);
    return 1 + push_code(L, result);
}

int ras_hangup(lua_State* L)
{
    const Rasapi32* ras = late::rasapi32.get();
    return push_code(L, ras ? ras->RasHangUpW(to_connection(L, 1)) : ::GetLastError());
}

} // namespace osbridge
