// Entry-point resolution through a fake loader, the loader's failure path,
// the libraries loaded on first use, and the shared conversions.
#include "unit.h"
#include "dialog_answer.h"
#include "fake_loader.h"

#include "core/bindings.h"
#include "core/functions.h"
#include "core/late.h"
#include "core/module.h"
#include "core/osbridge.h"

#include <climits>
#include <cstring>
#include <cwchar>
#include <set>
#include <string>

using namespace osbridge;

namespace {

// Copies the loader's text into `out` when `child` shows it.
BOOL CALLBACK find_dynload_text(HWND child, LPARAM out)
{
    wchar_t buffer[64];
    if (::GetWindowTextW(child, buffer, 64) && std::wcscmp(buffer, L"osbridge dynload problem!") == 0)
        std::wcscpy(reinterpret_cast<wchar_t*>(out), buffer);
    return TRUE;
}

// Answers each message box the loader shows (see dialog_answer.h), counting
// those captioned "Lua Error" with the loader's text.
void close_error_box(HWND box, void* count)
{
    wchar_t caption[32] = L"", text[64] = L"";
    ::GetWindowTextW(box, caption, 32);
    ::EnumChildWindows(box, find_dynload_text, reinterpret_cast<LPARAM>(text));
    if (std::wcscmp(caption, L"Lua Error") == 0 && *text)
        ++*static_cast<LONG*>(count);
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
}

FakeLoader* preload_loader;

int open_with_fake_loader(lua_State* L)
{
    return open_module(L, *preload_loader);
}

} // namespace

TEST(resolution_on_desktop)
{
    FakeLoader loader;
    ok(resolve_bindings(loader), "resolution failed on the desktop system");
    ok(api.ShellExecuteW && api.StringFromGUID2 && api.CLSIDFromString, "optional desktop entries missing: %p %p %p",
       reinterpret_cast<void*>(api.ShellExecuteW), reinterpret_cast<void*>(api.StringFromGUID2),
       reinterpret_cast<void*>(api.CLSIDFromString));
    ok(!api.SipSetCurrentIM && !api.SipGetCurrentIM && !api.SipShowIM && !api.SetCleanRebootFlag &&
           !api.KernelIoControl && !api.PowerOffSystem && !api.GetFileSize,
       "a Windows CE entry (or user32 GetFileSize) resolved on desktop");
    ok(loader.looked_up.count("GetFileSize") && loader.looked_up.count("SipShowIM"),
       "GetFileSize and SipShowIM must still be looked up");
}

TEST(resolution_without_user32)
{
    FakeLoader loader;
    loader.missing = {L"user32.dll"};
    Libraries libs;
    Bindings found;
    ok(!resolve_bindings(loader, libs, found), "resolution succeeded without user32");
    ok(loader.looked_up == std::set<std::string>{"ShellExecuteW"}, "looked up %u names, expected only ShellExecuteW",
       static_cast<unsigned>(loader.looked_up.size()));
    ok(found.ShellExecuteW != nullptr, "ShellExecuteW not filled");
    ok(!found.GetAsyncKeyState && !found.CopyFileW, "entries filled after user32 was missing");
    resolve_bindings(system_loader());
    ok(!resolve_bindings(loader), "published resolution succeeded without user32");
    ok(api.GetAsyncKeyState && api.CopyFileW, "a failed resolution changed the module's table");
}

TEST(resolution_without_advapi32)
{
    FakeLoader loader;
    loader.missing = {L"Advapi32.dll"};
    Libraries libs;
    Bindings api;
    ok(!resolve_bindings(loader, libs, api), "resolution succeeded without Advapi32");
    ok(!api.RegOpenKeyExW && !api.RegQueryValueExW && !api.RegCloseKey && !api.RegCreateKeyExW &&
           !api.RegSetValueExW && !api.RegDeleteValueW && !api.RegDeleteKeyW,
       "a registry entry is set without Advapi32");
    ok(!loader.looked_up.count("RegOpenKeyExW"), "RegOpenKeyExW looked up without its library");
    ok(api.FindWindowW && api.CopyFileW && api.Sleep && api.CLSIDFromString,
       "later groups were not resolved after a missing library");
}

TEST(resolution_without_optional_libraries)
{
    FakeLoader loader;
    loader.missing = {L"ole32.dll", L"shell32.dll"};
    ok(resolve_bindings(loader), "optional libraries decided the verdict");
    ok(!api.ShellExecuteW && !api.StringFromGUID2 && !api.CLSIDFromString, "entries of missing libraries set");
}

