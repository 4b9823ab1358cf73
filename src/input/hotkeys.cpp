// System-wide hot keys: registering and withdrawing them. The hot-key
// messages go to the given window, or to the calling thread's queue.
#include "core/functions.h"
#include "core/osbridge.h"

namespace osbridge {

int register_hotkey(lua_State* L)
{
    HWND window = opt_hwnd(L, 1);
    const int id = check_i32(L, 2);
    const UINT modifiers = check_u32(L, 3);
    const UINT key = check_u32(L, 4);
    if (!::RegisterHotKey(window, id, modifiers, key))
        return push_failure_last_error(L);
    lua_pushboolean(L, 1);
    return 1;
}

int unregister_hotkey(lua_State* L)
{
    HWND window = opt_hwnd(L, 1);
    const int id = check_i32(L, 2);
    if (!::UnregisterHotKey(window, id))
        return push_failure_last_error(L);
    lua_pushboolean(L, 1);
    return 1;
}

// Withdrawing hot keys the shell reserves exists only on the handheld platform.
int unregister_func1(lua_State* L)
{
    lua_pushboolean(L, 0);
    lua_pushstring(L, "UnregisterFunc1() is not supported");
    return 2;
}

} // namespace osbridge
