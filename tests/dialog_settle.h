/* Wine 8's text layout (uniscribe) shares one cache per font between the
 * threads of a process and fills it without a lock: two threads that lay out
 * or draw text at the same moment corrupt it, and a thread then faults or
 * waits for ever on a lock that the faulting one held (a plain program with
 * two edit fields in two threads and none of the module does the same).
 * Showing, typing, painting and OK's wipe of a dialog all lay out text. So
 * tests that keep dialogs open in two threads touch one dialog at a time and
 * let it settle before they touch the other:
 *
 *   const char* trouble = dialog_settle(dialog, patience_ms);
 *
 * has the dialog's thread paint what it must now and waits until that thread
 * is back in its message loop; NULL then, else what it did not do in time.
 * It never waits longer than patience: a painting from here (RDW_UPDATENOW)
 * would wait for ever on a thread that hangs. */
#pragma once

#include <windows.h>

static BOOL CALLBACK dialog_settle_find_update(HWND window, LPARAM found)
{
    *(int*)found |= GetUpdateRect(window, NULL, FALSE);
    return !*(int*)found;
}

static const char* dialog_settle(HWND dialog, DWORD patience_ms)
{
    RedrawWindow(dialog, NULL, NULL, RDW_INVALIDATE | RDW_ALLCHILDREN);
    int pending = 1;
    for (const DWORD start = GetTickCount(); pending && GetTickCount() - start < patience_ms; Sleep(5)) {
        pending = GetUpdateRect(dialog, NULL, FALSE);
        EnumChildWindows(dialog, dialog_settle_find_update, (LPARAM)&pending);
    }
    if (pending)
        return "did not paint";
    return SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_NORMAL, patience_ms, NULL) ? NULL : "did not answer";
}
