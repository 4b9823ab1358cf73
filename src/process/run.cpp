// A program run to its end with its standard streams on pipes: its input
// written, its output and errors read at once, its whole process tree in a
// job that a time-out ends.
#include "core/functions.h"
#include "core/guarded.h"
#include "core/osbridge.h"
#include "core/wait.h"
#include "process/launch.h"

#include <algorithm>
#include <cstdlib>
#include <initializer_list>

namespace osbridge {

namespace {

// Bytes read from a pipe, in a block grown by doubling (linear copying in
// all), trimmed to its size once complete.
struct Output {
    HANDLE pipe = nullptr;
    unique_malloc<char[]> data;
    size_t size = 0;
    size_t capacity = 0;
    bool lost = false;  // no memory for more: the rest is read and dropped

    bool grow() noexcept
    {
        const size_t wanted = std::max<size_t>(65536, 2 * capacity);
        char* grown = static_cast<char*>(std::realloc(data.get(), wanted));
        if (!grown)
            return false;
        data.release();
        data.reset(grown);
        capacity = wanted;
        return true;
    }

    void trim() noexcept
    {
        if (char* trimmed = size ? static_cast<char*>(std::realloc(data.get(), size)) : nullptr) {
            data.release();
            data.reset(trimmed);
            capacity = size;
        }
    }
};

DWORD WINAPI read_all(void* parameter)
{
    Output& output = *static_cast<Output*>(parameter);
    char dropped[4096];
    for (;;) {
        if (!output.lost && output.size == output.capacity && !output.grow())
            output.lost = true;
        char* into = output.lost ? dropped : output.data.get() + output.size;
        const size_t room = output.lost ? sizeof dropped : output.capacity - output.size;
        DWORD got = 0;
        // A read of 0 bytes is a write of 0 bytes; the end is a failure.
        if (!::ReadFile(output.pipe, into, static_cast<DWORD>(std::min<size_t>(room, 1 << 24)), &got, nullptr))
            break;
        if (!output.lost)
            output.size += got;
    }
    return 0;
}

struct Input {
    unique_handle pipe;  // closed by the writer when done: the program's end of input
    const char* data;
    size_t size;
};

DWORD WINAPI write_all(void* parameter)
{
    Input& input = *static_cast<Input*>(parameter);
    DWORD written = 0;
    for (size_t done = 0; done < input.size; done += written) {
        if (!::WriteFile(input.pipe.get(), input.data + done,
                         static_cast<DWORD>(std::min<size_t>(input.size - done, 1 << 20)), &written, nullptr))
            break;
    }
    input.pipe.reset();
    return 0;
}

enum class Outcome { failed, ended, timed_out };

struct Run {
    Outcome outcome = Outcome::failed;
    DWORD exit_code = 0;
    Output output, errors;
    ErrorText error;
    const char* error_text = nullptr;
    UINT code_page = CP_ACP;

    void fail() noexcept { error_text = last_error_reason(error, code_page); }
};

// A pipe whose one end the child inherits.
bool make_pipe(unique_handle& ours, unique_handle& childs, bool child_reads) noexcept
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    unique_handle& read = child_reads ? childs : ours;
    unique_handle& write = child_reads ? ours : childs;
    return ::CreatePipe(read.put(), write.put(), &inherit, 0) && ::SetHandleInformation(ours.get(), HANDLE_FLAG_INHERIT, 0);
}

// A job that ends every process in it when closed, unless released.
unique_handle make_job() noexcept
{
    unique_handle job(::CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job && !::SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits))
        job.reset();
    return job;
}

// Lets what a program that ended started on purpose run on.
void release_job(HANDLE job) noexcept
{
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    ::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
}