TEST(loader_failure_shows_one_box_and_creates_nothing)
{
    FakeLoader loader;
    loader.missing = {L"kernel32.dll"};  // CopyFileW and Sleep are required
    preload_loader = &loader;

    lua_State* L = luaL_newstate();
    luaL_openlibs(L);
    lua_getglobal(L, "package");
    lua_getfield(L, -1, "preload");
    lua_pushcfunction(L, open_with_fake_loader);
    lua_setfield(L, -2, "osbridge");
    lua_settop(L, 0);

    LONG boxes = 0;
    int status;
    {
        const DialogAnswerer answerer(close_error_box, &boxes);
        lua_getglobal(L, "require");
        lua_pushstring(L, "osbridge");
        status = lua_pcall(L, 1, 1, 0);
    }

    ok(status == 0, "require raised: %s", status ? lua_tostring(L, -1) : "");
    ok(lua_type(L, -1) == LUA_TBOOLEAN && lua_toboolean(L, -1), "require gave type %s, expected true",
       lua_typename(L, lua_type(L, -1)));
    lua_getglobal(L, "osbridge");
    ok(lua_isnil(L, -1), "global osbridge exists after a failed load");
    ok(boxes == 1, "saw %ld \"osbridge dynload problem!\" boxes, expected 1", boxes);
    lua_close(L);
    resolve_bindings(system_loader());
}

namespace {

DWORD WINAPI load_in_fresh_states(void* rounds)
{
    for (long i = 0; i < *static_cast<const long*>(rounds); ++i) {
        lua_State* L = luaL_newstate();
        open_module(L, system_loader());
        lua_close(L);
    }
    return 0;
}

} // namespace

TEST(entry_points_stay_set_while_another_thread_loads)
{
    resolve_bindings(system_loader());
    long rounds = 300;
    HANDLE loading = ::CreateThread(nullptr, 0, load_in_fresh_states, &rounds, 0, nullptr);
    // Read as a function of another state would, between its loads.
    const auto entry = reinterpret_cast<void* const volatile*>(&api.GetAsyncKeyState);
    long reads = 0, nulls = 0;
    while (::WaitForSingleObject(loading, 0) == WAIT_TIMEOUT) {
        ++reads;
        nulls += *entry == nullptr;
    }
    ::CloseHandle(loading);
    ok(nulls == 0, "GetAsyncKeyState read as null %ld times in %ld reads", nulls, reads);
}

TEST(late_library_resolved_once_and_whole)
{
    FakeLoader loader;
    LateLibrary<Winspool> spooler(L"winspool.drv");
    const Winspool* table = spooler.get(loader);
    ok(table && table->OpenPrinterA && table->OpenPrinterW && table->WritePrinter && table->ClosePrinter,
       "winspool table incomplete");
    ok(loader.looked_up.size() == 9, "looked up %u names, expected 9", static_cast<unsigned>(loader.looked_up.size()));
    loader.looked_up.clear();
    loader.missing = {L"winspool.drv"};
    ok(spooler.get(loader) == table && loader.looked_up.empty(), "the table was resolved a second time");
}

TEST(late_library_missing_or_incomplete)
{
    FakeLoader loader;
    loader.replaced["EndDocPrinter"] = nullptr;
    LateLibrary<Winspool> incomplete(L"winspool.drv");
    // Through the module's own loader: the search flags must be accepted.
    LateLibrary<Winmm> absent(L"osbridge-no-such-library.dll");
    // A loader that fails without setting an error.
    FakeLoader quiet;
    quiet.missing = {L"winmm.dll"};
    LateLibrary<Winmm> unexplained(L"winmm.dll");
    for (int round = 1; round <= 2; ++round) {
        ::SetLastError(0);
        ok(!incomplete.get(loader) && ::GetLastError() == ERROR_PROC_NOT_FOUND,
           "round %d: a library without EndDocPrinter gave error %lu", round, ::GetLastError());
        ::SetLastError(0);
        ok(!absent.get() && ::GetLastError() == ERROR_MOD_NOT_FOUND, "round %d: a missing library gave error %lu",
           round, ::GetLastError());
        ::SetLastError(0);
        ok(!unexplained.get(quiet) && ::GetLastError() == ERROR_MOD_NOT_FOUND,
           "round %d: a load that failed without an error gave error %lu", round, ::GetLastError());
        // The first answer stands for the process.
        loader.replaced.clear();
    }
}

