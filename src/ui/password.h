// The password dialog behind get_password: its resource identifiers, the
// buffers the typed text goes through, and its placement arithmetic.
#pragma once

#include <windows.h>

namespace osbridge {

constexpr int password_dialog_id = 101;
constexpr int password_edit_id = 102;
constexpr int password_icon_id = 103;
constexpr size_t password_capacity = 260;

// A buffer for a secret on the stack of the call that reads it, wiped when it
// goes out of scope, on every path out.
template <typename T, size_t N>
struct SecretBuffer {
    T data[N] = {};
    SecretBuffer() = default;
    SecretBuffer(const SecretBuffer&) = delete;
    SecretBuffer& operator=(const SecretBuffer&) = delete;
    ~SecretBuffer() { ::SecureZeroMemory(data, sizeof data); }
};

// The dialog's initial parameter is the caller's buffer of password_capacity
// units, which "OK" fills; each dialog writes only its own.
INT_PTR CALLBACK password_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

struct PasswordPlacement {
    POINT dialog;  // top-left corner of the dialog
    POINT panel;   // top-left corner of the input panel, when there is one
};

// Where the dialog and the input panel go on a desktop. Without a panel
// (desktop Windows) the dialog is placed as if the panel were 0 pixels high.
PasswordPlacement place_password_rects(const RECT& desktop, const RECT& dialog, const RECT* panel) noexcept;

} // namespace osbridge
