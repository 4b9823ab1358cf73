// Argument forms and result conventions shared by the Lua functions.
#include "core/osbridge.h"

#include <cmath>

namespace osbridge {

uint32_t to_u32(lua_Number n) noexcept
{
    // Truncation toward zero, then the value modulo 2^32: what a cast through
    // a 64-bit integer gives, but defined for every double (NaN reads as 0).
    if (!std::isfinite(n))
        return 0;
    lua_Number wrapped = std::fmod(std::trunc(n), 4294967296.0);
    if (wrapped < 0)
        wrapped += 4294967296.0;
    return static_cast<uint32_t>(wrapped);
}

namespace {

// From 5.3 on, an integer, or a string that Lua reads as one, exactly: a
// detour through a double would change values beyond 2^53.
bool exact_integer(lua_State* L, int index, int64_t& value)
{
#if LUA_VERSION_NUM >= 503
    int is_integer = 0;
    value = lua_tointegerx(L, index, &is_integer);
    return is_integer != 0;
#else
    (void)L, (void)index, (void)value;
    return false;
#endif
}

} // namespace

uint32_t to_u32(lua_State* L, int index)
{
    int64_t value = 0;
    if (exact_integer(L, index, value))
        return static_cast<uint32_t>(value);
    return to_u32(lua_tonumber(L, index));
}

uint32_t check_u32(lua_State* L, int index)
{
    luaL_checknumber(L, index);  // for its error on anything that is no number
    return to_u32(L, index);
}

uint32_t opt_u32(lua_State* L, int index, uint32_t absent)
{
    return lua_isnoneornil(L, index) ? absent : check_u32(L, index);
}

int64_t to_choice(lua_State* L, int index)
{
    int64_t value = 0;
    if (exact_integer(L, index, value))
        return value;
    // Saturated, so that no huge value comes out as 0 or 1.
    const lua_Number n = std::trunc(lua_tonumber(L, index));
    if (std::isnan(n))
        return 0;
    if (n >= 9223372036854775808.0)
        return INT64_MAX;
    if (n <= -9223372036854775808.0)
        return INT64_MIN;
    return static_cast<int64_t>(n);
}

int64_t opt_choice(lua_State* L, int index, int64_t absent)
{
    if (lua_isnoneornil(L, index))
        return absent;
    luaL_checknumber(L, index);  // for its error on anything that is no number
    return to_choice(L, index);
}

void push_whole(lua_State* L, int64_t value)
{
#if LUA_VERSION_NUM >= 503
    lua_pushinteger(L, static_cast<lua_Integer>(value));
#else
    lua_pushnumber(L, static_cast<lua_Number>(value));
#endif
}

HWND check_hwnd(lua_State* L, int index)
{
    if (lua_type(L, index) != LUA_TLIGHTUSERDATA)
        luaL_argerror(L, index, "HWND handle expected");
    return static_cast<HWND>(lua_touserdata(L, index));
}

bool to_hwnd(lua_State* L, int index, HWND* window)
{
    if (!lua_isuserdata(L, index))
        return false;
    *window = static_cast<HWND>(const_cast<void*>(lua_topointer(L, index)));
    return true;
}

HWND opt_hwnd(lua_State* L, int index)
{
    return static_cast<HWND>(lua_touserdata(L, index));
}

void push_hwnd(lua_State* L, HWND window)
{
    if (window)
        lua_pushlightuserdata(L, window);
    else
        lua_pushnil(L);
}

int push_text_or_nil(lua_State* L, const char* text)
{
    if (text)
        lua_pushstring(L, text);
    else
        lua_pushnil(L);
    return 1;
}

int push_nil_and(lua_State* L, const char* text)
{
    lua_pushnil(L);
    lua_pushstring(L, text);
    return 2;
}

int push_failure_last_error(lua_State* L, bool nil_first)
{
    ErrorText buffer;
    const char* text = last_error_text(buffer, code_page(L));
    if (nil_first)
        lua_pushnil(L);
    else
        lua_pushboolean(L, 0);
    push_text_or_nil(L, text);
    return 2;
}

} // namespace osbridge