TEST(system_folder_load_takes_nothing_from_the_current_folder)
{
    wchar_t system[MAX_PATH], path[MAX_PATH] = L"";
    const UINT folder = ::GetSystemDirectoryW(system, MAX_PATH);
    const HMODULE winmm = load_from_system_folder(L"winmm.dll");
    ok(winmm && ::GetModuleFileNameW(winmm, path, MAX_PATH) && ::_wcsnicmp(path, system, folder) == 0
           && path[folder] == L'\\',
       "winmm.dll came from \"%ls\", not the system folder \"%ls\"", path, system);

    // A file that a plain search finds first in the current folder (and
    // cannot load); the system folder has none of that name.
    wchar_t previous[MAX_PATH], temp[MAX_PATH];
    ::GetCurrentDirectoryW(MAX_PATH, previous);
    ::GetTempPathW(MAX_PATH, temp);
    ::SetCurrentDirectoryW(temp);
    const wchar_t* name = L"osbridge-current-folder.dll";
    HANDLE file = ::CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    ::WriteFile(file, "not a library", 13, &written, nullptr);
    ::CloseHandle(file);
    ::SetLastError(0);
    const HMODULE found = load_from_system_folder(name);
    const DWORD error = ::GetLastError();
    const HMODULE plain = ::LoadLibraryW(name);
    const DWORD plain_error = ::GetLastError();
    ::DeleteFileW(name);
    ::SetCurrentDirectoryW(previous);
    ok(!plain && plain_error == ERROR_BAD_EXE_FORMAT, "a plain search gave %p, error %lu: no file to avoid",
       static_cast<void*>(plain), plain_error);
    ok(!found && error == ERROR_MOD_NOT_FOUND, "gave %p, error %lu", static_cast<void*>(found), error);

    const std::wstring long_name(MAX_PATH, L'a');
    ok(!load_from_system_folder(long_name.c_str()) && ::GetLastError() == ERROR_FILENAME_EXCED_RANGE,
       "a name of %u units gave error %lu", MAX_PATH, ::GetLastError());
}

TEST(loader_leaves_an_empty_stack)
{
    lua_State* L = luaL_newstate();
    luaL_openlibs(L);
    lua_pushstring(L, "osbridge");
    lua_pushinteger(L, 0xdeadbeef);
    const int results = open_module(L, system_loader());
    ok(results == 0, "loader returned %d results", results);
    ok(lua_gettop(L) == 0, "stack holds %d values after the loader", lua_gettop(L));
    lua_close(L);
}

TEST(ansi_to_wide)
{
    ok(!a2w(nullptr, CP_ACP) && !a2w("", CP_ACP) && !a2w("abc", 0, CP_ACP), "null or empty input gave text");
    WideText text = a2w("ab\0cd", 5, CP_ACP);
    ok(text && std::memcmp(text.get(), L"ab\0cd", 6 * sizeof(wchar_t)) == 0, "counted form lost bytes");
    text = a2w("ab\0cd", CP_ACP);
    ok(text && std::wcscmp(text.get(), L"ab") == 0, "terminated form read past the zero byte");
    text = a2w("\xE9t\xE9", CP_ACP);  // e-acute in the ANSI code page
    ok(text && text[0] == 0xE9 && text[1] == L't' && text[3] == 0, "code page conversion gave %04x", text ? text[0] : 0);
}

