// The Windows CE device services reached through the binding table: stand-ins
// put in place by a fake loader record every call, so the present-service
// paths run on the desktop. The desktop's own absent services are covered by
// the Lua tests.
#include "unit.h"
#include "fake_loader.h"

#include "core/bindings.h"
#include "core/functions.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>

using namespace osbridge;

namespace {

std::string calls;  // what the stand-ins saw, in order, "Name(args);" each
BOOL sip_answer = TRUE;
const CLSID input_method = {0x42429667, 0xae04, 0x11d0, {0xa4, 0xf8, 0x00, 0xaa, 0x00, 0xa7, 0x49, 0xb9}};
CLSID chosen_method;

void record(const char* format, ...) __attribute__((format(printf, 1, 2)));
void record(const char* format, ...)
{
    char line[160];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    calls += line;
}

BOOL WINAPI fake_SipGetCurrentIM(CLSID* id)
{
    record("SipGetCurrentIM;");
    if (sip_answer)
        *id = input_method;
    return sip_answer;
}

BOOL WINAPI fake_SipSetCurrentIM(CLSID* id)
{
    record("SipSetCurrentIM;");
    chosen_method = *id;
    return sip_answer;
}

void WINAPI fake_SetCleanRebootFlag()
{
    record("SetCleanRebootFlag;");
}

BOOL WINAPI fake_KernelIoControl(DWORD code, LPVOID in, DWORD in_size, LPVOID out, DWORD out_size, LPDWORD returned)
{
    record("KernelIoControl(%08lx,%p,%lu,%p,%lu,%p);", code, in, in_size, out, out_size,
           static_cast<void*>(returned));
    return TRUE;
}

void WINAPI fake_PowerOffSystem()
{
    record("PowerOffSystem;");
}

void WINAPI fake_Sleep(DWORD ms)
{
    record("Sleep(%lu);", ms);
}

template <typename Fn>
FARPROC as_proc(Fn fn)
{
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(fn));
}

// Resolves the binding table with the named stand-ins in place (every one
// when no names are given); the system's own resolution comes back on exit.
class StandIns {
public:
    explicit StandIns(std::initializer_list<const char*> names = {})
    {
        const std::pair<const char*, FARPROC> all[] = {
            {"SipGetCurrentIM", as_proc(fake_SipGetCurrentIM)},
            {"SipSetCurrentIM", as_proc(fake_SipSetCurrentIM)},
            {"SetCleanRebootFlag", as_proc(fake_SetCleanRebootFlag)},
            {"KernelIoControl", as_proc(fake_KernelIoControl)},
            {"PowerOffSystem", as_proc(fake_PowerOffSystem)},
            {"Sleep", as_proc(fake_Sleep)},
        };
        for (const auto& entry : all) {
            bool wanted = names.size() == 0;
            for (const char* name : names)
                wanted = wanted || std::strcmp(name, entry.first) == 0;
            if (wanted)
                loader_.replaced[entry.first] = entry.second;
        }
        ok(resolve_bindings(loader_), "resolution with stand-ins failed");
        calls.clear();
        sip_answer = TRUE;
        chosen_method = CLSID{};
        L_ = luaL_newstate();
    }
    ~StandIns()
    {
        lua_close(L_);
        resolve_bindings(system_loader());
    }
    StandIns(const StandIns&) = delete;
    StandIns& operator=(const StandIns&) = delete;

    // Calls fn with the values on the stack as arguments; the count of its
    // results, or -1 when it raised an error.
    int call(lua_CFunction fn)
    {
        lua_pushcfunction(L_, fn);
        lua_insert(L_, 1);
        return lua_pcall(L_, lua_gettop(L_) - 1, LUA_MULTRET, 0) == 0 ? lua_gettop(L_) : -1;
    }
    lua_State* lua() const { return L_; }
    std::string text(int index) const { return lua_isstring(L_, index) ? lua_tostring(L_, index) : "(not text)"; }

private:
    FakeLoader loader_;
    lua_State* L_;
};

// %p prints as many digits as a pointer has.
std::string expected_reboot_call()
{
    char line[160];
    std::snprintf(line, sizeof line, "KernelIoControl(%08lx,%p,%lu,%p,%lu,%p);", 0x0101003CUL,
                  static_cast<void*>(nullptr), 0UL, static_cast<void*>(nullptr), 0UL, static_cast<void*>(nullptr));
    return line;
}

} // namespace

TEST(device_resets_and_suspend_with_services_present)
{
    StandIns services;
    const std::string reboot = expected_reboot_call();

    int results = services.call(suspend_system);
    ok(results == 0 && calls == "PowerOffSystem;", "suspend_system: %d results, calls \"%s\"", results, calls.c_str());

    calls.clear();
    results = services.call(warm_reset);
    ok(results == 0 && calls == reboot, "warm_reset: %d results, calls \"%s\"", results, calls.c_str());

    calls.clear();
    results = services.call(cold_reset);
    ok(results == 0 && calls == "SetCleanRebootFlag;" + reboot, "cold_reset: %d results, calls \"%s\"", results,
       calls.c_str());
}

