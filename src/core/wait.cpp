// Waits that keep the calling thread's windows answering.
#include "core/wait.h"
#include "core/osbridge.h"

#include <algorithm>

namespace osbridge {

namespace {

uint64_t counter() noexcept
{
    LARGE_INTEGER count;
    ::QueryPerformanceCounter(&count);
    return static_cast<uint64_t>(count.QuadPart);
}

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

Deadline::Deadline(int64_t timeout_ms) noexcept : unlimited_(timeout_ms < 0)
{
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    frequency_ = static_cast<uint64_t>(frequency.QuadPart);
    const uint64_t now = counter();
    const uint64_t ms = static_cast<uint64_t>(std::max<int64_t>(timeout_ms, 0));
    // A wait beyond the counter's range (some 29,000 years at 10 MHz) has no end either.
    if (ms / 1000 >= (UINT64_MAX - now) / frequency_ / 2)
        unlimited_ = true;
    else
        end_ = now + ms / 1000 * frequency_ + (ms % 1000 * frequency_ + 999) / 1000;
}

DWORD Deadline::left() const noexcept
{
    if (unlimited_)
        return INFINITE;
    const uint64_t now = counter();
    if (now >= end_)
        return 0;
    const uint64_t counts = end_ - now;
    const uint64_t ms = counts / frequency_ * 1000 + (counts % frequency_ * 1000 + frequency_ - 1) / frequency_;
    // INFINITE itself would mean no end: longer waits go in slices.
    return static_cast<DWORD>(std::min<uint64_t>(ms, INFINITE - 1));
}

int64_t opt_timeout(lua_State* L, int index)
{
    if (lua_isnoneornil(L, index))
        return -1;
    return std::max<int64_t>(opt_choice(L, index, 0), 0);
}

DWORD wait_answering(HANDLE object, DWORD milliseconds)
{
    // A thread without a message queue has no windows, and gets no queue.
    bool answering = ::IsGUIThread(FALSE) != FALSE;
    const Deadline deadline(milliseconds == INFINITE ? -1 : static_cast<int64_t>(milliseconds));
    const DWORD count = object ? 1 : 0;
    WPARAM quit_code = 0;
    bool quit = false;
    DWORD result;
    // Looped until the deadline: the system's waits may end a little early.
    do {
        const DWORD left = deadline.left();
        if (!answering) {
            result = wait_plain(object, left);
            continue;
        }
        result = ::MsgWaitForMultipleObjectsEx(count, &object, left, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (result == WAIT_OBJECT_0 + count) {
            quit = !pump_messages(quit_code);
            answering = !quit;
            result = object && ::WaitForSingleObject(object, 0) == WAIT_OBJECT_0 ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
        }
    } while (result == WAIT_TIMEOUT && !deadline.passed());
    if (quit) {
        const DWORD error = ::GetLastError();
        ::PostQuitMessage(static_cast<int>(quit_code));
        ::SetLastError(error);
    }
    return result;
}

} // namespace osbridge
