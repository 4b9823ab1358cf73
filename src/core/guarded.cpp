// Pushes made as protected calls, for functions that own memory of their
// own (copies, secrets) while they push.
#include "core/guarded.h"

namespace osbridge {

namespace {

int allocate_impossible(lua_State* L)
{
    lua_newuserdata(L, static_cast<size_t>(-1) / 2);
    return 0;
}

} // namespace

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
    // lua_error passes any error on as a run-time error, for which the host's
    // message handler runs and its status differs. Where a block no allocator
    // can give fails as a memory error (Lua 5.1 does; LuaJIT refuses the size
    // with an error of its own), a memory error is raised again that way.
    if (status_ == LUA_ERRMEM && lua_cpcall(L_, allocate_impossible, nullptr) == LUA_ERRMEM)
        allocate_impossible(L_);
    lua_pushvalue(L_, error_);
    lua_error(L_);
}

} // namespace osbridge
