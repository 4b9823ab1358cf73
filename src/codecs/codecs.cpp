// Checksums, hexadecimal text and the epoch clock: pure data, no system objects.
#include "core/functions.h"
#include "core/osbridge.h"
#include "codecs/kernels.h"

namespace osbridge {

namespace {

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
    const uint16_t crc = codec::crc16(0, data, length);
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
    push_made(L, length * 2, [&](char* text) {
        codec::hex_encode(data, length, text);
        return true;
    });
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
    if (!push_made(L, length / 2, [&](char* data) {
            return codec::hex_decode(text, length / 2, reinterpret_cast<unsigned char*>(data));
        }))
        lua_pushnil(L);
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
    push_whole(L, static_cast<int64_t>(ms));
    return 1;
}

} // namespace osbridge
