// Sleeping, suspend and resets, the input panel's input method, the power
// manager's time-out signal, and the device services this build only answers
// with fixed results. The Windows CE services may be absent (always on the
// desktop); a function whose service is missing gives its failure result.
#include "core/functions.h"
#include "core/osbridge.h"

#include <cmath>
#include <cwchar>

namespace osbridge {

namespace {

// IOCTL_HAL_REBOOT: device type 0x0101 (HAL), function 15, buffered, any access.
constexpr DWORD hal_reboot_request = 0x0101003C;

// The all-ones count means "wait forever"; no argument may ask for that.
constexpr DWORD longest_sleep = 0xFFFFFFFEu;

void request_reboot()
{
    api.KernelIoControl(hal_reboot_request, nullptr, 0, nullptr, 0, nullptr);
}

} // namespace

int sleep(lua_State* L)
{
    const lua_Number ms = std::trunc(luaL_checknumber(L, 1));
    DWORD count = 0;
    if (ms >= longest_sleep)
        count = longest_sleep;
    else if (ms > 0)  // also false for NaN
        count = static_cast<DWORD>(ms);
    api.Sleep(count);
    return 0;
}

int suspend_system(lua_State*)
{
    if (api.PowerOffSystem)
        api.PowerOffSystem();
    return 0;
}

int warm_reset(lua_State*)
{
    if (api.KernelIoControl)
        request_reboot();
    return 0;
}

int cold_reset(lua_State*)
{
    // The clean-boot flag alone would wipe the store at some later, unrelated
    // reboot, and a reboot without it is only a warm reset: both or nothing.
    if (api.SetCleanRebootFlag && api.KernelIoControl) {
        api.SetCleanRebootFlag();
        request_reboot();
    }
    return 0;
}

int sip_get_current_im(lua_State* L)
{
    if (!api.SipGetCurrentIM || !api.StringFromGUID2)
        return push_text_or_nil(L, nullptr);
    CLSID id{};
    wchar_t text[260] = L"";
    if (!api.SipGetCurrentIM(&id) || api.StringFromGUID2(id, text, 260) <= 0)
        return push_text_or_nil(L, nullptr);
    push_w2a(L, text, std::wcslen(text), code_page(L));
    return 1;
}

int sip_set_current_im(lua_State* L)
{
    size_t length = 0;
    const char* text = luaL_checklstring(L, 1, &length);
    bool done = false;
    if (length > 0 && api.CLSIDFromString && api.SipSetCurrentIM) {
        const WideText wide = a2w(text, code_page(L));
        CLSID id{};
        done = wide && api.CLSIDFromString(wide.get(), &id) == S_OK && api.SipSetCurrentIM(&id);
    }
    lua_pushboolean(L, done);
    return 1;
}

int powermanager_reload_activity_timeouts(lua_State* L)
{
    const char* failure = nullptr;
    {
        const unique_handle event(::CreateEventW(nullptr, FALSE, FALSE, L"PowerManager/ReloadActivityTimeouts"));
        if (!event)
            failure = "CreateEvent() failed";
        else if (!::SetEvent(event.get()))
            failure = "SetEvent() failed";
    }
    lua_pushboolean(L, failure == nullptr);
    return 1 + push_text_or_nil(L, failure);
}

int get_system_powerstatus(lua_State* L)
{
    push_whole(L, 50);
    return 1;
}

int usbfn_get_current_client(lua_State* L)
{
    lua_pushnil(L);
    lua_pushnil(L);
    return 2;
}

int usbfn_set_current_client(lua_State*)
{
    return 0;
}

int wince_oeminfo(lua_State*)
{
    return 0;
}

} // namespace osbridge
