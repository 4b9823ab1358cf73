// Text conversion between the ANSI code page and UTF-16, and the text of the
// thread's last system error.
#include "core/functions.h"
#include "core/osbridge.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <cwchar>

namespace osbridge {

WideText a2w(const char* text, size_t n)
{
    if (!text || n < 1 || n > INT_MAX - 1)
        return nullptr;
    // n bytes never give more than n units; the zero fill terminates the
    // result when the conversion yields fewer units.
    WideText wide = calloc_array<wchar_t>(n + 1);
    if (wide && ::MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(n), wide.get(), static_cast<int>(n)) <= 0)
        wide.reset();
    return wide;
}

WideText a2w(const char* text)
{
    return text ? a2w(text, std::strlen(text)) : nullptr;
}

bool a2w_optional(const char* text, WideText& wide)
{
    wide = a2w(text);
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

bool a2w_scratch(lua_State* L, const char* text, size_t n, wchar_t* stack, size_t units, const wchar_t*& wide)
{
    wide = nullptr;
    if (n < 1)
        return true;
    if (n > INT_MAX - 1)
        return false;
    // n bytes never give more than n units.
    wchar_t* converted = n < units ? stack : static_cast<wchar_t*>(lua_newuserdata(L, (n + 1) * sizeof(wchar_t)));
    const int written = ::MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(n), converted, static_cast<int>(n));
    if (written <= 0)
        return false;
    converted[written] = L'\0';
    wide = converted;
    return true;
}

bool a2w_scratch(lua_State* L, const char* text, wchar_t* stack, size_t units, const wchar_t*& wide)
{
    return a2w_scratch(L, text, std::strlen(text), stack, units, wide);
}

void push_w2a(lua_State* L, const wchar_t* text, size_t n)
{
    const int units = text && n <= INT_MAX - 1 ? static_cast<int>(wcsnlen(text, n)) : 0;
    // Short text converts once, into the stack; longer text is measured first
    // and converted in a block Lua owns.
    char stack[1024];
    if (units <= static_cast<int>(sizeof stack)) {
        const int written =
            units ? ::WideCharToMultiByte(CP_ACP, 0, text, units, stack, sizeof stack, nullptr, nullptr) : 0;
        if (written > 0 || units == 0 || ::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            lua_pushlstring(L, stack, static_cast<size_t>(written));
            return;
        }
    }
    const int needed = ::WideCharToMultiByte(CP_ACP, 0, text, units, nullptr, 0, nullptr, nullptr);
    char* ansi = static_cast<char*>(lua_newuserdata(L, static_cast<size_t>(needed)));
    if (needed)
        ::WideCharToMultiByte(CP_ACP, 0, text, units, ansi, needed, nullptr, nullptr);
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

const char* last_error_text(ErrorText& text)
{
    const DWORD code = ::GetLastError();
    // Inserts such as "%1" stay as they are: without this flag every message
    // that has one fails for want of arguments.
    unique_hlocal system_text;
    if (!::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                          nullptr, code, 0x400, reinterpret_cast<LPWSTR>(system_text.put()), 0, nullptr))
        return nullptr;
    const wchar_t* wide = static_cast<const wchar_t*>(system_text.get());
    AnsiText line = w2a(wide, std::wcslen(wide));
    const char* first = "";
    if (line) {
        if (char* cr = std::strchr(line.get(), '\r'))
            *cr = '\0';
        first = line.get();
    }
    std::snprintf(text, sizeof text, "%s (%lu)", first, static_cast<unsigned long>(code));
    return text;
}

int get_last_error(lua_State* L)
{
    ErrorText text;
    return push_text_or_nil(L, last_error_text(text));
}

} // namespace osbridge
