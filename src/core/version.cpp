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
        push_whole(L, static_cast<int>(info.*field));
    else
        lua_pushnil(L);
}

// The service-pack text in the state's code page, at most 259 bytes as the
// query's text block holds, cut between characters; its length in bytes.
int service_pack_text(const OSVERSIONINFOW& info, char (&text)[260], UINT code_page)
{
    for (int units = static_cast<int>(wcsnlen(info.szCSDVersion, ARRAYSIZE(info.szCSDVersion))); units > 0; --units) {
        if (IS_HIGH_SURROGATE(info.szCSDVersion[units - 1]))
            continue;
        const int bytes = ::WideCharToMultiByte(code_page, 0, info.szCSDVersion, units, text, sizeof text - 1,
                                                nullptr, nullptr);
        if (bytes > 0)
            return bytes;
    }
    return 0;
}

} // namespace

int version(lua_State* L)
{
    const UINT cp = code_page(L);
    push_version_field(L, &OSVERSIONINFOW::dwMajorVersion);
    push_version_field(L, &OSVERSIONINFOW::dwMinorVersion);
    push_version_field(L, &OSVERSIONINFOW::dwBuildNumber);
    push_version_field(L, &OSVERSIONINFOW::dwPlatformId);

    OSVERSIONINFOW info;
    char text[260];
    if (query_version(&info))
        lua_pushlstring(L, text, static_cast<size_t>(service_pack_text(info, text, cp)));
    else
        lua_pushnil(L);
    return 5;
}

} // namespace osbridge
