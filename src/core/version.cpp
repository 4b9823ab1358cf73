// Version of the operating system, each of the five values from its own query.
#include "core/functions.h"
#include "core/osbridge.h"

#include <cwchar>

namespace osbridge {

OSBRIDGE_I686_SIZE(OSVERSIONINFOW, 276);

namespace {

bool query_version(OSVERSIONINFOW* info)
{
    *info = OSVERSIONINFOW{};
    info->dwOSVersionInfoSize = sizeof *info;
    return ::GetVersionExW(info) == 1;
}

void push_version_field(lua_State* L, DWORD OSVERSIONINFOW::*field)
{
    OSVERSIONINFOW info;
    if (query_version(&info))
        lua_pushinteger(L, static_cast<lua_Integer>(static_cast<int>(info.*field)));
    else
        lua_pushnil(L);
}

} // namespace

int version(lua_State* L)
{
    push_version_field(L, &OSVERSIONINFOW::dwMajorVersion);
    push_version_field(L, &OSVERSIONINFOW::dwMinorVersion);
    push_version_field(L, &OSVERSIONINFOW::dwBuildNumber);
    push_version_field(L, &OSVERSIONINFOW::dwPlatformId);

    OSVERSIONINFOW info;
    if (!query_version(&info)) {
        lua_pushnil(L);
        return 5;
    }
    const size_t length = wcsnlen(info.szCSDVersion, ARRAYSIZE(info.szCSDVersion));
    AnsiText service_pack = w2a(info.szCSDVersion, length);
    // At most 259 characters, as the query's text block holds.
    lua_pushlstring(L, service_pack ? service_pack.get() : "", service_pack ? strnlen(service_pack.get(), 259) : 0);
    return 5;
}

} // namespace osbridge
