// What start_process and run_process share: the command line and options
// read and converted before anything is owned, and the process created from
// them.
#pragma once

#include <windows.h>
#include "core/lua_compat.h"

namespace osbridge {

struct Launch {
    wchar_t* command_line = nullptr;  // writable, as CreateProcessW requires
    const wchar_t* dir = nullptr;
    bool show_given = false;
    WORD show = 0;
    wchar_t line_stack[512];
    wchar_t dir_stack[MAX_PATH];
};

// Reads argument 1 (the command line) and the options table at 2 (`dir`,
// `show`; none or nil for none), raising the argument errors. Null, or why
// nothing can be started: an empty command line (which the system is not
// given), a text that cannot be converted. Converted texts may stay on the
// Lua stack.
const char* read_launch(lua_State* L, Launch& launch);

// Field `name` of the options table at 2 (nil when there is none) pushed,
// and checked to be nil or of `type`.
void push_option(lua_State* L, const char* name, int type);

// CreateProcessW for `launch`, with `startup` completed by its size (unless
// set) and its show state.
bool create_process(const Launch& launch, DWORD flags, bool inherit, STARTUPINFOW& startup, PROCESS_INFORMATION& info);


} // namespace osbridge
