// Surveying windows: every top-level window with its title and class, the
// window related to another, and one window's title.
#include "core/functions.h"
#include "core/osbridge.h"

#include <algorithm>
#include <cwchar>

namespace osbridge {

namespace {

// 260 units passed to the system, so at most 259 characters come back.
constexpr int text_limit = 260;

struct WindowText {
    wchar_t units[text_limit + 1] = {};
    int length = 0;
};

// Reads a title or class name, at most text_limit - 1 units; a character
// that the limit cuts in half is left out whole. A window of this process
// answers with its own procedure, whose count need not match what it copied:
// the text ends at the buffer's limit or its first zero unit, whichever
// comes first.
void read_text(HWND window, int(WINAPI* read)(HWND, LPWSTR, int), WindowText& text)
{
    const int count = read(window, text.units, text_limit);
    const size_t bounded = count > 0 ? std::min(static_cast<size_t>(count), size_t{text_limit - 1}) : 0;
    text.length = static_cast<int>(whole_units(text.units, wcsnlen(text.units, bounded)));
    text.units[text.length] = L'\0';
}

// Converted text, "" when there is none; the Lua table takes a copy.
void set_text_field(lua_State* L, const char* field, const WindowText& text, UINT cp)
{
    push_w2a(L, text.units, static_cast<size_t>(text.length), cp);
    lua_setfield(L, -2, field);
}

// Window handles gathered into a block of `capacity` entries; `count` goes on
// past it, so that the caller can retry with a block large enough.
struct WindowList {
    HWND* windows;
    size_t capacity;
    size_t count;
};

// Only collects: a Lua error raised here would unwind through system frames.
BOOL CALLBACK collect_window(HWND window, LPARAM param)
{
    auto& list = *reinterpret_cast<WindowList*>(param);
    if (list.count < list.capacity)
        list.windows[list.count] = window;
    ++list.count;
    return TRUE;
}

} // namespace

int enum_windows(lua_State* L)
{
    const UINT cp = code_page(L);
    // Handles first, in a block that Lua owns: a block too small costs one
    // more enumeration of handles only, never the title and class reads.
    WindowList list = {nullptr, 512, 0};
    for (;;) {
        list.windows = static_cast<HWND*>(lua_newuserdata(L, list.capacity * sizeof(HWND)));
        list.count = 0;
        if (!::EnumWindows(collect_window, reinterpret_cast<LPARAM>(&list)))
            return 0;
        if (list.count <= list.capacity)
            break;
        lua_pop(L, 1);
        list.capacity = list.count + list.count / 2;
    }
    lua_createtable(L, 0, static_cast<int>(list.count));
    for (size_t i = 0; i < list.count; ++i) {
        const HWND window = list.windows[i];
        WindowText title, class_name;
        read_text(window, ::GetWindowTextW, title);
        read_text(window, ::GetClassNameW, class_name);
        lua_pushlightuserdata(L, window);
        lua_createtable(L, 0, 2);
        set_text_field(L, "title", title, cp);
        set_text_field(L, "class", class_name, cp);
        lua_settable(L, -3);
    }
    return 1;
}

int get_window(lua_State* L)
{
    HWND window = check_hwnd(L, 1);
    const UINT relation = check_u32(L, 2);
    push_hwnd(L, ::GetWindow(window, relation));
    return 1;
}

int get_window_text(lua_State* L)
{
    HWND window = check_hwnd(L, 1);
    const UINT cp = code_page(L);
    WindowText text;
    read_text(window, ::GetWindowTextW, text);
    if (text.length == 0)
        return push_text_or_nil(L, nullptr);
    push_w2a(L, text.units, static_cast<size_t>(text.length), cp);
    return 1;
}

} // namespace osbridge
