// Registry reads that a real registry will not produce on demand: a value
// that grows or changes type between the two queries, and failures after the
// key was opened. Stand-ins in the binding table script the answers and count
// every key opened and closed.
#include "unit.h"
#include "fake_loader.h"

#include "core/bindings.h"
#include "core/functions.h"
#include "registry/registry.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

using namespace osbridge;

namespace {

struct Answer {
    LONG status;
    DWORD type;
    std::vector<BYTE> data;  // what the value holds; its size is reported
};

std::vector<Answer> answers;  // one per query, in order
int queries, opened, closed;
LONG open_status;
HKEY const fake_key = reinterpret_cast<HKEY>(static_cast<intptr_t>(0x4c0));

LONG WINAPI fake_open(HKEY, LPCWSTR, DWORD, REGSAM, PHKEY key)
{
    if (open_status != ERROR_SUCCESS)
        return open_status;
    ++opened;
    *key = fake_key;
    return ERROR_SUCCESS;
}

LONG WINAPI fake_close(HKEY key)
{
    ok(key == fake_key, "closed %p, not the key handed out", static_cast<void*>(key));
    ++closed;
    return ERROR_SUCCESS;
}

LONG WINAPI fake_query(HKEY, LPCWSTR, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size)
{
    if (static_cast<size_t>(queries++) >= answers.size())
        return ERROR_FILE_NOT_FOUND;
    const Answer& answer = answers[queries - 1];
    *type = answer.type;
    const DWORD needed = static_cast<DWORD>(answer.data.size());
    if (answer.status == ERROR_SUCCESS && needed > *size) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (answer.status == ERROR_SUCCESS && needed)
        std::memcpy(data, answer.data.data(), needed);
    *size = needed;
    return answer.status;
}

template <typename Fn>
FARPROC as_proc(Fn fn)
{
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(fn));
}

std::vector<BYTE> utf16(const char* text)
{
    std::vector<BYTE> bytes;
    for (const char* c = text;; ++c) {
        bytes.push_back(static_cast<BYTE>(*c));
        bytes.push_back(0);
        if (!*c)
            return bytes;
    }
}

// The binding table with the registry stand-ins in place, and a Lua state to
// call through; the system's own resolution comes back on exit.
class FakeRegistry {
public:
    FakeRegistry()
    {
        loader_.replaced["RegOpenKeyExW"] = as_proc(fake_open);
        loader_.replaced["RegCloseKey"] = as_proc(fake_close);
        loader_.replaced["RegQueryValueExW"] = as_proc(fake_query);
        ok(resolve_bindings(loader_), "resolution with stand-ins failed");
        answers.clear();
        queries = opened = closed = 0;
        open_status = ERROR_SUCCESS;
        L_ = luaL_newstate();
    }
    ~FakeRegistry()
    {
        lua_close(L_);
        resolve_bindings(system_loader());
    }
    FakeRegistry(const FakeRegistry&) = delete;
    FakeRegistry& operator=(const FakeRegistry&) = delete;

    // reg_get_value(HKEY_CURRENT_USER, "k", "v"); leaves its one result on the stack.
    void get()
    {
        lua_settop(L_, 0);
        lua_pushcfunction(L_, reg_get_value);
        lua_pushnumber(L_, 2147483649.0);
        lua_pushstring(L_, "k");
        lua_pushstring(L_, "v");
        ok(lua_pcall(L_, 3, 1, 0) == 0, "reg_get_value raised an error");
    }
    lua_State* lua() const { return L_; }

private:
    FakeLoader loader_;
    lua_State* L_;
};

} // namespace

