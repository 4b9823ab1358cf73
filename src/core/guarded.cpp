// Pushes made as protected calls, for functions that own system resources
// while they push.
#include "core/guarded.h"

namespace osbridge {

GuardedPush::GuardedPush(lua_State* L) : L_(L)
{
    // The one allocation, made while nothing is owned yet.
    lua_pushcfunction(L, call_thunk);
    function_ = lua_gettop(L);
}

int GuardedPush::call_thunk(lua_State* L)
{
    const auto* thunk = static_cast<const Thunk*>(lua_touserdata(L, 1));
    lua_pop(L, 1);
    thunk->invoke(L, thunk->push);
    return lua_gettop(L);
}

bool GuardedPush::run(Thunk& thunk)
{
    // Neither copying a stack slot nor a light userdata allocates; the
    // protected call raises nothing itself.
    lua_pushvalue(L_, function_);
    lua_pushlightuserdata(L_, &thunk);
    status_ = lua_pcall(L_, 1, LUA_MULTRET, 0);
    if (status_ == 0)
        return true;
    error_ = lua_gettop(L_);
    return false;
}

void GuardedPush::raise_error() const
{
    if (!error_)
        return;
    // lua_error would pass a memory error on as a run-time error, for which
    // the host's message handler runs and its status differs. A block no
    // allocator can give raises it as what it is, with Lua's own message.
    if (status_ == LUA_ERRMEM)
        lua_newuserdata(L_, static_cast<size_t>(-1) / 2);
    lua_pushvalue(L_, error_);
    lua_error(L_);
}

} // namespace osbridge
