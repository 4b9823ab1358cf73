// The password dialog's resources as built into osbridge.dll, its placement
// arithmetic, and what the dialog leaves behind once it has ended.
#include "unit.h"

#include "core/functions.h"
#include "core/osbridge.h"
#include "ui/password.h"

#include <cstring>
#include <cwchar>
#include <string>

using namespace osbridge;

namespace {

// osbridge.dll beside this program, loaded for its resources only.
HMODULE load_module_resources()
{
    wchar_t path[MAX_PATH];
    DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    while (n && path[n - 1] != L'\\')
        --n;
    std::wcscpy(path + n, L"osbridge.dll");
    return ::LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
}

struct Resource {
    const unsigned char* data = nullptr;
    DWORD size = 0;
};

Resource find_resource(HMODULE module, const wchar_t* type, int id)
{
    Resource r;
    HRSRC info = ::FindResourceExW(module, type, MAKEINTRESOURCEW(id), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    if (info) {
        r.data = static_cast<const unsigned char*>(::LockResource(::LoadResource(module, info)));
        r.size = ::SizeofResource(module, info);
    }
    return r;
}

// Reads a template field by field, as the dialog manager does.
struct Reader {
    const unsigned char* base;
    size_t at = 0;
    unsigned u16() { unsigned v = base[at] | base[at + 1] << 8; at += 2; return v; }
    unsigned long u32() { unsigned long lo = u16(); return lo | static_cast<unsigned long>(u16()) << 16; }
    std::wstring text()
    {
        std::wstring s;
        for (unsigned c; (c = u16()) != 0;)
            s += static_cast<wchar_t>(c);
        return s;
    }
    void align() { at = (at + 3) & ~size_t(3); }
};

struct Item {
    unsigned long style;
    unsigned x, y, cx, cy, id, class_atom;
    const wchar_t* text;  // null: the resource ordinal below
    unsigned ordinal;
};

const Item expected_items[] = {
    {0x508100A0, 29, 6, 45, 14, 102, 0x81, L"", 0},
    {0x50010001, 3, 25, 30, 14, 1, 0x80, L"OK", 0},
    {0x50010000, 41, 25, 32, 14, 2, 0x80, L"Konec", 0},
    {0x50000003, 3, 2, 20, 20, 0xFFFF, 0x82, nullptr, 103},
};

} // namespace

TEST(ui_password_dialog_template_is_exact)
{
    HMODULE module = load_module_resources();
    ok(module != nullptr, "osbridge.dll not loadable, error %lu", ::GetLastError());
    if (!module)
        return;
    const Resource r = find_resource(module, MAKEINTRESOURCEW(5), 101);
    ok(r.data && r.size == 192, "dialog 101 (1033): %p, %lu bytes", static_cast<const void*>(r.data), r.size);
    if (r.data && r.size == 192) {
        Reader in{r.data};
        const unsigned long style = in.u32(), ex_style = in.u32();
        ok(style == 0x80C000C0 && ex_style == 0, "styles 0x%08lx 0x%08lx", style, ex_style);
        const unsigned count = in.u16(), x = in.u16(), y = in.u16(), cx = in.u16(), cy = in.u16();
        ok(count == 4 && x == 0 && y == 0 && cx == 80 && cy == 45, "items %u at %u,%u size %u,%u", count, x, y, cx, cy);
        const unsigned menu = in.u16(), window_class = in.u16();
        ok(menu == 0 && window_class == 0, "menu %u class %u", menu, window_class);
        ok(in.text() == L"Zadejte heslo", "title");
        const unsigned points = in.u16();
        ok(points == 8 && in.text() == L"System", "font %u", points);
        for (const Item& want : expected_items) {
            in.align();
            const unsigned long item_style = in.u32(), item_ex = in.u32();
            const unsigned ix = in.u16(), iy = in.u16(), icx = in.u16(), icy = in.u16(), id = in.u16();
            ok(item_style == want.style && item_ex == 0, "item %u styles 0x%08lx 0x%08lx", want.id, item_style, item_ex);
            ok(ix == want.x && iy == want.y && icx == want.cx && icy == want.cy && id == want.id,
               "item %u: id %u at %u,%u size %u,%u", want.id, id, ix, iy, icx, icy);
            const unsigned marker = in.u16(), atom = in.u16();
            ok(marker == 0xFFFF && atom == want.class_atom, "item %u class %04x %04x", want.id, marker, atom);
            if (want.text) {
                ok(in.text() == want.text, "item %u text", want.id);
            } else {
                const unsigned text_marker = in.u16(), ordinal = in.u16();
                ok(text_marker == 0xFFFF && ordinal == want.ordinal, "item %u ordinal %04x %u", want.id, text_marker,
                   ordinal);
            }
            const unsigned extra = in.u16();
            ok(extra == 0, "item %u creation data %u", want.id, extra);
        }
        ok(in.at == 192, "template ends at %u", static_cast<unsigned>(in.at));
    }
    ::FreeLibrary(module);
}

TEST(ui_password_icon_group_has_eight_images)
{
    HMODULE module = load_module_resources();
    if (!module)
        return;
    const Resource group = find_resource(module, MAKEINTRESOURCEW(14), 103);
    ok(group.data && group.size == 6 + 8 * 14, "icon group 103: %lu bytes", group.size);
    if (group.data && group.size == 6 + 8 * 14) {
        Reader in{group.data};
        in.u16();
        const unsigned type = in.u16(), count = in.u16();
        ok(type == 1 && count == 8, "group type %u count %u", type, count);
        const unsigned sizes[] = {128, 96, 72, 64, 48, 32, 24, 16};
        const unsigned depths[] = {32, 32, 32, 32, 32, 24, 32, 32};
        for (unsigned i = 0; i < 8; ++i) {
            const unsigned w = group.data[in.at], h = group.data[in.at + 1];
            in.at += 4;
            in.u16();
            const unsigned bits = in.u16();
            const unsigned long bytes = in.u32();
            const unsigned id = in.u16();
            ok((w ? w : 256) == sizes[i] && (h ? h : 256) == sizes[i] && bits == depths[i] && id == i + 1,
               "entry %u: %ux%u at %u bits, id %u", i, w, h, bits, id);
            const Resource image = find_resource(module, MAKEINTRESOURCEW(3), static_cast<int>(id));
            ok(image.data && image.size == bytes, "icon %u: %lu bytes, group says %lu", id, image.size, bytes);
            if (image.data && image.size >= sizeof(BITMAPINFOHEADER)) {
                BITMAPINFOHEADER header;
                std::memcpy(&header, image.data, sizeof header);
                ok(header.biWidth == static_cast<LONG>(sizes[i]) && header.biHeight == static_cast<LONG>(2 * sizes[i]) &&
                       header.biBitCount == depths[i],
                   "icon %u image %ldx%ld at %u bits", id, header.biWidth, header.biHeight, header.biBitCount);
            }
        }
    }
    ::FreeLibrary(module);
}

TEST(ui_password_placement)
{
    const RECT desktop{0, 0, 240, 320}, dialog{50, 60, 170, 160}, panel{0, 240, 240, 320};
    // Above a panel of 80 pixels: (320 - 100 - 80 + 25) / 2.
    PasswordPlacement at = place_password_rects(desktop, dialog, &panel);
    ok(at.dialog.x == 60 && at.dialog.y == 82, "dialog at %ld,%ld", at.dialog.x, at.dialog.y);
    ok(at.panel.x == 0 && at.panel.y == 215, "panel at %ld,%ld", at.panel.x, at.panel.y);
    // No panel: as if it were 0 pixels high, and nothing negative.
    at = place_password_rects(desktop, dialog, nullptr);
    ok(at.dialog.x == 60 && at.dialog.y == 122, "dialog without panel at %ld,%ld", at.dialog.x, at.dialog.y);
    const RECT tall{0, 0, 243, 400};
    at = place_password_rects(desktop, tall, &panel);
    ok(at.dialog.y == 0, "tall dialog at y %ld", at.dialog.y);
    // A wider dialog than the desktop truncates toward zero: -3 / 2 is -1.
    ok(at.dialog.x == -1, "wide dialog at x %ld", at.dialog.x);
}

namespace {

DWORD WINAPI answer_dialog(void* typed)
{
    HWND dialog = nullptr;
    for (int tries = 0; tries < 200 && !(dialog && ::IsWindowVisible(dialog)); ++tries) {
        ::Sleep(50);
        dialog = ::FindWindowW(L"#32770", L"Zadejte heslo");
    }
    if (!dialog)
        return 0;
    HWND edit = ::GetDlgItem(dialog, password_edit_id);
    for (const wchar_t* c = static_cast<const wchar_t*>(typed); *c; ++c)
        ::SendMessageW(edit, WM_CHAR, *c, 1);
    ::PostMessageW(::GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    return 0;
}

bool buffer_is_blank()
{
    for (wchar_t c : password_buffer)
        if (c)
            return false;
    return true;
}

} // namespace

TEST(ui_password_leaves_nothing_behind)
{
    HMODULE module = load_module_resources();
    if (!module)
        return;
    const HINSTANCE saved = module_instance;
    module_instance = module;
    resolve_bindings(system_loader());

    HANDLE thread = ::CreateThread(nullptr, 0, answer_dialog, const_cast<wchar_t*>(L"hunter2"), 0, nullptr);
    lua_State* L = luaL_newstate();
    lua_pushcfunction(L, get_password);
    lua_call(L, 0, 1);
    const char* text = lua_tostring(L, -1);
    ok(text && std::strcmp(text, "hunter2") == 0, "OK gave \"%s\"", text ? text : "(nil)");
    ok(buffer_is_blank(), "password buffer still holds \"%ls\"", password_buffer);
    lua_close(L);
    ::WaitForSingleObject(thread, 10000);
    ::CloseHandle(thread);

    module_instance = saved;
    ::FreeLibrary(module);
}

TEST(ui_password_subclass_undone_once)
{
    HMODULE module = load_module_resources();
    if (!module)
        return;
    resolve_bindings(system_loader());
    HWND dialog = ::CreateDialogParamW(module, MAKEINTRESOURCEW(password_dialog_id), nullptr, password_dialog_proc, 0);
    ok(dialog != nullptr, "dialog not created, error %lu", ::GetLastError());
    if (dialog) {
        HWND edit = ::GetDlgItem(dialog, password_edit_id);
        const LONG_PTR class_proc = ::GetClassLongPtrW(edit, GCLP_WNDPROC);
        ok(::GetPropW(edit, L"PREVWNDPROC") && ::GetWindowLongPtrW(edit, GWLP_WNDPROC) != class_proc,
           "edit field not subclassed");
        // A second close finds nothing to undo and must leave the field working.
        ::SendMessageW(dialog, WM_CLOSE, 0, 0);
        ::SendMessageW(dialog, WM_CLOSE, 0, 0);
        ok(!::GetPropW(edit, L"PREVWNDPROC"), "property left on the edit field");
        ok(::GetWindowLongPtrW(edit, GWLP_WNDPROC) == class_proc, "edit procedure not restored");
        ::SetWindowTextW(edit, L"still works");
        wchar_t text[32] = L"";
        ::GetWindowTextW(edit, text, 32);
        ok(std::wcscmp(text, L"still works") == 0, "edit field after two closes: \"%ls\"", text);
        ::DestroyWindow(dialog);
    }
    ::FreeLibrary(module);
}
