// Waits with a time-out that keep the calling thread's windows answering:
// a host with a window must not freeze while a script waits.
#pragma once

#include <windows.h>
#include "core/lua_compat.h"

#include <cstdint>

namespace osbridge {

// The end of a wait of `timeout_ms` from now (none for a negative time-out),
// kept on the performance counter: the tick count moves in steps of up to
// 16 ms, and a wait must never end before its time.
class Deadline {
public:
    explicit Deadline(int64_t timeout_ms) noexcept;
    // Milliseconds left, rounded up (0 once passed), INFINITE without an end.
    DWORD left() const noexcept;
    bool passed() const noexcept { return left() == 0; }

private:
    uint64_t end_ = 0;  // in counts
    uint64_t frequency_ = 0;  // counts a second
    bool unlimited_;
};

// A wait's time-out argument: none or nil waits without limit (-1), a
// negative number looks once (0), other numbers as opt_choice reads them.
int64_t opt_timeout(lua_State* L, int index);

// Waits at most `milliseconds` (INFINITE: no limit) for `object` to be
// signalled, or for that time only when it is null. A thread with windows
// handles its messages meanwhile. WAIT_OBJECT_0, WAIT_TIMEOUT, or WAIT_FAILED
// with the system's error.
DWORD wait_answering(HANDLE object, DWORD milliseconds);

} // namespace osbridge
