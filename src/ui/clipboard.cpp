// Text on the system clipboard, as ANSI text or, on request, as UTF-16.
#include "core/functions.h"
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

} // namespace

int clipboard_get(lua_State* L)
{
    HWND window = nullptr;
    if (!to_hwnd(L, 1, &window))
        window = api.GetForegroundWindow();

    AnsiText copy;
    {
        const clipboard_session clipboard(window);
        const HANDLE data = clipboard ? ::GetClipboardData(CF_TEXT) : nullptr;
        if (data) {
            const global_lock lock(data);
            const SIZE_T size = lock ? ::GlobalSize(data) : 0;
            if (size && (copy = calloc_array<char>(size + 1)))
                std::memcpy(copy.get(), lock.get(), size);
        }
    }
    // Pushed as C text: a block with an embedded NUL ends there.
    return push_text_or_nil(L, copy.get());
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
