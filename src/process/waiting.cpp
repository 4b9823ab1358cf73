// Processes a script starts and keeps (process objects), and waits for a
// process's end or for it to be ready for input.
#include "core/functions.h"
#include "core/osbridge.h"
#include "core/wait.h"
#include "process/launch.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>

namespace osbridge {

namespace {

// One name for every state's metatable of process objects.
const char* const process_type = "osbridge.process";

// A process object's userdata: the handle is kept until the object is closed
// or collected, so the exit code of a process that ended at once is not lost.
struct ProcessObject {
    unique_handle handle;
    DWORD pid;
};

ProcessObject* to_process_object(lua_State* L, int index)
{
    void* data = lua_touserdata(L, index);
    if (!data || lua_type(L, index) != LUA_TUSERDATA || !lua_getmetatable(L, index))
        return nullptr;
    luaL_getmetatable(L, process_type);
    const bool same = lua_rawequal(L, -1, -2) != 0;
    lua_pop(L, 2);
    return same ? static_cast<ProcessObject*>(data) : nullptr;
}

ProcessObject& check_process_object(lua_State* L)
{
    ProcessObject* object = to_process_object(L, 1);
    if (!object)
        luaL_argerror(L, 1, "process expected");
    return *object;
}

int process_close(lua_State* L)
{
    check_process_object(L).handle.reset();
    return 0;
}

int process_index(lua_State* L)
{
    const ProcessObject& object = check_process_object(L);
    const char* key = lua_tostring(L, 2);
    if (key && std::strcmp(key, "pid") == 0)
        push_whole(L, object.pid);
    else if (key && std::strcmp(key, "close") == 0)
        lua_pushcfunction(L, process_close);
    else
        lua_pushnil(L);
    return 1;
}

int process_tostring(lua_State* L)
{
    const ProcessObject& object = check_process_object(L);
    lua_pushfstring(L, object.handle ? "process %d" : "process %d (closed)", static_cast<int>(object.pid));
    return 1;
}

// A new process object without a process, its metatable made on first use.
ProcessObject& push_process_object(lua_State* L)
{
    void* data = lua_newuserdata(L, sizeof(ProcessObject));
    ProcessObject* object = new (data) ProcessObject{unique_handle(), 0};
    if (luaL_newmetatable(L, process_type)) {
        const luaL_Reg methods[] = {
            {"__gc", process_close}, {"__index", process_index}, {"__tostring", process_tostring}, {nullptr, nullptr}};
        for (const luaL_Reg* method = methods; method->name; ++method) {
            lua_pushcfunction(L, method->func);
            lua_setfield(L, -2, method->name);
        }
    }
    lua_setmetatable(L, -2);
    return *object;
}

// What a wait acts on, read from argument 1: a process object or a process id.
struct ProcessArgument {
    HANDLE handle = nullptr;  // the object's; null for an id
    DWORD pid = 0;
    bool closed = false;
};

ProcessArgument check_process(lua_State* L)
{
    ProcessArgument process;
    if (const ProcessObject* object = to_process_object(L, 1)) {
        process.handle = object->handle.get();
        process.closed = !object->handle;
    } else if (lua_type(L, 1) == LUA_TNUMBER || lua_type(L, 1) == LUA_TSTRING) {
        process.pid = check_u32(L, 1);
    } else {
        luaL_argerror(L, 1, lua_pushfstring(L, "process or process id expected, got %s", luaL_typename(L, 1)));
    }
    return process;
}

// A handle of the call's own for the process: script code run while the
// thread's windows are answered may close the object meanwhile.
unique_handle open_process(const ProcessArgument& process)
{
    const DWORD access = SYNCHRONIZE | PROCESS_QUERY_INFORMATION;  // the latter for WaitForInputIdle
    HANDLE own = nullptr;
    if (!process.handle)
        return unique_handle(::OpenProcess(access, FALSE, process.pid));
    ::DuplicateHandle(::GetCurrentProcess(), process.handle, ::GetCurrentProcess(), &own, access, FALSE, 0);
    return unique_handle(own);
}

// Whether the process runs a console program, which has no message loop to
// wait for: read from its image's header, as the system gives no answer
// of its own (it fails, and Wine fails the same way for a windowed program
// that has not yet started up).
bool console_program(HANDLE process)
{
    const DWORD units = 32768;
    WideText path = calloc_array<wchar_t>(units);
    DWORD length = units;
    if (!path || !::QueryFullProcessImageNameW(process, 0, path.get(), &length))
        return false;
    const unique_file image(::CreateFileW(path.get(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, 0, nullptr));
    unsigned char header[4096];
    DWORD read = 0;
    if (!image || !::ReadFile(image.get(), header, sizeof header, &read, nullptr) || read < sizeof(IMAGE_DOS_HEADER))
        return false;
    IMAGE_DOS_HEADER dos;
    std::memcpy(&dos, header, sizeof dos);
    // The subsystem has the same place in the 32-bit and the 64-bit header.
    const size_t subsystem = static_cast<size_t>(dos.e_lfanew) + offsetof(IMAGE_NT_HEADERS32, OptionalHeader)
                             + offsetof(IMAGE_OPTIONAL_HEADER32, Subsystem);
    static_assert(offsetof(IMAGE_OPTIONAL_HEADER32, Subsystem) == offsetof(IMAGE_OPTIONAL_HEADER64, Subsystem), "");
    WORD value = 0;
    if (dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew < 0 || subsystem + sizeof value > read)
        return false;
    std::memcpy(&value, header + subsystem, sizeof value);
    return value == IMAGE_SUBSYSTEM_WINDOWS_CUI;
}

const char* const closed_text = "the process object is closed";
const char* const timeout_text = "timeout";

// Null once the process waits for input, else why not. It is looked at in
// short slices, between which the thread's windows are answered and the
// process's end is seen at once.
const char* input_idle(HANDLE process, const Deadline& deadline, ErrorText& error, UINT code_page)
{
    const DWORD slice = 10;
    const bool console = console_program(process);
    for (;;) {
        const DWORD idle = console ? WAIT_FAILED : ::WaitForInputIdle(process, 0);
        const DWORD failure = ::GetLastError();
        // Some systems call an ended process idle.
        if (::WaitForSingleObject(process, 0) == WAIT_OBJECT_0)
            return "the process has ended";
        if (idle == 0)
            return nullptr;
        if (console)
            return "a console program has no message loop";
        // A failure without an error is the start-up race (see console_program).
        if (idle == WAIT_FAILED && failure != ERROR_SUCCESS) {
            ::SetLastError(failure);
            return last_error_reason(error, code_page);
        }
        if (deadline.passed())
            return timeout_text;
        wait_answering(process, std::min(slice, deadline.left()));
    }
}

} // namespace

int start_process(lua_State* L)
{
    Launch launch;
    if (const char* refused = read_launch(L, launch))
        return push_nil_and(L, refused);
    ProcessObject& object = push_process_object(L);
    STARTUPINFOW startup = {};
    PROCESS_INFORMATION info = {};
    if (!create_process(launch, 0, false, startup, info))
        return push_failure_last_error(L, true);
    object.handle.reset(info.hProcess);
    const unique_handle thread(info.hThread);
    object.pid = info.dwProcessId;
    return 1;
}

int wait_for_process(lua_State* L)
{
    const ProcessArgument process = check_process(L);
    const Deadline deadline(opt_timeout(L, 2));
    if (process.closed)
        return push_nil_and(L, closed_text);
    DWORD waited = WAIT_FAILED;
    DWORD exit_code = 0;
    ErrorText error;
    const char* error_text = nullptr;
    {
        const unique_handle handle = open_process(process);
        if (handle)
            waited = wait_answering(handle.get(), deadline.left());
        if (waited == WAIT_OBJECT_0 && !::GetExitCodeProcess(handle.get(), &exit_code))
            waited = WAIT_FAILED;
        if (waited == WAIT_FAILED)
            error_text = last_error_reason(error, code_page(L));
    }
    if (waited == WAIT_OBJECT_0) {
        push_whole(L, exit_code);
        return 1;
    }
    return push_nil_and(L, waited == WAIT_TIMEOUT ? timeout_text : error_text);
}

int wait_for_input_idle(lua_State* L)
{
    const ProcessArgument process = check_process(L);
    const Deadline deadline(opt_timeout(L, 2));
    if (process.closed) {
        lua_pushboolean(L, 0);
        lua_pushstring(L, closed_text);
        return 2;
    }
    const char* reason = nullptr;
    ErrorText error;
    {
        const unique_handle handle = open_process(process);
        reason = handle ? input_idle(handle.get(), deadline, error, code_page(L)) : last_error_reason(error, code_page(L));
    }
    lua_pushboolean(L, reason == nullptr);
    if (!reason)
        return 1;
    lua_pushstring(L, reason);
    return 2;
}

} // namespace osbridge
