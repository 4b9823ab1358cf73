// Lua memory errors at every allocation of a call leave no C heap block
// behind: nothing the C++ side owns is alive while a push may raise.
#include "unit.h"
#include "memory_limit.h"


TEST(memory_errors_leave_no_heap_blocks)
{
    // Text on the clipboard for clipboard_get, put there by its own state.
    lua_State* L = luaL_newstate();
    luaL_openlibs(L);
    osbridge::open_module(L, osbridge::system_loader());
    luaL_dostring(L, "osbridge.clipboard_set(('clipboard text '):rep(50))");
    lua_close(L);

    for (const char* chunk : {
             "osbridge.clipboard_get()",
             "osbridge.get_current_dir()",
             "osbridge.version()",
             "osbridge.ras_entries()",
             "osbridge.ras_connections()",
             "osbridge.get_last_error()",
         }) {
        const memory_limit::Sweep run = memory_limit::sweep(chunk);
        ok(run.other_errors == 0 && run.budgets < 10000, "%s: %ld other errors in %ld runs", chunk, run.other_errors,
           run.budgets);
        ok(run.grown == 0, "%s: %ld heap blocks left after %ld runs", chunk, run.grown, run.budgets);
    }
}
