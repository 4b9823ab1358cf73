// Text on the system clipboard, as ANSI text or, on request or in a code page
// of the script's choice, as UTF-16.
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

// The format to read text in for the ANSI code page: UTF-16, converted here
// with the process's code page, unless the text was put there as ANSI. The
// system derives each from the other with the code page of the clipboard's
// locale, which need not be the process's, so the form that was set is the
// faithful one. Formats are listed in the order they were set, derived ones
// after them. In a code page of the script's choice only UTF-16 holds every
// character.
UINT text_format(UINT code_page)
{
    if (code_page != CP_ACP)
        return CF_UNICODETEXT;
    for (UINT format = ::EnumClipboardFormats(0); format; format = ::EnumClipboardFormats(format)) {
        if (format == CF_UNICODETEXT || format == CF_TEXT)
            return format;
    }
    return CF_TEXT;
}

// The clipboard's text, copied out in the format it was read in. Empty when
// there is none, or no memory for the copy.
struct ClipboardText {
    unique_malloc<char[]> data; // zero-terminated in either format
    size_t size = 0;            // in bytes, terminator not included
    bool unicode = false;
};

ClipboardText copy_text(HWND window, UINT code_page)
{
    ClipboardText copy;
    const clipboard_session clipboard(window);
    if (!clipboard)
        return copy;
    const UINT format = text_format(code_page);
    const HANDLE data = ::GetClipboardData(format);
    const global_lock lock(data);
    const SIZE_T size = lock ? ::GlobalSize(data) : 0;
    if (!size)
        return copy;
    // As C text: a block with an embedded terminator ends there.
    copy.unicode = format == CF_UNICODETEXT;
    copy.size = copy.unicode
                    ? wcsnlen(static_cast<const wchar_t*>(lock.get()), size / sizeof(wchar_t)) * sizeof(wchar_t)
                    : strnlen(static_cast<const char*>(lock.get()), size);
    copy.data = calloc_array<char>(copy.size + sizeof(wchar_t));
    if (copy.data)
        std::memcpy(copy.data.get(), lock.get(), copy.size);
    return copy;
}

} // namespace

int clipboard_get(lua_State* L)
{
    HWND window = nullptr;
    if (!to_hwnd(L, 1, &window))
        window = api.GetForegroundWindow();
    const UINT cp = code_page(L);

    // Pushing can run script code (a hook, a finalizer) that changes the
    // clipboard, so the text is copied out and the clipboard closed first.
    GuardedPush guarded(L);
    bool pushed = false;
    {
        const ClipboardText text = copy_text(window, cp);
        if (text.data) {
            pushed = guarded([&](lua_State* L) {
                if (text.unicode)
                    push_w2a(L, reinterpret_cast<const wchar_t*>(text.data.get()), text.size / sizeof(wchar_t), cp);
                else
                    lua_pushlstring(L, text.data.get(), text.size);
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
    // Any boolean asks for UTF-16; its value is not consulted. A code page of
    // the script's choice always takes it.
    const UINT cp = code_page(L);
    const bool unicode = cp != CP_ACP || lua_type(L, 2) == LUA_TBOOLEAN || lua_type(L, 3) == LUA_TBOOLEAN;
    if (length == 0) {
        lua_pushboolean(L, 0);
        return 1;
    }

    bool stored = false;
    {
        // Only the text before the first NUL byte converts. A text that is
        // not in the code page the script chose leaves the clipboard alone.
        const WideText wide = unicode ? a2w(text, cp) : nullptr;
        const clipboard_session clipboard(owner);
        if (clipboard && (wide || cp == CP_ACP)) {
            ::EmptyClipboard();
            unique_hglobal block;
            if (!unicode) {
                // Stored whole, embedded NUL bytes included.
                block = filled_block(text, length, length + 1);
            } else if (wide) {
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
