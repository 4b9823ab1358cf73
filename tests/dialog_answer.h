/* Answers the dialogs that the calling thread shows, each as soon as it is
 * set up (its WM_INITDIALOG handled), from the thread's own message handling:
 * nothing waits for a dialog to show, so nothing gives up on one that shows
 * late. `answer` gets every dialog the thread creates while the hook is set,
 * and answers by posting: its messages are handled once the dialog runs.
 *
 *   HHOOK hook = answer_dialogs(answer, context);
 *   ... the calls that show dialogs ...
 *   UnhookWindowsHookEx(hook);          (C++: DialogAnswerer, which does both) */
#pragma once

#include <windows.h>

typedef void (*dialog_answer)(HWND dialog, void* context);

static dialog_answer dialog_answer_function;
static void* dialog_answer_context;

static LRESULT CALLBACK dialog_answer_hook(int code, WPARAM wparam, LPARAM lparam)
{
    const CWPRETSTRUCT* message = (const CWPRETSTRUCT*)lparam;
    if (code == HC_ACTION && message->message == WM_INITDIALOG)
        dialog_answer_function(message->hwnd, dialog_answer_context);
    return CallNextHookEx(NULL, code, wparam, lparam);
}

static HHOOK answer_dialogs(dialog_answer answer, void* context)
{
    dialog_answer_function = answer;
    dialog_answer_context = context;
    return SetWindowsHookExW(WH_CALLWNDPROCRET, dialog_answer_hook, NULL, GetCurrentThreadId());
}

#ifdef __cplusplus
struct DialogAnswerer {
    HHOOK hook;
    DialogAnswerer(dialog_answer answer, void* context) : hook(answer_dialogs(answer, context)) {}
    ~DialogAnswerer() { ::UnhookWindowsHookEx(hook); }
    DialogAnswerer(const DialogAnswerer&) = delete;
    DialogAnswerer& operator=(const DialogAnswerer&) = delete;
};
#endif
