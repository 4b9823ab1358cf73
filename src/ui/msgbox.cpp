// Message boxes and the password prompt.
#include "core/functions.h"
#include "core/osbridge.h"
#include "ui/password.h"

#include <cstring>
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
    const UINT style = top >= 3 ? static_cast<UINT>(lua_tointeger(L, -1)) : MB_ICONINFORMATION;

    int pressed;
    {
        const WideText wide_text = a2w(text);
        const WideText wide_caption = a2w(caption);
        const HWND owner = api.GetForegroundWindow();
        pressed = api.MessageBoxW(owner, wide_text.get(), wide_caption.get(), style);
    }
    lua_pushinteger(L, pressed);
    return 1;
}

int get_password(lua_State* L)
{
    HWND owner = nullptr;
    if (!to_hwnd(L, 1, &owner))
        owner = api.GetForegroundWindow();

    const INT_PTR result = ::DialogBoxParamW(module_instance, MAKEINTRESOURCEW(password_dialog_id), owner,
                                             password_dialog_proc, 0);
    AnsiText text;
    if (result == IDOK) {
        // The dialog reads at most 259 units and may cut a character in half.
        const size_t length = whole_units(password_buffer, std::wcslen(password_buffer));
        if (length)
            text = w2a(password_buffer, length);
    }
    // The password must not outlive the call anywhere in the module.
    ::SecureZeroMemory(password_buffer, sizeof password_buffer);
    push_text_or_nil(L, text.get());
    if (text)
        ::SecureZeroMemory(text.get(), std::strlen(text.get()));
    return 1;
}

} // namespace osbridge
