// shell_execute without a shell entry point, and with a recording one in its
// place: the values handed to the shell, and results Wine's shell never gives.
#include "unit.h"
#include "fake_loader.h"

#include "core/module.h"

#include "core/lua_compat.h"

#include <cstdint>
#include <cwchar>
#include <string>

using namespace osbridge;

namespace {

std::wstring seen_call;  // the last call's values joined by "|", null texts as "-"
intptr_t shell_result;

HINSTANCE WINAPI recording_shell_execute(HWND parent, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters,
                                         LPCWSTR directory, INT show)
{
    const auto text = [](LPCWSTR value) { return value ? value : L"-"; };
    wchar_t call[512];
    std::swprintf(call, 512, L"%x|%ls|%ls|%ls|%ls|%d", static_cast<unsigned>(reinterpret_cast<uintptr_t>(parent)),
                  text(verb), text(file), text(parameters), text(directory), show);
    seen_call = call;
    return reinterpret_cast<HINSTANCE>(shell_result);
}

// The module loaded through `loader`, and a window handle in the global
// `window` (scripts can't make light userdata themselves).
lua_State* open_with(FakeLoader& loader)
{
    lua_State* L = luaL_newstate();
    luaL_openlibs(L);
    open_module(L, loader);
    lua_pushlightuserdata(L, reinterpret_cast<void*>(0x1234));
    lua_setglobal(L, "window");
    return L;
}

lua_State* open_recording()
{
    FakeLoader loader;
    loader.replaced["ShellExecuteW"] = reinterpret_cast<FARPROC>(reinterpret_cast<void*>(recording_shell_execute));
    return open_with(loader);
}

// Closes the state and puts the system's entry points back for later tests.
void close_state(lua_State* L)
{
    lua_close(L);
    resolve_bindings(system_loader());
}

// shell_execute's results for the arguments `args`, joined by "|", or
// "error: " and the message.
std::string call(lua_State* L, const char* args)
{
    lua_settop(L, 0);
    const std::string chunk = std::string("return osbridge.shell_execute(") + args + ")";
    if (luaL_loadstring(L, chunk.c_str()) || lua_pcall(L, 0, LUA_MULTRET, 0))
        return std::string("error: ") + lua_tostring(L, -1);
    std::string results;
    for (int i = 1; i <= lua_gettop(L); ++i) {
        results += i > 1 ? "|" : "";
        results += lua_isboolean(L, i) ? (lua_toboolean(L, i) ? "true" : "false")
                   : lua_isnil(L, i)   ? "nil"
                                       : lua_tostring(L, i);
    }
    return results;
}

} // namespace

TEST(shell_execute_without_entry_point)
{
    FakeLoader loader;
    loader.missing = {L"shell32.dll"};
    lua_State* L = open_with(loader);
    const std::string missing = "false|can't load API function ShellExecute() from shell32.dll";
    // Not even the file name is read: a table that raises on reads answers too.
    for (const char* args : {"{}", "{filename = 'a.txt'}, 5", "setmetatable({}, {__index = error})"}) {
        const std::string got = call(L, args);
        ok(got == missing, "(%s) gave \"%s\"", args, got.c_str());
    }
    const std::string got = call(L, "'a.txt'");
    ok(got.find("bad argument #1") != std::string::npos && got.find("table expected") != std::string::npos,
       "a string gave \"%s\"", got.c_str());
    close_state(L);
}

TEST(shell_execute_hands_the_fields_to_the_shell)
{
    lua_State* L = open_recording();
    shell_result = 42;
    const struct {
        const char* args;
        const char* results;
        const wchar_t* call;  // empty: the shell must not be called
    } cases[] = {
        {"{filename = 'a.txt'}", "true|nil", L"0|open|a.txt|-|-|1"},
        {"{filename = 12345, hwnd_parent = window, show = '3', work_dir = 'C:\\\\w', operation = 'print',"
         " parameters = '-x \"y\"'}",
         "true|nil", L"1234|print|12345|-x \"y\"|C:\\w|3"},
        // Values of the wrong kind count as absent; texts end at a zero byte.
        {"{filename = 'a\\0b', hwnd_parent = 0x1234, show = true, work_dir = '', operation = '', parameters = {}}",
         "true|nil", L"0|open|a|-|-|1"},
        {"{}, {filename = 'last.txt'}", "true|nil", L"0|open|last.txt|-|-|1"},
        {"{}", "false|filename is mandatory", L""},
        {"{filename = ''}", "false|filename is mandatory", L""},
        {"{filename = '\\0a.txt'}", "false|filename is mandatory", L""},
        {"{filename = true}", "false|filename is mandatory", L""},
        {"{filename = 'a.txt'}, 'extra'", "false|filename is mandatory", L""},
        {"{filename = 'a.txt'}, 5", "error: attempt to index a number value", L""},
    };
    for (const auto& c : cases) {
        seen_call.clear();
        const std::string got = call(L, c.args);
        ok(got == c.results, "(%s) gave \"%s\"", c.args, got.c_str());
        ok(seen_call == c.call, "(%s) called \"%ls\", expected \"%ls\"", c.args, seen_call.c_str(), c.call);
    }
    close_state(L);
}

TEST(shell_execute_results)
{
    lua_State* L = open_recording();
    const struct {
        intptr_t result;
        const char* expected;
    } cases[] = {
        {33, "true|nil"},
        {32, "false|The specified DLL was not found."},
        {28, "false|The DDE transaction could not be completed because the request timed out."},
        {11, "false|The .exe file is invalid (non-Win32 .exe or error in .exe image)."},
        {1, "false|Unknown error."},
        {0, "false|The operating system is out of memory or resources."},
        {-1, "false|Unknown error."},
        {static_cast<int32_t>(0x80000021u), "false|Unknown error."},
    };
    for (const auto& c : cases) {
        shell_result = c.result;
        const std::string got = call(L, "{filename = 'a.txt'}");
        ok(got == c.expected, "result %ld gave \"%s\"", static_cast<long>(c.result), got.c_str());
    }
    close_state(L);
}
