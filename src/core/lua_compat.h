/* The Lua API as the module and its test programs use it: every Lua include
 * goes through this header. Written for Lua 5.1; on 5.2 and later it brings
 * back the few 5.1 names that are gone there or hidden behind compatibility
 * switches that common hosts leave off (5.4 builds define only
 * LUA_COMPAT_5_3), and 5.1's two-argument lua_newstate on 5.5. On 5.1 and
 * LuaJIT it adds nothing. C and C++. */
#ifndef OSBRIDGE_LUA_COMPAT_H
#define OSBRIDGE_LUA_COMPAT_H

#ifdef __cplusplus
extern "C" {
#endif
#include <lua.h>
#include <lualib.h>
#include <lauxlib.h>
#ifdef __cplusplus
}
#endif

#if LUA_VERSION_NUM >= 502
#include <string.h>

/* 5.1's luaL_findtable from the table on top, which it replaces: each part
 * of a dotted name is looked up raw and created as a table when nil. On a
 * part that holds something else, pops the table and returns that part. */
static inline const char* osbridge_findtable(lua_State* L, const char* name)
{
    const char* end;
    do {
        end = strchr(name, '.');
        if (!end)
            end = name + strlen(name);
        lua_pushlstring(L, name, (size_t)(end - name));
        lua_rawget(L, -2);
        if (lua_isnil(L, -1)) {
            lua_pop(L, 1);
            lua_newtable(L);
            lua_pushlstring(L, name, (size_t)(end - name));
            lua_pushvalue(L, -2);
            lua_settable(L, -4);
        } else if (!lua_istable(L, -1)) {
            lua_pop(L, 2);
            return name;
        }
        lua_remove(L, -2);
        name = end + 1;
    } while (*end == '.');
    return NULL;
}

/* 5.1's luaL_openlib: with a name, the table package.loaded[name], else the
 * global of that name (created when absent) recorded there, is filled and
 * left on top; without one, the table below the `nup` upvalues is. Each
 * function shares the upvalues on top, which are popped. */
static inline void osbridge_register(lua_State* L, const char* name, const luaL_Reg* functions, int nup)
{
    if (name) {
        luaL_getsubtable(L, LUA_REGISTRYINDEX, "_LOADED");
        lua_getfield(L, -1, name);
        if (!lua_istable(L, -1)) {
            lua_pop(L, 1);
            lua_pushglobaltable(L);
            if (osbridge_findtable(L, name))
                luaL_error(L, "name conflict for module '%s'", name);
            lua_pushvalue(L, -1);
            lua_setfield(L, -3, name);
        }
        lua_remove(L, -2);
        lua_insert(L, -(nup + 1));
    }
    luaL_setfuncs(L, functions, nup);
}

#undef luaL_register
#define luaL_register(L, name, functions) osbridge_register((L), (name), (functions), 0)
#undef luaL_openlib
#define luaL_openlib(L, name, functions, nup) osbridge_register((L), (name), (functions), (nup))
#ifndef lua_cpcall
#define lua_cpcall(L, f, u) (lua_pushcfunction((L), (f)), lua_pushlightuserdata((L), (u)), lua_pcall((L), 1, 0, 0))
#endif
#ifndef luaL_checkint
#define luaL_checkint(L, n) ((int)luaL_checkinteger((L), (n)))
#endif
#ifndef luaL_optint
#define luaL_optint(L, n, d) ((int)luaL_optinteger((L), (n), (d)))
#endif
#endif /* LUA_VERSION_NUM >= 502 */

#if LUA_VERSION_NUM >= 505
/* The string hash seed that luaL_newstate also takes. */
#define lua_newstate(f, ud) (lua_newstate)((f), (ud), luaL_makeseed(NULL))
#endif

#endif
