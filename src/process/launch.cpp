// Command lines and options of the processes a script starts and keeps.
#include "process/launch.h"
#include "core/osbridge.h"

namespace osbridge {

void push_option(lua_State* L, const char* name, int type)
{
    if (lua_isnoneornil(L, 2)) {
        lua_pushnil(L);
        return;
    }
    lua_getfield(L, 2, name);
    const int got = lua_type(L, -1);
    if (got != LUA_TNIL && got != type && !(type == LUA_TSTRING && got == LUA_TNUMBER))
        luaL_argerror(L, 2, lua_pushfstring(L, "%s: %s expected, got %s", name, lua_typename(L, type),
                                            luaL_typename(L, -1)));
}

const char* read_launch(lua_State* L, Launch& launch)
{
    const char* line = luaL_checkstring(L, 1);
    if (!lua_isnoneornil(L, 2))
        luaL_checktype(L, 2, LUA_TTABLE);
    push_option(L, "show", LUA_TNUMBER);
    launch.show_given = !lua_isnil(L, -1);
    launch.show = static_cast<WORD>(to_u32(L, -1));
    push_option(L, "dir", LUA_TSTRING);
    const char* dir = lua_tostring(L, -1);
    const UINT cp = code_page(L);
    const wchar_t* wide_line = nullptr;
    if (!a2w_scratch(L, line, launch.line_stack, sizeof launch.line_stack / sizeof *launch.line_stack, wide_line, cp)
        || (dir && !a2w_scratch(L, dir, launch.dir_stack, MAX_PATH, launch.dir, cp)))
        return "the command line or folder cannot be converted";
    // The converted line is this call's own (stack or scratch block).
    launch.command_line = const_cast<wchar_t*>(wide_line);
    return wide_line ? nullptr : "the command line is empty";
}

bool create_process(const Launch& launch, DWORD flags, bool inherit, STARTUPINFOW& startup, PROCESS_INFORMATION& info)
{
    if (!startup.cb)  // else the caller's extended form
        startup.cb = sizeof startup;
    if (launch.show_given) {
        startup.dwFlags |= STARTF_USESHOWWINDOW;
        startup.wShowWindow = launch.show;
    }
    return ::CreateProcessW(nullptr, launch.command_line, nullptr, nullptr, inherit, flags, nullptr, launch.dir,
                            &startup, &info) != FALSE;
}

} // namespace osbridge
