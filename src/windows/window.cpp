// Operations on one window: find, show, focus, enable, destroy, message it,
// read and write its longs and its position. Each wraps one system call.
#include "core/functions.h"
#include "core/osbridge.h"
#include "core/wait.h"

#include <algorithm>

namespace osbridge {

namespace {

// Reads a lenient window handle at a position counted from the top, where
// `depth` values must be present; a shorter stack has no handle there.
bool to_hwnd_from_top(lua_State* L, int depth, HWND* window)
{
    return lua_gettop(L) >= depth && to_hwnd(L, -depth, window);
}

// Signed 32-bit window longs and coordinates read back as negative numbers.
void push_i32(lua_State* L, LONG value)
{
    push_whole(L, value);
}

} // namespace

namespace {

// The first top-level window of a class and title, looked for until the
// deadline in short slices, between which the thread's windows are answered:
// a window is seen within one slice of its creation. No class or title
// matches any; one that cannot be converted matches none.
HWND find_until(const char* class_name, const char* title, UINT code_page, const Deadline& deadline)
{
    const DWORD slice = 10;
    WideText wide_class, wide_title;
    if (!a2w_optional(class_name, wide_class, code_page) || !a2w_optional(title, wide_title, code_page))
        return nullptr;
    HWND found;
    while (!(found = api.FindWindowW(wide_class.get(), wide_title.get())) && !deadline.passed())
        wait_answering(nullptr, std::min(slice, deadline.left()));
    return found;
}

} // namespace

int find_window(lua_State* L)
{
    const char* class_name = luaL_checklstring(L, 1, nullptr);
    const char* title = luaL_optlstring(L, 2, nullptr, nullptr);
    push_hwnd(L, find_until(class_name, title, code_page(L), Deadline(0)));
    return 1;
}

int wait_for_window(lua_State* L)
{
    const char* class_name = luaL_checklstring(L, 1, nullptr);
    const char* title = luaL_optlstring(L, 2, nullptr, nullptr);
    const HWND found = find_until(class_name, title, code_page(L), Deadline(opt_timeout(L, 3)));
    if (!found)
        return push_nil_and(L, "timeout");
    push_hwnd(L, found);
    return 1;
}

int show_window(lua_State* L)
{
    HWND window;
    const bool was_visible = to_hwnd(L, 1, &window) && api.ShowWindow(window, to_i32(L, 2));
    lua_pushboolean(L, was_visible);
    return 1;
}

int set_foreground_window(lua_State* L)
{
    HWND window;
    lua_pushboolean(L, to_hwnd(L, 1, &window) && ::SetForegroundWindow(window));
    return 1;
}

int get_foreground_window(lua_State* L)
{
    push_hwnd(L, ::GetForegroundWindow());
    return 1;
}

int set_focus(lua_State* L)
{
    HWND window;
    lua_pushboolean(L, to_hwnd(L, 1, &window) && ::SetFocus(window) != nullptr);
    return 1;
}

int get_focus(lua_State* L)
{
    push_hwnd(L, ::GetFocus());
    return 1;
}

int is_window_visible(lua_State* L)
{
    HWND window;
    if (!to_hwnd(L, 1, &window))
        return 0;
    lua_pushboolean(L, api.IsWindowVisible(window));
    return 1;
}

int enable_window(lua_State* L)
{
    HWND window;
    const bool was_disabled = to_hwnd(L, 1, &window) && ::EnableWindow(window, lua_toboolean(L, 2));
    lua_pushboolean(L, was_disabled);
    return 1;
}

int destroy_window(lua_State* L)
{
    HWND window = check_hwnd(L, 1);
    lua_pushboolean(L, ::DestroyWindow(window));
    return 1;
}

int send_message(lua_State* L)
{
    HWND window;
    if (!to_hwnd(L, 1, &window))
        return 0;
    const UINT message = check_u32(L, 2);
    const WPARAM wparam = opt_u32(L, 3, 0);
    const LPARAM lparam = opt_i32(L, 4, 0);
    push_whole(L, ::SendMessageW(window, message, wparam, lparam));
    return 1;
}

int get_window_long(lua_State* L)
{
    HWND window;
    if (!to_hwnd_from_top(L, 2, &window))
        return 0;
    push_i32(L, api.GetWindowLongW(window, to_i32(L, -1)));
    return 1;
}

int set_window_long(lua_State* L)
{
    HWND window;
    if (!to_hwnd_from_top(L, 3, &window))
        return 0;
    const int index = to_i32(L, -2);
    const LONG value = to_i32(L, -1);
    push_i32(L, api.SetWindowLongW(window, index, value));
    return 1;
}

int get_window_rect(lua_State* L)
{
    HWND window;
    RECT rect;
    if (!to_hwnd_from_top(L, 1, &window) || !api.GetWindowRect(window, &rect))
        return 0;
    push_i32(L, rect.left);
    push_i32(L, rect.top);
    push_i32(L, rect.right);
    push_i32(L, rect.bottom);
    return 4;
}

int set_window_pos(lua_State* L)
{
    HWND window;
    if (!to_hwnd_from_top(L, 7, &window)) {
        push_whole(L, 0);
        return 1;
    }
    // A window to go behind, or one of the HWND_ numbers (-1 is HWND_TOPMOST).
    HWND insert_after;
    if (!to_hwnd(L, -6, &insert_after))
        insert_after = reinterpret_cast<HWND>(static_cast<INT_PTR>(to_i32(L, -6)));
    const int x = to_i32(L, -5);
    const int y = to_i32(L, -4);
    const int width = to_i32(L, -3);
    const int height = to_i32(L, -2);
    const UINT flags = to_u32(L, -1);
    push_whole(L, api.SetWindowPos(window, insert_after, x, y, width, height, flags));
    return 1;
}

// Shell shortcuts and full-screen mode exist only on the handheld platform.
int create_shortcut(lua_State* L)
{
    lua_pushboolean(L, 0);
    return 1;
}

} // namespace osbridge