TEST(registry_read_retries_once_and_always_closes_the_key)
{
    FakeRegistry registry;
    // Longer than the first query's block: text of 300 units.
    const std::string long_ansi(300, 'x');
    const std::vector<BYTE> long_text = utf16(long_ansi.c_str());

    // Grown between the two queries: nil, and no third query. The key is
    // opened for each query and closed before anything is pushed.
    answers = {{ERROR_SUCCESS, REG_SZ, long_text}, {ERROR_SUCCESS, REG_SZ, utf16((long_ansi + "y").c_str())}};
    registry.get();
    ok(lua_isnil(registry.lua(), -1), "a value that grew read as %s", lua_typename(registry.lua(), lua_type(registry.lua(), -1)));
    ok(queries == 2 && opened == 2 && closed == 2, "queries %d, opened %d, closed %d", queries, opened, closed);

    // Replaced by a number between the queries: the number now stored.
    queries = opened = closed = 0;
    answers = {{ERROR_SUCCESS, REG_BINARY, long_text}, {ERROR_SUCCESS, REG_DWORD, {7, 0, 0, 0}}};
    registry.get();
    ok(lua_tonumber(registry.lua(), -1) == 7, "value replaced by a DWORD read as %s", lua_tostring(registry.lua(), -1));
    ok(queries == 2 && closed == 2, "queries %d, closed %d", queries, closed);

    // The second query fails outright.
    queries = opened = closed = 0;
    answers = {{ERROR_SUCCESS, REG_MULTI_SZ, long_text}, {ERROR_ACCESS_DENIED, REG_MULTI_SZ, {}}};
    registry.get();
    ok(lua_isnil(registry.lua(), -1) && closed == 2, "failed second query: closed %d", closed);

    // Long data of a type without a Lua form is not fetched at all.
    queries = opened = closed = 0;
    answers = {{ERROR_SUCCESS, REG_QWORD, std::vector<BYTE>(8, 1)}, {ERROR_SUCCESS, REG_SZ, long_text}};
    registry.get();
    ok(lua_isnil(registry.lua(), -1) && queries == 1 && closed == 1, "REG_QWORD: queries %d, closed %d", queries,
       closed);

    // A failed first query, and a key that does not open.
    queries = opened = closed = 0;
    answers = {{ERROR_FILE_NOT_FOUND, REG_NONE, {}}};
    registry.get();
    open_status = ERROR_ACCESS_DENIED;
    registry.get();
    ok(lua_isnil(registry.lua(), -1) && opened == 1 && closed == 1, "failures: opened %d, closed %d", opened, closed);
}

TEST(registry_read_needs_a_second_query_only_beyond_the_stack_block)
{
    FakeRegistry registry;
    lua_State* L = registry.lua();
    for (DWORD size : {reg_value_stack_bytes - 1, reg_value_stack_bytes, reg_value_stack_bytes + 1}) {
        std::vector<BYTE> bytes(size);
        for (DWORD i = 0; i < size; ++i)
            bytes[i] = static_cast<BYTE>(i * 7 + 1);
        const int expected_queries = size > reg_value_stack_bytes ? 2 : 1;

        queries = opened = closed = 0;
        answers = {{ERROR_SUCCESS, REG_BINARY, bytes}, {ERROR_SUCCESS, REG_BINARY, bytes}};
        registry.get();
        size_t length = 0;
        const char* read = lua_tolstring(L, -1, &length);
        ok(read && length == size && std::memcmp(read, bytes.data(), size) == 0,
           "REG_BINARY of %lu bytes read back as %lu", static_cast<unsigned long>(size),
           static_cast<unsigned long>(length));
        ok(queries == expected_queries && opened == closed, "%lu bytes: queries %d, opened %d, closed %d",
           static_cast<unsigned long>(size), queries, opened, closed);

        // Text of that many bytes, "A" "B" ... without a terminator; an odd
        // last byte is no unit.
        for (DWORD i = 0; i < size; ++i)
            bytes[i] = i % 2 ? 0 : static_cast<BYTE>('A' + i / 2 % 26);
        queries = 0;
        answers = {{ERROR_SUCCESS, REG_SZ, bytes}, {ERROR_SUCCESS, REG_SZ, bytes}};
        registry.get();
        read = lua_tolstring(L, -1, &length);
        const size_t last = length - 1;
        ok(read && length == size / 2 && read[0] == 'A' && static_cast<size_t>(read[last]) == 'A' + last % 26,
           "REG_SZ of %lu bytes read as %lu characters", static_cast<unsigned long>(size),
           static_cast<unsigned long>(length));
        ok(queries == expected_queries, "text of %lu bytes: queries %d", static_cast<unsigned long>(size), queries);
    }
}

