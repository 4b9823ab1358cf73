// Window and process lists: more windows than a first block holds, and Lua
// memory errors at every allocation while a list is built.
#include "unit.h"

#include "core/handles.h"
#include "core/module.h"

#include "core/lua_compat.h"

#include <windows.h>
#include <tlhelp32.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

using namespace osbridge;

// Blocks of the C++ heap not yet released, across the whole test program: a
// Lua error that skips a destructor leaves one behind.
static long live_blocks = 0;

void* operator new(size_t size)
{
    void* block = std::malloc(size ? size : 1);
    if (!block)
        throw std::bad_alloc();
    ++live_blocks;
    return block;
}

void operator delete(void* block) noexcept
{
    if (block)
        --live_blocks;
    std::free(block);
}

void operator delete(void* block, size_t) noexcept { operator delete(block); }

namespace {

// Allocations left before the next one fails; negative for no limit. Lua
// relies on shrinking and freeing never failing.
long allocations_left = -1;

void* limited_alloc(void*, void* block, size_t old_size, size_t new_size)
{
    if (new_size == 0) {
        std::free(block);
        return nullptr;
    }
    if (new_size > old_size && allocations_left >= 0 && allocations_left-- == 0)
        return nullptr;
    return std::realloc(block, new_size);
}

lua_State* open_limited()
{
    allocations_left = -1;
    lua_State* L = lua_newstate(limited_alloc, nullptr);
    luaL_openlibs(L);
    open_module(L, system_loader());
    return L;
}

} // namespace

TEST(enum_windows_lists_more_windows_than_a_first_guess)
{
    std::vector<HWND> windows;
    for (int i = 0; i < 600; ++i) {
        const std::wstring title = L"osb enum " + std::to_wstring(i);
        windows.push_back(::CreateWindowExW(0, L"STATIC", title.c_str(), WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                            nullptr, nullptr));
    }
    lua_State* L = open_limited();
    lua_getglobal(L, "osbridge");
    lua_getfield(L, -1, "enum_windows");
    ok(lua_pcall(L, 0, 1, 0) == 0 && lua_istable(L, -1), "enum_windows failed: %s", lua_tostring(L, -1));
    int listed = 0;
    for (size_t i = 0; i < windows.size(); ++i) {
        lua_pushlightuserdata(L, windows[i]);
        lua_gettable(L, -2);
        if (lua_istable(L, -1)) {
            lua_getfield(L, -1, "title");
            const std::string expected = "osb enum " + std::to_string(i);
            listed += lua_isstring(L, -1) && expected == lua_tostring(L, -1);
            lua_pop(L, 1);
        }
        lua_pop(L, 1);
    }
    ok(listed == 600, "%d of 600 windows listed with their titles", listed);
    lua_close(L);
    for (HWND window : windows)
        ::DestroyWindow(window);
}

// A list, asked for with every budget of allocations until it completes:
// each attempt fails cleanly, and nothing is left behind.
static void survives_memory_errors(const char* chunk)
{
    lua_State* L = open_limited();
    const long blocks_before = live_blocks;
    int status = LUA_ERRMEM;
    long budget = 0;
    for (; status != 0 && budget < 100000; ++budget) {
        lua_settop(L, 0);
        luaL_loadstring(L, chunk);
        allocations_left = budget;
        status = lua_pcall(L, 0, 1, 0);
        allocations_left = -1;
        ok(status == 0 || (status == LUA_ERRMEM && !std::strcmp(lua_tostring(L, -1), "not enough memory")),
           "%s with %ld allocations: status %d, %s", chunk, budget, status, lua_tostring(L, -1));
    }
    ok(status == 0 && lua_istable(L, -1), "%s never completed (status %d after %ld)", chunk, status, budget);
    ok(live_blocks == blocks_before, "%s left %ld blocks behind", chunk, live_blocks - blocks_before);
    lua_close(L);
}

TEST(lists_survive_memory_errors_at_every_allocation)
{
    survives_memory_errors("return osbridge.enum_windows()");
    survives_memory_errors("return osbridge.process_list()");
}

TEST(module_list_survives_memory_errors_at_every_allocation)
{
#if defined(__aarch64__)
    if (!osbridge::unique_file(::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, 0))) {
        unit::skip("Wine on ARM64 lists no process's modules (its module snapshot fails with error 5)");
        return;
    }
#endif
    survives_memory_errors("return osbridge.process_modules(0)");
}
