// Text on the system clipboard, as ANSI text or, on request, as UTF-16.
#include "core/functions.h"
#include "core/guarded.h"
#include "core/osbridge.h"

#include <cstring>
#include <cwchar>

namespace osbridge {

namespace {

// A clipboard-ready block of `size` bytes: zero-filled, the first `count`
// bytes copied from `data`. Empty when it cannot be allocated or locked.
unique_hglobal filled_block(const void* data, size_t count, size_t size)
{
    unique_hglobal block(::GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, size));
    if (!block)
        return block;
    const global_lock lock(block.get());
    if (!lock)
        return unique_hglobal();
    std::memset(lock.get(), 0, size);
    std::memcpy(lock.get(), data, count);
    return block;
}

// The format to read text in: UTF-16, converted here with the process's code
// page, unless the text was put there as ANSI. The system derives each from
// the other with the code page of the clipboard's locale, which need not be
// the process's, so the form that was set is the faithful one. Formats are
// listed in the order they were set, derived ones after them.
UINT text_format()
{
    for (UINT format = ::EnumClipboardFormats(0); format; format = ::EnumClipboardFormats(format)) {
        if (format == CF_UNICODETEXT || format == CF_TEXT)
            return format;
    }
    return CF_TEXT;
}

} // namespace

int clipboard_get(lua_State* L)
{
    HWND window = nullptr;
    if (!to_hwnd(L, 1, &window))
        window = api.GetForegroundWindow();

    // Pushed straight from the clipboard's block, while it is open and locked.
    GuardedPush guarded(L);
    bool pushed = false;
    {
        const clipboard_session clipboard(window);
        const UINT format = clipboard ? text_format() : CF_TEXT;
        const HANDLE data = clipboard ? ::GetClipboardData(format) : nullptr;
        const global_lock lock(data);
        const SIZE_T size = lock ? ::GlobalSize(data) : 0;
        if (size && format == CF_UNICODETEXT) {
            pushed = guarded([&](lua_State* L) {
                push_w2a(L, static_cast<const wchar_t*>(lock.get()), size / sizeof(wchar_t));
            });
        } else if (size) {
            // As C text: a block with an embedded NUL ends there.
            pushed = guarded([&](lua_State* L) {
                const char* text = static_cast<const char*>(lock.get());
                lua_pushlstring(L, text, strnlen(text, size));
            });
        }
    }
    guarded.raise_error();
    if (!pushed)
        lua_pushnil(L);
    return 1;
}

int clipboard_set(lua_State* L)
{
    HWND owner = nullptr;
    to_hwnd(L, 1, &owner);
    const char* text = nullptr;
    size_t length = 0;
    if (lua_isstring(L, 1))
        text = lua_tolstring(L, 1, &length);
    if (lua_isstring(L, 2))
        text = lua_tolstring(L, 2, &length);
    // Any boolean asks for UTF-16; its value is not consulted.
    const bool unicode = lua_type(L, 2) == LUA_TBOOLEAN || lua_type(L, 3) == LUA_TBOOLEAN;
    if (length == 0) {
        lua_pushboolean(L, 0);
        return 1;
    }

    bool stored = false;
    {
        const clipboard_session clipboard(owner);
        if (clipboard) {
            ::EmptyClipboard();
            unique_hglobal block;
            if (!unicode) {
                // Stored whole, embedded NUL bytes included.
                block = filled_block(text, length, length + 1);
            } else if (const WideText wide = a2w(text)) {
                // Only the text before the first NUL byte converts.
                block = filled_block(wide.get(), std::wcslen(wide.get()) * sizeof(wchar_t), length * 2 + 2);
            }
            // Once accepted the block is the system's; otherwise it is freed here.
            if (block && ::SetClipboardData(unicode ? CF_UNICODETEXT : CF_TEXT, block.get())) {
                block.release();
                stored = true;
            }
        }
    }
    lua_pushboolean(L, stored);
    return 1;
}

} // namespace osbridge
