// Direct process launch: no shell, association or search step.
#include "core/functions.h"
#include "core/osbridge.h"
#include "files/exist.h"

namespace osbridge {

OSBRIDGE_I686_SIZE(STARTUPINFOW, 68);
OSBRIDGE_I686_SIZE(PROCESS_INFORMATION, 16);

namespace {

// A string or number argument's text; null for anything else.
const char* text_arg(lua_State* L, int index)
{
    return lua_isstring(L, index) ? lua_tostring(L, index) : nullptr;
}

} // namespace

int exec(lua_State* L)
{
    const bool wait = to_choice(L, 3) != 0;
    const UINT cp = code_page(L);
    const char* application = text_arg(L, 1);
    // The text itself, tested as file_exist tests it; the command line and
    // directory are not looked at for a missing program.
    if (application && !file_exists(application, cp)) {
        lua_pushboolean(L, 0);
        push_whole(L, 0);
        return 2;
    }
    const char* command_line = text_arg(L, 2);
    const char* directory = text_arg(L, 4);

    bool created = false;
    DWORD exit_code = 0;
    {
        // A text that cannot be converted fails the call rather than start
        // something else, or elsewhere.
        WideText wide_application, wide_command_line, wide_directory;  // the command line writable, as required
        if (a2w_optional(application, wide_application, cp) && a2w_optional(command_line, wide_command_line, cp)
            && a2w_optional(directory, wide_directory, cp) && (wide_application || wide_command_line)) {
            STARTUPINFOW startup = {};
            startup.cb = sizeof startup;
            PROCESS_INFORMATION info = {};
            created = ::CreateProcessW(wide_application.get(), wide_command_line.get(), nullptr, nullptr, FALSE, 0,
                                       nullptr, wide_directory.get(), &startup, &info) != FALSE;
            if (created) {
                const unique_handle process(info.hProcess);
                const unique_handle thread(info.hThread);
                if (wait)
                    ::WaitForSingleObject(process.get(), INFINITE);
                ::GetExitCodeProcess(process.get(), &exit_code);
            }
        }
    }
    lua_pushboolean(L, created);
    push_whole(L, exit_code);
    return 2;
}

} // namespace osbridge
