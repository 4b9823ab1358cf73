// The password dialog's resources as built into osbridge.dll, its placement
// arithmetic, and what the dialog leaves behind once it has ended.
#include "unit.h"
#include "dialog_answer.h"
#include "dialog_settle.h"

#include "core/functions.h"
#include "core/osbridge.h"
#include "ui/password.h"
#include "memory_limit.h"

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

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

// Types "hunter2" into a password dialog and presses OK (see dialog_answer.h).
void type_and_press_ok(HWND dialog, void*)
{
    HWND edit = ::GetDlgItem(dialog, password_edit_id);
    for (const wchar_t* c = L"hunter2"; *c; ++c)
        ::PostMessageW(edit, WM_CHAR, *c, 1);
    ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
}

// Whether the text, in ANSI or UTF-16, is still on this thread's stack below
// the caller's frame, where the frames of finished calls were.
__attribute__((noinline)) bool left_on_stack(const char* secret)
{
    const size_t n = std::strlen(secret);
    std::vector<char> ansi(secret, secret + n), wide(2 * n);
    for (size_t i = 0; i < n; ++i)
        wide[2 * i] = secret[i];
    // The committed pages of the stack that hold this frame, from their lowest.
    const auto* high = static_cast<const char*>(__builtin_frame_address(0));
    MEMORY_BASIC_INFORMATION pages{};
    ::VirtualQuery(high, &pages, sizeof pages);
    const auto* low = static_cast<const char*>(pages.BaseAddress);
    for (const char* at = low; at + wide.size() <= high; ++at) {
        if (std::memcmp(at, ansi.data(), n) == 0 || std::memcmp(at, wide.data(), wide.size()) == 0)
            return true;
    }
    return false;
}

// osbridge.dll's resources as the module's own for the time of a test, which
// runs get_password as the library would.
struct ModuleResources {
    HMODULE module = load_module_resources();
    HINSTANCE saved = module_instance;
    ModuleResources()
    {
        module_instance = module;
        resolve_bindings(system_loader());
    }
    ~ModuleResources()
    {
        module_instance = saved;
        if (module)
            ::FreeLibrary(module);
    }
};

} // namespace

TEST(ui_password_leaves_nothing_behind)
{
    const ModuleResources resources;
    if (!resources.module)
        return;

    const DialogAnswerer answerer(type_and_press_ok, nullptr);
    lua_State* L = luaL_newstate();
    lua_pushcfunction(L, get_password);
    lua_call(L, 0, 1);
    const char* text = lua_tostring(L, -1);
    ok(text && std::strcmp(text, "hunter2") == 0, "OK gave \"%s\"", text ? text : "(nil)");
    ok(!left_on_stack("hunter2"), "the password is left on the stack");
    lua_close(L);
}

TEST(ui_password_memory_errors_leave_nothing_behind)
{
    const ModuleResources resources;
    if (!resources.module)
        return;
    const DialogAnswerer answerer(type_and_press_ok, nullptr);
    const memory_limit::Sweep run = memory_limit::sweep("osbridge.get_password()", [&] {
        ok(!left_on_stack("hunter2"), "the password is left on the stack");
    });
    ok(run.other_errors == 0 && run.budgets > 1, "%ld other errors in %ld runs", run.other_errors, run.budgets);
    ok(run.grown == 0, "%ld heap blocks left after %ld runs", run.grown, run.budgets);
}

namespace {

// Long enough for the slowest machine: a wait that runs out is a failure.
constexpr DWORD patience_ms = 120000;

HANDLE text_read, let_go;
WNDPROC held_proc;

// Holds the dialog's thread once "OK" has read the field, so that another
// dialog can end meanwhile.
LRESULT CALLBACK hold_after_read(HWND edit, UINT message, WPARAM wparam, LPARAM lparam)
{
    const LRESULT result = ::CallWindowProcW(held_proc, edit, message, wparam, lparam);
    if (message == WM_GETTEXT && ::SetEvent(text_read))
        ::WaitForSingleObject(let_go, patience_ms);
    return result;
}

// Whether the dialog has settled (see dialog_settle.h); a failure if not.
bool settled(HWND dialog)
{
    const char* trouble = dialog_settle(dialog, patience_ms);
    ok(!trouble, "the dialog %p %s in %lu s", static_cast<void*>(dialog), trouble, patience_ms / 1000);
    return !trouble;
}

struct Asker {
    HANDLE thread = nullptr;
    DWORD id = 0;
    std::string answer = "(nil)";
    bool returned = false;