TEST(ansi_to_wide_tells_no_text_from_failure)
{
    // Beyond what the system converts: failure, and the text is never read.
    const size_t too_long = static_cast<size_t>(INT_MAX);
    ok(!a2w("abc", too_long, CP_ACP), "over-long text gave text");
    WideText wide;
    ok(a2w_optional(nullptr, wide, CP_ACP) && !wide && a2w_optional("", wide, CP_ACP) && !wide,
       "no text must convert to none");
    ok(a2w_optional("ab", wide, CP_ACP) && wide && std::wcscmp(wide.get(), L"ab") == 0, "text did not convert");

    lua_State* L = luaL_newstate();
    wchar_t stack[4];
    const struct {
        const char* text;
        size_t n;
        bool converted;
        const wchar_t* expected;  // null: no text
        int blocks;               // left on the Lua stack
    } cases[] = {
        {"", 0, true, nullptr, 0},
        {"abc", 3, true, L"abc", 0},
        {"abcdefgh", 8, true, L"abcdefgh", 1},
        {"abc", too_long, false, nullptr, 0},
    };
    for (const auto& c : cases) {
        const wchar_t* converted = L"stale";
        const bool done = a2w_scratch(L, c.text, c.n, stack, 4, converted, CP_ACP);
        ok(done == c.converted, "\"%s\" (%lu bytes): converted %d", c.text, static_cast<unsigned long>(c.n), done);
        ok(c.expected ? converted && std::wcscmp(converted, c.expected) == 0 : !converted,
           "\"%s\" (%lu bytes): got %ls", c.text, static_cast<unsigned long>(c.n), converted ? converted : L"(null)");
        ok(lua_gettop(L) == c.blocks, "\"%s\": %d blocks left", c.text, lua_gettop(L));
        lua_settop(L, 0);
    }
    const wchar_t* converted = nullptr;
    ok(a2w_scratch(L, "ab\0cd", stack, 4, converted, CP_ACP) && std::wcscmp(converted, L"ab") == 0,
       "terminated form read past the zero byte");
    lua_close(L);
}

TEST(wide_to_ansi)
{
    ok(!w2a(nullptr, 3, CP_ACP) && !w2a(L"abc", 0, CP_ACP), "null or zero-length input gave text");
    AnsiText text = w2a(L"h\u00e9llo", 5, CP_ACP);
    ok(text && std::strcmp(text.get(), "h\xE9llo") == 0, "got \"%s\"", text ? text.get() : "(null)");
    text = w2a(L"ab\0cd", 5, CP_ACP);
    ok(text && std::strcmp(text.get(), "ab") == 0, "conversion went past the first zero unit");
    text = w2a(L"abcdef", 3, CP_ACP);
    ok(text && std::strcmp(text.get(), "abc") == 0, "length limit ignored: \"%s\"", text ? text.get() : "(null)");
    // Double-byte code page: three characters need six bytes, none is cut.
    text = w2a(L"\u65e5\u672c\u8a9e", 3, 932);
    ok(text && std::strcmp(text.get(), "\x93\xfa\x96\x7b\x8c\xea") == 0, "got %u bytes",
       text ? static_cast<unsigned>(std::strlen(text.get())) : 0u);
    text = w2a(L"\0x", 2, CP_ACP);
    ok(text && *text.get() == '\0', "a leading zero unit must give empty text, not null");
}

TEST(utf8_code_page_is_strict)
{
    // Valid UTF-8 converts both ways, a character beyond U+FFFF as a pair;
    // a broken sequence is no text, where the ANSI code page takes any byte.
    const struct {
        const char* text;
        const wchar_t* expected;  // null: not converted
    } cases[] = {
        {"P\xC5\x99\xC3\xAD \xE6\x97\xA5 \xF0\x9F\x99\x82", L"P\u0159\u00ed \u65e5 \U0001F642"},
        {"ab\xC5", nullptr},          // cut short
        {"\xC0\xAF", nullptr},         // over-long form of '/'
        {"\xED\xA0\x80", nullptr},     // a surrogate's own code
        {"a\xFF", nullptr},
    };
    lua_State* L = luaL_newstate();
    wchar_t stack[64];
    for (const auto& c : cases) {
        const WideText wide = a2w(c.text, CP_UTF8);
        const wchar_t* scratch = nullptr;
        const bool done = a2w_scratch(L, c.text, stack, 64, scratch, CP_UTF8);
        ok(c.expected ? wide && std::wcscmp(wide.get(), c.expected) == 0 : !wide, "a2w of \"%s\"", c.text);
        ok(done == (c.expected != nullptr) && (c.expected ? std::wcscmp(scratch, c.expected) == 0 : !scratch),
           "a2w_scratch of \"%s\"", c.text);
        if (c.expected) {
            const AnsiText back = w2a(c.expected, std::wcslen(c.expected), CP_UTF8);
            ok(back && std::strcmp(back.get(), c.text) == 0, "w2a of \"%s\"", c.text);
        }
    }
    ok(lua_gettop(L) == 0, "%d blocks left", lua_gettop(L));
    lua_close(L);
}