void run(const Launch& launch, const char* input, size_t input_size, const Deadline& deadline, Run& result) noexcept
{
    unique_handle in_child, out_child, err_child;
    Input writer{unique_handle(), input, input_size};
    unique_handle out_pipe, err_pipe;
    const unique_handle job = make_job();
    if (!job || !make_pipe(writer.pipe, in_child, true) || !make_pipe(out_pipe, out_child, false)
        || !make_pipe(err_pipe, err_child, false))
        return result.fail();
    // Only these, whatever else of the host's is inheritable.
    HANDLE handles[] = {in_child.get(), out_child.get(), err_child.get()};
    const inherited_handles inherited(handles, 3);
    if (!inherited.get())
        return result.fail();
    STARTUPINFOEXW startup = {};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = in_child.get();
    startup.StartupInfo.hStdOutput = out_child.get();
    startup.StartupInfo.hStdError = err_child.get();
    startup.lpAttributeList = inherited.get();
    const DWORD flags = CREATE_SUSPENDED | EXTENDED_STARTUPINFO_PRESENT | (launch.show_given ? 0 : CREATE_NO_WINDOW);
    PROCESS_INFORMATION info = {};
    if (!create_process(launch, flags, true, startup.StartupInfo, info))
        return result.fail();
    const unique_handle process(info.hProcess);
    const unique_handle thread(info.hThread);
    // Ours closed, the pipes end with the last process that holds them.
    in_child.reset();
    out_child.reset();
    err_child.reset();
    // A host in a job that takes no nested one: a time-out ends the program alone.
    const bool in_job = ::AssignProcessToJobObject(job.get(), process.get()) != FALSE;
    result.output.pipe = out_pipe.get();
    result.errors.pipe = err_pipe.get();
    joined_thread reading_output(read_all, &result.output);
    joined_thread reading_errors(read_all, &result.errors);
    joined_thread writing(write_all, &writer);
    if (!reading_output || !reading_errors || !writing || ::ResumeThread(thread.get()) == static_cast<DWORD>(-1)) {
        result.fail();
        ::TerminateProcess(process.get(), 1);
        return;
    }
    const bool ended = wait_answering(process.get(), deadline.left()) == WAIT_OBJECT_0
                       && wait_answering(reading_output.get(), deadline.left()) == WAIT_OBJECT_0
                       && wait_answering(reading_errors.get(), deadline.left()) == WAIT_OBJECT_0;
    if (ended) {
        result.outcome = Outcome::ended;
        ::GetExitCodeProcess(process.get(), &result.exit_code);
        release_job(job.get());
    } else {
        result.outcome = Outcome::timed_out;
        if (in_job)
            ::TerminateJobObject(job.get(), 1);
        else
            ::TerminateProcess(process.get(), 1);
    }
    // What the ended processes wrote is still read to its end.
    const DWORD grace = ended ? 0 : 2000;
    reading_output.join(grace);
    reading_errors.join(grace);
    writing.join(0);
    result.output.trim();
    result.errors.trim();
}

} // namespace

int run_process(lua_State* L)
{
    Launch launch;
    const char* refused = read_launch(L, launch);
    push_option(L, "input", LUA_TSTRING);
    size_t input_size = 0;
    const char* input = lua_tolstring(L, -1, &input_size);
    push_option(L, "timeout_ms", LUA_TNUMBER);
    const Deadline deadline(opt_timeout(L, lua_gettop(L)));
    if (refused)
        return push_nil_and(L, refused);

    GuardedPush guarded(L);
    int results = 0;
    {
        Run result;
        result.code_page = code_page(L);
        run(launch, input, input_size, deadline, result);
        if (result.output.lost || result.errors.lost) {
            result.outcome = Outcome::failed;
            result.error_text = "not enough memory for the output";
        }
        guarded([&](lua_State* L) {
            if (result.outcome == Outcome::failed) {
                results = push_nil_and(L, result.error_text);
                return;
            }
            if (result.outcome == Outcome::ended)
                push_whole(L, result.exit_code);
            else
                push_nil_and(L, "timeout");
            for (const Output* stream : {&result.output, &result.errors})
                lua_pushlstring(L, stream->size ? stream->data.get() : "", stream->size);
            results = result.outcome == Outcome::ended ? 3 : 4;
        });
    }
    guarded.raise_error();
    return results;
}

} // namespace osbridge
