// Message boxes and the password prompt.
#include "core/functions.h"
#include "core/guarded.h"
#include "core/osbridge.h"
#include "ui/password.h"

#include <cwchar>

namespace osbridge {

int msgbox(lua_State* L)
{
    // Roles count from the top, so leading extra arguments are ignored.
    const int top = lua_gettop(L);
    if (top == 0)
        return 0;
    const char* text = lua_tolstring(L, top >= 3 ? -3 : top == 2 ? -2 : -1, nullptr);
    const char* caption = top >= 2 ? lua_tolstring(L, top >= 3 ? -2 : -1, nullptr) : "Orvek";
    const UINT style = top >= 3 ? to_u32(L, -1) : MB_ICONINFORMATION;
    const UINT cp = code_page(L);

    // A box without the text or caption it was given is not shown; 0 is the
    // system's own failure result.
    int pressed = 0;
    {
        WideText wide_text, wide_caption;
        if (a2w_optional(text, wide_text, cp) && a2w_optional(caption, wide_caption, cp))
            pressed = api.MessageBoxW(api.GetForegroundWindow(), wide_text.get(), wide_caption.get(), style);
    }
    push_whole(L, pressed);
    return 1;
}

int get_password(lua_State* L)
{
    HWND owner = nullptr;
    if (!to_hwnd(L, 1, &owner))
        owner = api.GetForegroundWindow();
    const UINT cp = code_page(L);

    // The password lives only in this call's own buffers, wiped however it
    // ends, memory errors included; the pushed string is the one copy left.
    GuardedPush guarded(L);
    bool pushed = false;
    {
        SecretBuffer<wchar_t, password_capacity> typed;
        const INT_PTR result = ::DialogBoxParamW(module_instance, MAKEINTRESOURCEW(password_dialog_id), owner,
                                                 password_dialog_proc, reinterpret_cast<LPARAM>(typed.data));
        // The dialog reads at most 259 units and may cut a character in half.
        const int length = static_cast<int>(whole_units(typed.data, wcsnlen(typed.data, password_capacity - 1)));
        // No code page needs more than three bytes for one unit.
        SecretBuffer<char, password_capacity * 3> text;
        const int bytes = result == IDOK && length
                              ? ::WideCharToMultiByte(cp, 0, typed.data, length, text.data, sizeof text.data, nullptr,
                                                      nullptr)
                              : 0;
        if (bytes > 0)
            pushed = guarded([&](lua_State* L) { lua_pushlstring(L, text.data, static_cast<size_t>(bytes)); });
    }
    guarded.raise_error();
    if (!pushed)
        lua_pushnil(L);
    return 1;
}

} // namespace osbridge
