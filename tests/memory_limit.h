// Lua states whose allocator fails at a chosen allocation, and the count of
// C heap blocks in use outside them: a Lua error that skips a destructor
// leaves its block behind there.
#pragma once

#include "core/bindings.h"
#include "core/module.h"

#include "core/lua_compat.h"
#include <windows.h>

namespace memory_limit {

// The state's own heap, left out of the count, and the allocations left
// before the next one fails (negative for no limit).
struct Budget {
    HANDLE heap = ::HeapCreate(0, 0, 0);
    long left = -1;
};

inline void* limited_alloc(void* ud, void* block, size_t old_size, size_t new_size)
{
    auto& budget = *static_cast<Budget*>(ud);
    if (new_size == 0) {
        if (block)
            ::HeapFree(budget.heap, 0, block);
        return nullptr;
    }
    // Lua relies on shrinking never failing.
    if (new_size > old_size && budget.left >= 0 && budget.left-- == 0)
        return nullptr;
    return block ? ::HeapReAlloc(budget.heap, 0, block, new_size) : ::HeapAlloc(budget.heap, 0, new_size);
}

// Blocks in use in every heap of the process but `skip`.
inline long heap_blocks(HANDLE skip)
{
    HANDLE heaps[256];
    const DWORD count = ::GetProcessHeaps(256, heaps);
    long blocks = 0;
    for (DWORD i = 0; i < count && i < 256; ++i) {
        if (heaps[i] == skip || !::HeapLock(heaps[i]))
            continue;
        PROCESS_HEAP_ENTRY entry{};
        while (::HeapWalk(heaps[i], &entry))
            blocks += (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0;
        ::HeapUnlock(heaps[i]);
    }
    return blocks;
}

struct Sweep {
    long budgets = 0;      // runs until one completed
    long other_errors = 0; // failures that were not "not enough memory"
    long grown = 0;        // heap blocks left behind by all of them
};

// Runs `chunk` in a fresh state that has the module, failing its 1st, 2nd,
// ... allocation until a run completes. `between` runs before each run
// (setting up a fixture, say) and before each count.
template <typename Between>
Sweep sweep(const char* chunk, Between between)
{
    Budget budget;
    lua_State* L = lua_newstate(limited_alloc, &budget);
    luaL_openlibs(L);
    osbridge::open_module(L, osbridge::system_loader());
    // A first run: what the system sets up on first use stays for the process.
    between();
    luaL_loadstring(L, chunk);
    lua_pcall(L, 0, 0, 0);
    Sweep result;
    between();
    const long before = heap_blocks(budget.heap);
    for (int status = LUA_ERRMEM; status != 0 && result.budgets < 10000; ++result.budgets) {
        between();
        lua_settop(L, 0);
        // Texts still interned from the last run would need no allocation.
        lua_gc(L, LUA_GCCOLLECT, 0);
        luaL_loadstring(L, chunk);
        budget.left = result.budgets;
        status = lua_pcall(L, 0, 0, 0);
        budget.left = -1;
        result.other_errors += status != 0 && status != LUA_ERRMEM;
    }
    between();
    result.grown = heap_blocks(budget.heap) - before;
    lua_close(L);
    ::HeapDestroy(budget.heap);
    return result;
}

inline Sweep sweep(const char* chunk)
{
    return sweep(chunk, [] {});
}

} // namespace memory_limit
