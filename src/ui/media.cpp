// Sound files and bitmap files named by path.
#include "core/functions.h"
#include "core/handles_extra.h"
#include "core/osbridge.h"

namespace osbridge {

OSBRIDGE_I686_SIZE(BITMAP, 24);

int play_sound(lua_State* L)
{
    const char* path = luaL_checklstring(L, 1, nullptr);
    // An empty path neither plays nor stops anything, whatever the flags.
    if (!*path) {
        lua_pushboolean(L, 0);
        return 1;
    }
    const DWORD flags = opt_u32(L, 2, SND_FILENAME | SND_ASYNC) | SND_FILENAME;
    const UINT cp = code_page(L);

    BOOL played = FALSE;
    if (const Winmm* sound = late::winmm.get())
        if (const WideText wide = a2w(path, cp))
            played = sound->PlaySoundW(wide.get(), nullptr, flags);
    lua_pushboolean(L, played);
    return 1;
}

int bitmap_info(lua_State* L)
{
    const char* path = luaL_checklstring(L, 1, nullptr);
    const UINT cp = code_page(L);

    const char* failure = nullptr;
    BITMAP info{};
    {
        const WideText wide = a2w(path, cp);
        // GDI's library reads and frees the bitmap: without it none is loaded.
        const Gdi32* gdi = wide ? late::gdi32.get() : nullptr;
        if (!wide) {
            failure = "a2w() error";
        } else if (!gdi) {
            failure = "unable to load bitmap";
        } else {
            const unique_hgdiobj bitmap(::LoadImageW(nullptr, wide.get(), IMAGE_BITMAP, 0, 0,
                                                     LR_LOADFROMFILE | LR_DEFAULTSIZE | LR_CREATEDIBSECTION));
            if (!bitmap)
                failure = "unable to load bitmap";
            else
                gdi->GetObjectW(bitmap.get(), sizeof info, &info);
        }
    }
    if (failure) {
        lua_pushnil(L);
        lua_pushstring(L, failure);
        return 2;
    }
    lua_createtable(L, 0, 3);
    push_whole(L, info.bmBitsPixel);
    lua_setfield(L, -2, "bits_pixel");
    push_whole(L, info.bmHeight);
    lua_setfield(L, -2, "height");
    push_whole(L, info.bmWidth);
    lua_setfield(L, -2, "width");
    return 1;
}

} // namespace osbridge