namespace {

// Passes allocations on to Lua's own allocator until `failing_after` more
// have been made, then fails every growth.
struct FailingAllocator {
    lua_Alloc original;
    void* original_data;
    long failing_after;
};

void* failing_alloc(void* data, void* block, size_t old_size, size_t new_size)
{
    auto& allocator = *static_cast<FailingAllocator*>(data);
    if (new_size > old_size && allocator.failing_after >= 0 && allocator.failing_after-- == 0)
        return nullptr;
    return allocator.original(allocator.original_data, block, old_size, new_size);
}

// Bytes in use in the process's heaps: the C library's, which Lua's blocks
// come from too, among them. (Its own handle, _get_heap_handle, is x86-only:
// ARM64's msvcrt.dll has none.)
size_t heap_in_use()
{
    std::vector<HANDLE> heaps(::GetProcessHeaps(0, nullptr));
    // Heaps made between the two calls are left out.
    heaps.resize(std::min<size_t>(::GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data()), heaps.size()));
    size_t used = 0;
    for (const HANDLE heap : heaps) {
        PROCESS_HEAP_ENTRY entry{};
        ::HeapLock(heap);
        while (::HeapWalk(heap, &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
                used += entry.cbData;
        ::HeapUnlock(heap);
    }
    return used;
}

} // namespace

TEST(registry_read_closes_every_key_when_lua_runs_out_of_memory)
{
    FakeRegistry registry;
    lua_State* L = registry.lua();
    FailingAllocator allocator{nullptr, nullptr, -1};
    allocator.original = lua_getallocf(L, &allocator.original_data);
    lua_setallocf(L, failing_alloc, &allocator);

    // Long names and a long value: every block the read needs comes from Lua.
    const std::string long_name(400, 'n');
    const std::vector<BYTE> long_text = utf16(std::string(3000, 't').c_str());
    answers = {{ERROR_SUCCESS, REG_SZ, long_text}, {ERROR_SUCCESS, REG_SZ, long_text}};
    lua_gc(L, LUA_GCCOLLECT, 0);
    const size_t heap_before = heap_in_use();
    int status = LUA_ERRMEM;
    for (long budget = 0; status != 0 && budget < 1000; ++budget) {
        answers = {{ERROR_SUCCESS, REG_SZ, long_text}, {ERROR_SUCCESS, REG_SZ, long_text}};
        queries = opened = closed = 0;
        lua_settop(L, 0);
        lua_pushcfunction(L, reg_get_value);
        lua_pushnumber(L, 2147483649.0);
        lua_pushstring(L, long_name.c_str());
        lua_pushstring(L, long_name.c_str());
        allocator.failing_after = budget;
        status = lua_pcall(L, 3, 1, 0);
        allocator.failing_after = -1;
        ok(status == 0 || status == LUA_ERRMEM, "budget %ld: status %d", budget, status);
        ok(opened == closed, "budget %ld: %d keys opened, %d closed", budget, opened, closed);
    }
    size_t length = 0;
    ok(status == 0 && lua_tolstring(L, -1, &length) && length == 3000, "the read never completed: status %d, %lu bytes",
       status, static_cast<unsigned long>(length));
    lua_settop(L, 0);
    lua_gc(L, LUA_GCCOLLECT, 0);
    // Lua keeps some tables grown; a converted name or value left behind per
    // failure would be kilobytes each.
    const size_t heap_after = heap_in_use();
    ok(heap_after < heap_before + 2048, "the C heap grew from %lu to %lu bytes",
       static_cast<unsigned long>(heap_before), static_cast<unsigned long>(heap_after));
    lua_setallocf(L, allocator.original, allocator.original_data);
}
