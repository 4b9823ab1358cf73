// Text conversion between a state's code page and UTF-16, and the text of
// the thread's last system error.
#include "core/functions.h"
#include "core/osbridge.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <cwchar>

namespace osbridge {

namespace {

// The registry key of the state's code-page cell: this address, which no
// other library uses.
const char code_page_key = 0;

} // namespace

void push_code_page_cell(lua_State* L)
{
    void* key = const_cast<char*>(&code_page_key);
    lua_pushlightuserdata(L, key);
    lua_rawget(L, LUA_REGISTRYINDEX);
    if (lua_type(L, -1) == LUA_TUSERDATA)
        return;
    lua_pop(L, 1);
    *static_cast<UINT*>(lua_newuserdata(L, sizeof(UINT))) = CP_ACP;
    lua_pushlightuserdata(L, key);
    lua_pushvalue(L, -2);
    lua_rawset(L, LUA_REGISTRYINDEX);
}

int set_code_page(lua_State* L)
{
    const lua_Number requested = luaL_checknumber(L, 1);
    // Whole numbers only: a code page read through truncation would be one
    // the script did not name.
    const bool whole = requested >= 0 && requested <= 4294967295.0
                       && requested == static_cast<lua_Number>(to_u32(requested));
    const UINT chosen = whole ? to_u32(requested) : 0;
    // The pseudo code pages (OEM, Mac, the thread's) would follow settings
    // that change under the script.
    if (!whole || (chosen != CP_ACP && chosen != CP_UTF8 && (chosen <= CP_THREAD_ACP || !::IsValidCodePage(chosen))))
        return luaL_argerror(L, 1, lua_pushfstring(L, "no code page of this system: %s", lua_tostring(L, 1)));
    UINT* cell = code_page_cell(L);
    if (!cell)
        return luaL_error(L, "set_code_page: no code page of this state");
    push_whole(L, *cell);
    *cell = chosen;
    return 1;
}

int get_code_page(lua_State* L)
{
    push_whole(L, code_page(L));
    return 1;
}

WideText a2w(const char* text, size_t n, UINT code_page)
{
    if (!text || n < 1 || n > INT_MAX - 1)
        return nullptr;
    // n bytes never give more than n units; the zero fill terminates the
    // result when the conversion yields fewer units.
    WideText wide = calloc_array<wchar_t>(n + 1);
    if (wide && ::MultiByteToWideChar(code_page, to_wide_flags(code_page), text, static_cast<int>(n), wide.get(),
                                      static_cast<int>(n)) <= 0)
        wide.reset();
    return wide;
}

WideText a2w(const char* text, UINT code_page)
{
    return text ? a2w(text, std::strlen(text), code_page) : nullptr;
}

bool a2w_optional(const char* text, WideText& wide, UINT code_page)
{
    wide = a2w(text, code_page);
    return wide || !text || !*text;
}

AnsiText w2a(const wchar_t* text, size_t n, UINT code_page)
{
    if (!text || n < 1 || n > INT_MAX - 1)
        return nullptr;
    const int units = static_cast<int>(wcsnlen(text, n));
    const int needed = units ? ::WideCharToMultiByte(code_page, 0, text, units, nullptr, 0, nullptr, nullptr) : 0;
    AnsiText ansi = calloc_array<char>(static_cast<size_t>(needed) + 1);
    if (ansi && needed)
        ::WideCharToMultiByte(code_page, 0, text, units, ansi.get(), needed, nullptr, nullptr);
    return ansi;
}

bool a2w_scratch(lua_State* L, const char* text, size_t n, wchar_t* stack, size_t units, const wchar_t*& wide,
                 UINT code_page)
{
    wide = nullptr;
    if (n < 1)
        return true;
    if (n > INT_MAX - 1)
        return false;
    // n bytes never give more than n units.
    wchar_t* converted = n < units ? stack : static_cast<wchar_t*>(lua_newuserdata(L, (n + 1) * sizeof(wchar_t)));
    const int written = ::MultiByteToWideChar(code_page, to_wide_flags(code_page), text, static_cast<int>(n),
                                              converted, static_cast<int>(n));
    if (written <= 0)
        return false;
    converted[written] = L'\0';
    wide = converted;
    return true;
}

bool a2w_scratch(lua_State* L, const char* text, wchar_t* stack, size_t units, const wchar_t*& wide,
                 UINT code_page)
{
    return a2w_scratch(L, text, std::strlen(text), stack, units, wide, code_page);
}

void push_w2a(lua_State* L, const wchar_t* text, size_t n, UINT code_page)
{
    const int units = text && n <= INT_MAX - 1 ? static_cast<int>(wcsnlen(text, n)) : 0;
    // Short text converts once, into the stack; longer text is measured first
    // and converted in a block Lua owns.
    char stack[1024];
    if (units <= static_cast<int>(sizeof stack)) {
        const int written =
            units ? ::WideCharToMultiByte(code_page, 0, text, units, stack, sizeof stack, nullptr, nullptr) : 0;
        if (written > 0 || units == 0 || ::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            lua_pushlstring(L, stack, static_cast<size_t>(written));
            return;
        }
    }
    const int needed = ::WideCharToMultiByte(code_page, 0, text, units, nullptr, 0, nullptr, nullptr);
    char* ansi = static_cast<char*>(lua_newuserdata(L, static_cast<size_t>(needed)));
    if (needed)
        ::WideCharToMultiByte(code_page, 0, text, units, ansi, needed, nullptr, nullptr);
    lua_pushlstring(L, ansi, static_cast<size_t>(needed));
    lua_remove(L, -2);
}

#if LUA_VERSION_NUM >= 505
void push_external(lua_State* L, char* text, size_t n)
{
    void* ud = nullptr;
    const lua_Alloc alloc = lua_getallocf(L, &ud);
    lua_pushexternalstring(L, text, n, alloc, ud);
    // Lua counts only the string's header: without this step its collector
    // would let dead strings of this size pile up unseen. A collector the
    // script has stopped stays stopped.
    if (lua_gc(L, LUA_GCISRUNNING) == 1)
        lua_gc(L, LUA_GCSTEP, n);
}
#endif

const char* last_error_text(ErrorText& text, UINT code_page)
{
    const DWORD code = ::GetLastError();
    // Inserts such as "%1" stay as they are: without this flag every message
    // that has one fails for want of arguments.
    unique_hlocal system_text;
    if (!::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                          nullptr, code, 0x400, reinterpret_cast<LPWSTR>(system_text.put()), 0, nullptr))
        return nullptr;
    const wchar_t* wide = static_cast<const wchar_t*>(system_text.get());
    AnsiText line = w2a(wide, std::wcslen(wide), code_page);
    const char* first = "";
    if (line) {
        if (char* cr = std::strchr(line.get(), '\r'))
            *cr = '\0';
        first = line.get();
    }
    std::snprintf(text, sizeof text, "%s (%lu)", first, static_cast<unsigned long>(code));
    return text;
}

const char* last_error_reason(ErrorText& text, UINT code_page)
{
    const char* reason = last_error_text(text, code_page);
    return reason ? reason : "failed, without a system text";
}

int get_last_error(lua_State* L)
{
    ErrorText text;
    return push_text_or_nil(L, last_error_text(text, code_page(L)));
}

} // namespace osbridge
