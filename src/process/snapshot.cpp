// Process and module lists from tool-help snapshots, and termination by id.
#include "core/functions.h"
#include "core/osbridge.h"

#include <tlhelp32.h>

namespace osbridge {

OSBRIDGE_I686_SIZE(PROCESSENTRY32W, 556);
OSBRIDGE_I686_SIZE(MODULEENTRY32W, 1064);

namespace {

// Every entry of one snapshot walk, copied into a block that Lua owns (left
// on the stack) so that a Lua error while the rows are pushed leaks nothing.
// A walk that outgrows the block is retaken into a larger one. A walk ends
// quietly at the first failing step; null when no snapshot could be taken.
template <typename Entry>
Entry* walk(lua_State* L, DWORD kind, DWORD pid, BOOL(WINAPI* first)(HANDLE, Entry*),
            BOOL(WINAPI* next)(HANDLE, Entry*), size_t* count)
{
    for (size_t capacity = 128;; capacity = *count + *count / 2) {
        auto* entries = static_cast<Entry*>(lua_newuserdata(L, capacity * sizeof(Entry)));
        *count = 0;
        {
            const unique_file snapshot(::CreateToolhelp32Snapshot(kind, pid));
            if (!snapshot)
                return nullptr;
            Entry entry = {};
            entry.dwSize = sizeof entry;
            for (BOOL more = first(snapshot.get(), &entry); more; more = next(snapshot.get(), &entry)) {
                if (*count < capacity)
                    entries[*count] = entry;
                ++*count;
            }
        }
        if (*count <= capacity)
            return entries;
        lua_pop(L, 1);
    }
}

template <size_t N>
void set_text_field(lua_State* L, const char* field, const wchar_t (&text)[N], UINT cp)
{
    if (!text[0])
        return;
    push_w2a(L, text, N, cp);
    lua_setfield(L, -2, field);
}

void set_number_field(lua_State* L, const char* field, DWORD value)
{
    push_whole(L, value);
    lua_setfield(L, -2, field);
}

// A table of rows keyed from 0, in snapshot order.
template <typename Entry, typename SetFields>
void push_rows(lua_State* L, const Entry* entries, size_t count, SetFields set_fields)
{
    lua_createtable(L, static_cast<int>(count), 0);
    for (size_t i = 0; i < count; ++i) {
        lua_createtable(L, 0, 4);
        set_fields(entries[i]);
        lua_rawseti(L, -2, static_cast<int>(i));
    }
}

} // namespace

int process_list(lua_State* L)
{
    const UINT cp = code_page(L);
    size_t count;
    const PROCESSENTRY32W* processes = walk(L, TH32CS_SNAPPROCESS, 0, ::Process32FirstW, ::Process32NextW, &count);
    if (!processes) {
        lua_pushnil(L);
        lua_pushstring(L, "CreateToolhelp32Snapshot() failed");
        return 2;
    }
    if (count == 0) {
        lua_pushnil(L);
        lua_pushstring(L, "Process32First() failed");
        return 2;
    }
    push_rows(L, processes, count, [L, cp](const PROCESSENTRY32W& process) {
        set_text_field(L, "name", process.szExeFile, cp);
        set_number_field(L, "pid", process.th32ProcessID);
        set_number_field(L, "pid_parent", process.th32ParentProcessID);
        set_number_field(L, "threads", process.cntThreads);
    });
    return 1;
}

int process_modules(lua_State* L)
{
    // The last argument is the process id, whatever comes before it.
    const int top = lua_gettop(L);
    const DWORD pid = check_u32(L, top ? top : 1);
    const UINT cp = code_page(L);

    size_t count;
    const MODULEENTRY32W* modules = walk(L, TH32CS_SNAPMODULE, pid, ::Module32FirstW, ::Module32NextW, &count);
    if (!modules || count == 0) {
        lua_pushnil(L);
        return 1;
    }
    push_rows(L, modules, count, [L, cp](const MODULEENTRY32W& module) {
        set_text_field(L, "module", module.szModule, cp);
        set_text_field(L, "path", module.szExePath, cp);
        set_number_field(L, "pid", module.th32ProcessID);
    });
    return 1;
}

int terminate_process(lua_State* L)
{
    const DWORD pid = check_u32(L, 1);
    const UINT exit_code = check_u32(L, 2);
    bool terminated = false;
    {
        // An open without PROCESS_TERMINATE could never terminate anything.
        const unique_handle process(::OpenProcess(PROCESS_TERMINATE, FALSE, pid));
        terminated = process && ::TerminateProcess(process.get(), exit_code);
    }
    lua_pushboolean(L, terminated);
    return 1;
}

} // namespace osbridge