TEST(device_resets_and_suspend_with_services_absent)
{
    {
        // Without the clean flag a reboot is only a warm one: cold_reset does nothing.
        StandIns services({"KernelIoControl"});
        int results = services.call(cold_reset);
        ok(results == 0 && calls.empty(), "cold_reset without SetCleanRebootFlag: %d results, calls \"%s\"", results,
           calls.c_str());
        results = services.call(suspend_system);
        ok(results == 0 && calls.empty(), "suspend_system absent: %d results, calls \"%s\"", results, calls.c_str());
        results = services.call(warm_reset);
        ok(results == 0 && calls == expected_reboot_call(), "warm_reset: calls \"%s\"", calls.c_str());
    }
    // The flag alone would wipe the store at the next reboot, whenever that is.
    StandIns services({"SetCleanRebootFlag"});
    const int results = services.call(cold_reset);
    ok(results == 0 && calls.empty(), "cold_reset without KernelIoControl: %d results, calls \"%s\"", results,
       calls.c_str());
}

TEST(device_input_method_read)
{
    StandIns services;
    int results = services.call(sip_get_current_im);
    ok(results == 1 && services.text(1) == "{42429667-AE04-11D0-A4F8-00AA00A749B9}",
       "sip_get_current_im: %d results, \"%s\"", results, services.text(1).c_str());

    lua_settop(services.lua(), 0);
    sip_answer = FALSE;
    results = services.call(sip_get_current_im);
    ok(results == 1 && lua_isnil(services.lua(), 1) && calls == "SipGetCurrentIM;SipGetCurrentIM;",
       "failing service: %d results, first %s, calls \"%s\"", results, luaL_typename(services.lua(), 1),
       calls.c_str());
}

TEST(device_input_method_choice)
{
    StandIns services;
    lua_State* L = services.lua();
    const auto set = [&](const char* text, size_t length) {
        lua_settop(L, 0);
        lua_pushlstring(L, text, length);
        const int results = services.call(sip_set_current_im);
        return results == 1 && lua_type(L, 1) == LUA_TBOOLEAN ? lua_toboolean(L, 1) : -1;
    };

    int answer = set("{42429667-ae04-11d0-a4f8-00aa00a749b9}", 38);
    ok(answer == 1 && calls == "SipSetCurrentIM;", "valid text: answer %d, calls \"%s\"", answer, calls.c_str());
    ok(IsEqualGUID(chosen_method, input_method), "the service was handed another identifier: %08lx",
       chosen_method.Data1);

    calls.clear();
    sip_answer = FALSE;
    answer = set("{42429667-AE04-11D0-A4F8-00AA00A749B9}", 38);
    ok(answer == 0 && calls == "SipSetCurrentIM;", "refused by the service: answer %d, calls \"%s\"", answer,
       calls.c_str());

    // Texts that never reach the service.
    calls.clear();
    sip_answer = TRUE;
    const std::pair<const char*, size_t> refused[] = {
        {"", 0}, {"not an identifier", 17}, {"{42429667-AE04-11D0-A4F8-00AA00A749B}", 37}, {"\0{42429667}", 11}};
    for (const auto& text : refused) {
        answer = set(text.first, text.second);
        ok(answer == 0, "\"%s\" gave %d", text.first, answer);
    }
    ok(calls.empty(), "SipSetCurrentIM was called: \"%s\"", calls.c_str());

    lua_settop(L, 0);
    ok(services.call(sip_set_current_im) == -1 && calls.empty(), "no argument did not raise");
}

TEST(device_sleep_counts)
{
    StandIns services({"Sleep"});
    lua_State* L = services.lua();
    const struct {
        double ms;
        const char* expected;
    } cases[] = {
        {1.9, "Sleep(1);"},
        {-0.5, "Sleep(0);"},
        {-4294967295.0, "Sleep(0);"},  // would wrap round to 1
        {2147483648.0, "Sleep(2147483648);"},
        {4294967295.0, "Sleep(4294967294);"},  // the endless wait
        {1e12, "Sleep(4294967294);"},
        {std::nan(""), "Sleep(0);"},
    };
    for (const auto& c : cases) {
        calls.clear();
        lua_settop(L, 0);
        lua_pushnumber(L, c.ms);
        const int results = services.call(sleep);
        ok(results == 0 && calls == c.expected, "sleep(%.17g): %d results, calls \"%s\"", c.ms, results,
           calls.c_str());
    }

    calls.clear();
    lua_settop(L, 0);
    lua_pushstring(L, "25");
    ok(services.call(sleep) == 0 && calls == "Sleep(25);", "numeric text: calls \"%s\"", calls.c_str());
    calls.clear();
    for (int arguments = 0; arguments < 2; ++arguments) {
        lua_settop(L, 0);
        if (arguments)
            lua_pushstring(L, "soon");
        ok(services.call(sleep) == -1, "sleep with %d arguments did not raise", arguments);
    }
    ok(calls.empty(), "Sleep called after an argument error: \"%s\"", calls.c_str());
}

TEST(device_reload_event_taken_by_another_kind)
{
    // A mutex holding the name makes creating the event fail.
    const HANDLE squatter = ::CreateMutexW(nullptr, FALSE, L"PowerManager/ReloadActivityTimeouts");
    ok(squatter != nullptr, "CreateMutexW failed: %lu", ::GetLastError());
    StandIns services({"Sleep"});
    const int results = services.call(powermanager_reload_activity_timeouts);
    lua_State* L = services.lua();
    ok(results == 2 && lua_type(L, 1) == LUA_TBOOLEAN && !lua_toboolean(L, 1) &&
           services.text(2) == "CreateEvent() failed",
       "%d results: %s, \"%s\"", results, luaL_typename(L, 1), services.text(2).c_str());
    ::CloseHandle(squatter);
}
