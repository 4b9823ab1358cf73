// The password dialog: a masked edit field with a hidden Ctrl+Esc box,
// placed above the input panel of handheld devices.
#include "ui/password.h"

#include "core/osbridge.h"

namespace osbridge {

namespace {

const wchar_t previous_proc_property[] = L"PREVWNDPROC";

// A window procedure does not fit in the 32 bits of SetWindowLongW on 64-bit
// Windows; there the pointer-sized form is the only safe one.
WNDPROC swap_window_proc(HWND window, WNDPROC proc)
{
#ifdef _WIN64
    return reinterpret_cast<WNDPROC>(::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc)));
#else
    return reinterpret_cast<WNDPROC>(api.SetWindowLongW(window, GWL_WNDPROC, reinterpret_cast<LONG>(proc)));
#endif
}

LRESULT CALLBACK password_edit_proc(HWND edit, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_KEYUP && LOBYTE(wparam) == VK_ESCAPE && api.GetAsyncKeyState(VK_CONTROL) < 0) {
        api.MessageBoxW(nullptr, L"Po\u010d\u00edta\u010d v\u00e1m u\u0161et\u0159\u00ed spoustu pr\u00e1ce, "
                                 L"kterou byste bez n\u011bj v\u016fbec nem\u011bli.",
                        L"Tervalovy z\u00e1kony", MB_OK);
        return 1;
    }
    const auto previous = reinterpret_cast<WNDPROC>(::GetPropW(edit, previous_proc_property));
    return ::CallWindowProcW(previous, edit, message, wparam, lparam);
}

int height(const RECT& r) noexcept { return r.bottom - r.top; }
int width(const RECT& r) noexcept { return r.right - r.left; }

void place_password_dialog(HWND dialog)
{
    const HWND panel = api.FindWindowW(L"SipWndClass", nullptr);
    RECT desktop{}, box{}, panel_rect{};
    api.GetWindowRect(::GetDesktopWindow(), &desktop);
    api.GetWindowRect(dialog, &box);
    const bool have_panel = panel && api.GetWindowRect(panel, &panel_rect);
    const PasswordPlacement at = place_password_rects(desktop, box, have_panel ? &panel_rect : nullptr);
    ::MoveWindow(dialog, at.dialog.x, at.dialog.y, width(box), height(box), FALSE);
    if (have_panel)
        ::MoveWindow(panel, at.panel.x, at.panel.y, width(panel_rect), height(panel_rect), FALSE);
}

// The edit control keeps the typed text in its own buffer until the dialog
// is gone; overwriting it in place with as many blanks leaves no copy there.
void wipe_edit(HWND edit)
{
    const int length = ::GetWindowTextLengthW(edit);
    if (length > 0) {
        if (WideText blanks = calloc_array<wchar_t>(static_cast<size_t>(length) + 1)) {
            wmemset(blanks.get(), L' ', static_cast<size_t>(length));
            ::SetWindowTextW(edit, blanks.get());
        }
    }
    ::SetWindowTextW(edit, L"");
    ::SendMessageW(edit, EM_EMPTYUNDOBUFFER, 0, 0);
}

} // namespace

PasswordPlacement place_password_rects(const RECT& desktop, const RECT& dialog, const RECT* panel) noexcept
{
    const int panel_height = panel ? height(*panel) : 0;
    PasswordPlacement at{};
    at.dialog.x = (width(desktop) - width(dialog)) / 2;
    at.dialog.y = (height(desktop) - height(dialog) - panel_height + 25) / 2;
    if (at.dialog.y < 0)
        at.dialog.y = 0;
    at.panel.x = 0;
    at.panel.y = desktop.bottom - panel_height - 25;
    return at;
}

INT_PTR CALLBACK password_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam)
{
    const HWND edit = ::GetDlgItem(dialog, password_edit_id);
    switch (message) {
    case WM_INITDIALOG:
        ::SetWindowLongPtrW(dialog, GWLP_USERDATA, lparam);
        ::SetPropW(edit, previous_proc_property, reinterpret_cast<HANDLE>(swap_window_proc(edit, password_edit_proc)));
        place_password_dialog(dialog);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wparam)) {
        case IDOK:
            if (const auto typed = reinterpret_cast<wchar_t*>(::GetWindowLongPtrW(dialog, GWLP_USERDATA)))
                ::GetDlgItemTextW(dialog, password_edit_id, typed, static_cast<int>(password_capacity));
            wipe_edit(edit);
            ::EndDialog(dialog, IDOK);
            break;
        case IDCANCEL:
            wipe_edit(edit);
            ::EndDialog(dialog, IDCANCEL);
            break;
        }
        return FALSE;
    case WM_CLOSE:
        // A second close finds the property gone and must not install a null procedure.
        if (const auto previous = reinterpret_cast<WNDPROC>(::RemovePropW(edit, previous_proc_property)))
            swap_window_proc(edit, previous);
        return FALSE;
    default:
        return FALSE;
    }
}

} // namespace osbridge
