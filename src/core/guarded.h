// Results pushed while C++ objects still own something of the call's own: a
// copy taken from the clipboard, a secret that has to be wiped. Never a
// system-wide resource such as the open clipboard: a push can run script code
// that changes it.
//
// Lua raises its errors (running out of memory, mostly) with longjmp, which
// skips the destructors of every frame it leaves. Pushes that may raise
// therefore run as a protected call: the error is caught there, the owning
// objects go as usual at the end of their scope, and raise_error() passes the
// error on once they are gone.
//
//     GuardedPush guarded(L);      // may raise: before any owning object
//     {
//         const AnsiText copy = ...;
//         guarded([&](lua_State* L) { lua_pushstring(L, copy.get()); });
//     }
//     guarded.raise_error();
#pragma once

#include "core/lua_compat.h"

#include <type_traits>

namespace osbridge {

class GuardedPush {
public:
    explicit GuardedPush(lua_State* L);
    GuardedPush(const GuardedPush&) = delete;
    GuardedPush& operator=(const GuardedPush&) = delete;

    // Runs push(L) protected; what it pushes stays on the stack. False when it
    // raised, and then nothing it pushed stays.
    template <typename Push>
    bool operator()(Push&& push)
    {
        Thunk thunk{&invoke<std::remove_reference_t<Push>>, &push};
        return run(thunk);
    }

    // Raises the error that a push met, if any.
    void raise_error() const;

private:
    struct Thunk {
        void (*invoke)(lua_State*, void*);
        void* push;
    };
    template <typename Push>
    static void invoke(lua_State* L, void* push)
    {
        (*static_cast<Push*>(push))(L);
    }
    static int call_thunk(lua_State* L);
    bool run(Thunk& thunk);

    lua_State* L_;
    int function_;  // stack index of call_thunk, pushed ahead
    int status_ = 0; // of the protected call
    int error_ = 0; // stack index of the error it met, 0 for none
};

} // namespace osbridge
