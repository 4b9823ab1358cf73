// Waits that keep the calling thread's windows answering.
#include "core/wait.h"
#include "core/osbridge.h"

#include <algorithm>

namespace osbridge {

Deadline::Deadline(int64_t timeout_ms) noexcept
    : end_(::GetTickCount64() + static_cast<uint64_t>(std::max<int64_t>(timeout_ms, 0))), unlimited_(timeout_ms < 0)
{
    if (end_ < static_cast<uint64_t>(timeout_ms))  // beyond the tick count's range: no end either
        unlimited_ = true;
}

DWORD Deadline::left() const noexcept
{
    if (unlimited_)
        return INFINITE;
    const uint64_t now = ::GetTickCount64();
    // INFINITE itself would mean no end: longer waits go in slices.
    return now >= end_ ? 0 : static_cast<DWORD>(std::min<uint64_t>(end_ - now, INFINITE - 1));
}

int64_t opt_timeout(lua_State* L, int index)
{
    if (lua_isnoneornil(L, index))
        return -1;
    return std::max<int64_t>(opt_choice(L, index, 0), 0);
}

namespace {

// Handles the messages waiting for this thread. False once WM_QUIT came: it
// is for the thread's own loop, which gets it again when the wait is over.
bool pump_messages(WPARAM& quit_code)
{
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            quit_code = message.wParam;
            return false;
        }
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return true;
}

DWORD wait_plain(HANDLE object, DWORD milliseconds)
{
    if (object)
        return ::WaitForSingleObject(object, milliseconds);
    ::Sleep(milliseconds);
    return WAIT_TIMEOUT;
}

} // namespace

DWORD wait_answering(HANDLE object, DWORD milliseconds)
{
    // A thread without a message queue has no windows, and gets no queue.
    if (!::IsGUIThread(FALSE))
        return wait_plain(object, milliseconds);
    const Deadline deadline(milliseconds == INFINITE ? -1 : static_cast<int64_t>(milliseconds));
    const DWORD count = object ? 1 : 0;
    WPARAM quit_code = 0;
    bool answering = true;
    DWORD result = WAIT_TIMEOUT;
    for (;;) {
        const DWORD left = deadline.left();
        if (!answering) {
            result = wait_plain(object, left);
            break;
        }
        result = ::MsgWaitForMultipleObjectsEx(count, &object, left, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (result != WAIT_OBJECT_0 + count)
            break;
        answering = pump_messages(quit_code);
        if (object && ::WaitForSingleObject(object, 0) == WAIT_OBJECT_0) {
            result = WAIT_OBJECT_0;
            break;
        }
        if (left == 0) {
            result = WAIT_TIMEOUT;
            break;
        }
    }
    if (!answering) {
        const DWORD error = ::GetLastError();
        ::PostQuitMessage(static_cast<int>(quit_code));
        ::SetLastError(error);
    }
    return result;
}

} // namespace osbridge