TEST(last_error_text_form)
{
    ErrorText buffer;
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    const char* text = last_error_text(buffer, CP_ACP);
    ok(text != nullptr, "no text for code 2");
    if (text) {
        const size_t n = std::strlen(text);
        ok(n > 4 && std::strcmp(text + n - 4, " (2)") == 0, "text \"%s\" does not end with \" (2)\"", text);
        ok(!std::strchr(text, '\r') && !std::strchr(text, '\n'), "line break kept in \"%s\"", text);
    }
    // A system text with an insert ("%1 is not a valid application").
    ::SetLastError(ERROR_BAD_EXE_FORMAT);
    text = last_error_text(buffer, CP_ACP);
    ok(text && std::strstr(text, "%1") && std::strstr(text, " (193)"), "text for code 193: \"%s\"", text ? text : "(null)");
    ::SetLastError(0xdeadbeef);
    text = last_error_text(buffer, CP_ACP);
    ok(text == nullptr, "text \"%s\" for an unknown code", text ? text : "");
}

namespace {

struct ErrorReader {
    DWORD code;
    long wrong;
};

// Sets its own code and reads the text back through the Lua function, again and again.
DWORD WINAPI read_error_texts(void* param)
{
    auto& reader = *static_cast<ErrorReader*>(param);
    const std::string suffix = " (" + std::to_string(reader.code) + ")";
    lua_State* L = luaL_newstate();
    for (int i = 0; i < 2000; ++i) {
        ::SetLastError(reader.code);
        get_last_error(L);
        size_t n = 0;
        const char* text = lua_tolstring(L, -1, &n);
        reader.wrong += !text || n < suffix.size() || suffix.compare(text + n - suffix.size()) != 0;
        lua_settop(L, 0);
    }
    lua_close(L);
    return 0;
}

} // namespace

TEST(last_error_text_per_thread)
{
    ErrorReader readers[] = {{ERROR_FILE_NOT_FOUND, 0}, {ERROR_ACCESS_DENIED, 0}};
    HANDLE threads[2];
    for (int i = 0; i < 2; ++i)
        threads[i] = ::CreateThread(nullptr, 0, read_error_texts, &readers[i], 0, nullptr);
    ::WaitForMultipleObjects(2, threads, TRUE, 60000);
    for (int i = 0; i < 2; ++i) {
        ::CloseHandle(threads[i]);
        ok(readers[i].wrong == 0, "thread of code %lu read %ld texts not its own", readers[i].code, readers[i].wrong);
    }
}

TEST(numbers_as_32_bit_values)
{
    ok(to_u32(2147483650.0) == 0x80000002u && to_u32(-2147483646.0) == 0x80000002u, "got %08x and %08x",
       to_u32(2147483650.0), to_u32(-2147483646.0));
    ok(to_u32(1.9) == 1 && to_u32(-1.9) == 0xFFFFFFFFu, "not truncated toward zero: %08x %08x", to_u32(1.9),
       to_u32(-1.9));
    ok(to_u32(4294967296.0 + 5) == 5, "high bits kept: %08x", to_u32(4294967296.0 + 5));
    ok(to_i32(4294967295.0) == -1 && to_i32(2415919104.0) == to_i32(-1879048192.0), "signed view wrong: %d",
       to_i32(4294967295.0));
    ok(to_u32(1e300) == 0 && to_u32(0.0 / 0.0) == 0, "huge or NaN gave %08x", to_u32(1e300));
}

TEST(choices_are_read_whole)
{
    // Truncated toward zero and saturated; high bits kept.
    lua_State* L = luaL_newstate();
    const struct {
        lua_Number n;
        int64_t expected;
    } choices[] = {{4294967297.0, 4294967297LL}, {-4294967296.0, -4294967296LL}, {-1.9, -1}, {0.9, 0},
                   {1e300, INT64_MAX},           {-1e300, INT64_MIN},            {0.0 / 0.0, 0}};
    for (const auto& c : choices) {
        lua_pushnumber(L, c.n);
        ok(to_choice(L, -1) == c.expected, "%g read as %lld", c.n, static_cast<long long>(to_choice(L, -1)));
        lua_pop(L, 1);
    }
    lua_close(L);
}

TEST(byte_counts_beyond_32_bits_are_refused)
{
    DWORD count = 0;
    ok(to_dword(MAXDWORD, count) && count == MAXDWORD, "4 GiB - 1 refused");
    if (sizeof(size_t) > 4)
        ok(!to_dword(static_cast<size_t>(MAXDWORD) + 257, count), "4 GiB + 256 taken as %lu", count);
}
