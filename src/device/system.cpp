// Default locales, system metrics, the machine identifier, and asking a
// component library to register or unregister itself.
#include "core/functions.h"
#include "core/osbridge.h"

namespace osbridge {

namespace {

// Loads the library named by argument 1 and calls its entry point `name`;
// true only for S_OK. The library stays loaded: the component may have
// handed out objects or started threads that outlive the call.
int call_server_entry(lua_State* L, const char* name)
{
    const char* path = luaL_checkstring(L, 1);
    const UINT cp = code_page(L);
    bool registered = false;
    if (const WideText wide = a2w(path, cp)) {
        if (const HMODULE library = ::LoadLibraryW(wide.get())) {
            using ServerEntry = HRESULT(STDAPICALLTYPE*)();
            const FARPROC found = ::GetProcAddress(library, name);
            if (const auto entry = reinterpret_cast<ServerEntry>(reinterpret_cast<void*>(found)))
                registered = entry() == S_OK;
        }
    }
    lua_pushboolean(L, registered);
    return 1;
}

// The 32 hexadecimal digits of a GUID text, braced or not, upper-cased;
// false for any other text.
bool guid_digits(const wchar_t* text, char (&digits)[33])
{
    size_t count = 0;
    for (; *text; ++text) {
        const wchar_t c = (*text >= L'a' && *text <= L'f') ? *text - L'a' + L'A' : *text;
        if ((c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F')) {
            if (count == 32)
                return false;
            digits[count++] = static_cast<char>(c);
        } else if (c != L'{' && c != L'}' && c != L'-') {
            return false;
        }
    }
    digits[count] = '\0';
    return count == 32;
}

} // namespace

int get_user_default_lcid(lua_State* L)
{
    push_whole(L, ::GetUserDefaultLCID());
    return 1;
}

int get_system_default_lcid(lua_State* L)
{
    push_whole(L, ::GetSystemDefaultLCID());
    return 1;
}

// Changing the default locales is not offered; both setters answer so.
int set_user_default_lcid(lua_State* L)
{
    lua_pushboolean(L, 0);
    lua_pushnil(L);
    return 2;
}

int get_system_metrics(lua_State* L)
{
    const int index = check_i32(L, 1);
    push_whole(L, ::GetSystemMetrics(index));
    return 1;
}

// The machine's identifier: the 32 hexadecimal digits (upper case) of the
// hardware profile's GUID, without braces and hyphens. Systems that keep no
// hardware profile (Wine among them) give the digits of the machine GUID
// assigned at installation instead; nil when neither exists.
int serial_number(lua_State* L)
{
    char digits[33] = "";
    HW_PROFILE_INFOW profile{};
    bool found = ::GetCurrentHwProfileW(&profile) && guid_digits(profile.szHwProfileGuid, digits);
    if (!found) {
        unique_hkey key;
        wchar_t text[64] = L"";
        DWORD size = sizeof text - sizeof text[0];
        DWORD type = REG_NONE;
        // The 64-bit view: a 32-bit process would otherwise miss the value.
        found = api.RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography", 0,
                                  KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.put()) == ERROR_SUCCESS &&
                api.RegQueryValueExW(key.get(), L"MachineGuid", nullptr, &type, reinterpret_cast<BYTE*>(text),
                                     &size) == ERROR_SUCCESS &&
                type == REG_SZ && guid_digits(text, digits);
    }
    return push_text_or_nil(L, found ? digits : nullptr);
}

int dll_register_server(lua_State* L)
{
    return call_server_entry(L, "DllRegisterServer");
}

int dll_unregister_server(lua_State* L)
{
    return call_server_entry(L, "DllUnregisterServer");
}

} // namespace osbridge