    static DWORD WINAPI run(void* param)
    {
        auto& self = *static_cast<Asker*>(param);
        lua_State* L = luaL_newstate();
        lua_pushcfunction(L, get_password);
        lua_pushlightuserdata(L, nullptr);  // no owner: the two dialogs stay apart
        if (lua_pcall(L, 1, 1, 0) == 0 && lua_isstring(L, -1))
            self.answer = lua_tostring(L, -1);
        lua_close(L);
        return 0;
    }
    void start() { thread = ::CreateThread(nullptr, 0, run, this, 0, &id); }
    // Whether the call has returned, waiting for it; a thread still in it keeps its handle.
    bool ended()
    {
        if (!returned && ::WaitForSingleObject(thread, patience_ms) == WAIT_OBJECT_0) {
            ::CloseHandle(thread);
            returned = true;
        }
        return returned;
    }
    static BOOL CALLBACK match_dialog(HWND window, LPARAM out)
    {
        wchar_t title[32] = L"";
        ::GetWindowTextW(window, title, 32);
        if (std::wcscmp(title, L"Zadejte heslo") == 0 && ::IsWindowVisible(window))
            *reinterpret_cast<HWND*>(out) = window;
        return TRUE;
    }
    // The call's dialog once it shows and has settled (see dialog_settle.h).
    HWND settled_dialog() const
    {
        HWND found = nullptr;
        for (const DWORD start = ::GetTickCount(); !found && ::GetTickCount() - start < patience_ms; ::Sleep(20))
            ::EnumThreadWindows(id, match_dialog, reinterpret_cast<LPARAM>(&found));
        return found && settled(found) ? found : nullptr;
    }
};

} // namespace

TEST(ui_password_each_dialog_its_own)
{
    const ModuleResources resources;
    if (!resources.module)
        return;
    text_read = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    let_go = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);

    // Both dialogs are open at once, but only one lays out text at a time
    // (see dialog_settle.h): each comes up, and takes its text, once the
    // other has settled; the held one does nothing while the other ends.
    // Static: a thread that outlives a failed test still has its record.
    static Asker first, second;
    first.start();
    const HWND one = first.settled_dialog();
    second.start();
    const HWND two = second.settled_dialog();
    ok(one && two, "dialogs %p and %p", static_cast<void*>(one), static_cast<void*>(two));
    if (one && two) {
        ::SetDlgItemTextW(one, password_edit_id, L"first one");
        settled(one);
        ::SetDlgItemTextW(two, password_edit_id, L"second one");
        settled(two);
        // The second dialog reads its text, then waits while the first one ends.
        HWND edit = ::GetDlgItem(two, password_edit_id);
        held_proc = reinterpret_cast<WNDPROC>(
            ::SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(hold_after_read)));
        ::PostMessageW(two, WM_COMMAND, IDOK, 0);
        ok(::WaitForSingleObject(text_read, patience_ms) == WAIT_OBJECT_0, "second dialog never read its text");
        ::PostMessageW(one, WM_COMMAND, IDOK, 0);
        ok(first.ended(), "the first call did not return while the second dialog was held");
    } else {
        for (HWND dialog : {one, two})
            if (dialog)
                ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    }
    ::SetEvent(let_go);
    const bool both_ended = first.ended() && second.ended();
    ok(both_ended, "a call did not return in %lu s", patience_ms / 1000);
    if (both_ended)
        ok(first.answer == "first one" && second.answer == "second one", "first got \"%s\", second \"%s\"",
           first.answer.c_str(), second.answer.c_str());
    ::CloseHandle(text_read);
    ::CloseHandle(let_go);
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
