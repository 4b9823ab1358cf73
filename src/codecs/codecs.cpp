// Checksums, hexadecimal text and the epoch clock: pure data, no system objects.
#include "core/functions.h"
#include "core/osbridge.h"

#include <array>

namespace osbridge {

namespace {

// CRC-16/ARC: reflected polynomial 0xA001, initial value 0, no final XOR.
constexpr std::array<uint16_t, 256> make_crc_table()
{
    std::array<uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        uint16_t r = static_cast<uint16_t>(i);
        for (int bit = 0; bit < 8; ++bit)
            r = static_cast<uint16_t>((r & 1) ? (r >> 1) ^ 0xA001 : r >> 1);
        table[i] = r;
    }
    return table;
}

constexpr auto crc_table = make_crc_table();
static_assert(crc_table[1] == 0xC0C1 && crc_table[128] == 0xA001 && crc_table[255] == 0x4040);

constexpr char hex_digits[] = "0123456789ABCDEF";

int hex_value(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

uint64_t local_time_as_filetime(const SYSTEMTIME& time)
{
    FILETIME ft;
    ::SystemTimeToFileTime(&time, &ft);
    return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

} // namespace

int crc16(lua_State* L)
{
    size_t length;
    const unsigned char* data = reinterpret_cast<const unsigned char*>(luaL_checklstring(L, 1, &length));
    uint16_t crc = 0;
    for (size_t i = 0; i < length; ++i)
        crc = static_cast<uint16_t>((crc >> 8) ^ crc_table[(crc ^ data[i]) & 0xFF]);
    const char high = static_cast<char>(crc >> 8);
    const char low = static_cast<char>(crc & 0xFF);
    lua_pushlstring(L, &high, 1);
    lua_pushlstring(L, &low, 1);
    return 2;
}

int to_hex(lua_State* L)
{
    size_t length = 0;
    const unsigned char* data = reinterpret_cast<const unsigned char*>(lua_tolstring(L, 1, &length));
    if (!data || length == 0) {
        lua_pushnil(L);
        return 1;
    }
    luaL_Buffer out;
    luaL_buffinit(L, &out);
    for (size_t i = 0; i < length; ++i) {
        luaL_addchar(&out, hex_digits[data[i] >> 4]);
        luaL_addchar(&out, hex_digits[data[i] & 0x0F]);
    }
    luaL_pushresult(&out);
    return 1;
}

int from_hex(lua_State* L)
{
    size_t length = 0;
    const char* text = lua_tolstring(L, 1, &length);
    if (!text || length == 0 || length % 2 != 0) {
        lua_pushnil(L);
        return 1;
    }
    for (size_t i = 0; i < length; ++i) {
        if (hex_value(text[i]) < 0) {
            lua_pushnil(L);
            return 1;
        }
    }
    luaL_Buffer out;
    luaL_buffinit(L, &out);
    for (size_t i = 0; i < length; i += 2)
        luaL_addchar(&out, static_cast<char>(hex_value(text[i]) << 4 | hex_value(text[i + 1])));
    luaL_pushresult(&out);
    return 1;
}

int get_epoch_ms(lua_State* L)
{
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    SYSTEMTIME epoch{};
    epoch.wYear = 1970;
    epoch.wMonth = 1;
    epoch.wDay = 1;
    const uint64_t ms = (local_time_as_filetime(now) - local_time_as_filetime(epoch)) / 10000u;
    lua_pushnumber(L, static_cast<lua_Number>(ms));
    return 1;
}

} // namespace osbridge
