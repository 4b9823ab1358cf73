// Pushes made as protected calls, for functions that own memory of their
// own (copies, secrets) while they push.
#include "core/guarded.h"

#include <windows.h>

#include <cstdint>

// Without it &lua_newuserdata is a stub inside this module, not the runtime's
// function, and LuaJIT would be taken for PUC Lua below.
#if defined(_WIN32) && !defined(LUA_BUILD_AS_DLL)
#error "LUA_BUILD_AS_DLL must be defined: the Lua API is imported from the runtime DLL"
#endif

namespace osbridge {

namespace {

#if LUA_VERSION_NUM < 504
// A userdata size that Lua passes on to its allocator and that no allocator
// gives. PUC Lua asks for up to the whole address space (5.3: LUA_MAXINTEGER
// bytes); LuaJIT, which loads the 5.1 build, refuses more than 0x7fffff00
// bytes with an error of its own, and that much a 32-bit process cannot hold.
size_t refused_size()
{
#if LUA_VERSION_NUM == 501
    HMODULE lua = nullptr;
    if (::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                             reinterpret_cast<LPCWSTR>(&lua_newuserdata), &lua)
        && ::GetProcAddress(lua, "luaJIT_setmode"))
        return 0x7fffff00;
#endif
    return sizeof(size_t) > 4 ? static_cast<size_t>(1) << 62 : SIZE_MAX - 0xffff;
}

int allocate(lua_State* L)
{
    lua_newuserdata(L, *static_cast<const size_t*>(lua_touserdata(L, 1)));
    return 0;
}
#endif

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
    // message handler runs and its status differs. Lua 5.4 and later raise
    // their memory-error message as a memory error again; before, only an
    // allocation that the allocator refuses does. It is tried protected
    // first, so that nothing else is ever raised in its place; an allocator
    // that gives the block after all (a 64-bit one may give LuaJIT's 2 GiB)
    // leaves the error to lua_error.
#if LUA_VERSION_NUM < 504
    if (status_ == LUA_ERRMEM) {
        size_t size = refused_size();
        if (lua_cpcall(L_, allocate, &size) == LUA_ERRMEM)
            lua_newuserdata(L_, size);
    }
#endif
    lua_pushvalue(L_, error_);
    lua_error(L_);
}

} // namespace osbridge
