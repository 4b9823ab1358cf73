// Registry values and keys as plain Lua values. Every registry failure comes
// back as nil or false; the registry's own code is not passed on.
#include "core/functions.h"
#include "core/osbridge.h"
#include "registry/registry.h"

#include <cstring>
#include <cwchar>

namespace osbridge {

namespace {

// The low 32 bits of the number, sign-extended as the HKEY_ constants are, so
// that 64-bit builds see the same predefined roots as 32-bit ones.
HKEY check_root(lua_State* L, int index)
{
    return reinterpret_cast<HKEY>(static_cast<intptr_t>(check_i32(L, index)));
}

bool is_text_type(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// Opens the key, queries the value and closes the key again, so that no key
// stays open while Lua may raise an error.
LONG query_value(HKEY root, const wchar_t* path, const wchar_t* name, DWORD* type, BYTE* data, DWORD* size)
{
    unique_hkey key;
    const LONG status = api.RegOpenKeyExW(root, path, 0, KEY_QUERY_VALUE, key.put());
    return status == ERROR_SUCCESS ? api.RegQueryValueExW(key.get(), name, nullptr, type, data, size) : status;
}

} // namespace

int reg_get_value(lua_State* L)
{
    const HKEY root = check_root(L, 1);
    const char* path = luaL_checklstring(L, 2, nullptr);
    const char* name = luaL_checklstring(L, 3, nullptr);
    const UINT cp = code_page(L);

    // Names and data live on the stack, or in blocks Lua owns when long. The
    // empty name addresses the root key or the default value, so a name that
    // cannot be converted reads nothing.
    wchar_t path_units[MAX_PATH + 1], name_units[MAX_PATH + 1];
    const wchar_t *wide_path, *wide_name;
    if (!a2w_scratch(L, path, path_units, MAX_PATH + 1, wide_path, cp)
        || !a2w_scratch(L, name, name_units, MAX_PATH + 1, wide_name, cp)) {
        lua_pushnil(L);
        return 1;
    }

    // Most values fit the first query; longer data takes a second one, into a
    // block of the size the first reported.
    alignas(8) BYTE small[reg_value_stack_bytes];
    DWORD type = REG_NONE;
    DWORD size = sizeof small;
    const BYTE* data = small;
    LONG status = query_value(root, wide_path, wide_name, &type, small, &size);
    if (status == ERROR_MORE_DATA && (is_text_type(type) || type == REG_BINARY)) {
        BYTE* large = static_cast<BYTE*>(lua_newuserdata(L, size));
        status = query_value(root, wide_path, wide_name, &type, large, &size);
        data = large;
    }

    if (status != ERROR_SUCCESS) {
        lua_pushnil(L);
    } else if (type == REG_DWORD || type == REG_DWORD_BIG_ENDIAN) {
        // Read little-endian for both types; a stored length other than four
        // leaves no number to report.
        DWORD number = 0;
        if (size == sizeof number) {
            std::memcpy(&number, data, sizeof number);
            push_whole(L, number);
        } else {
            lua_pushnil(L);
        }
    } else if (type == REG_BINARY) {
        lua_pushlstring(L, reinterpret_cast<const char*>(data), size);
    } else if (is_text_type(type)) {
        // The code units up to the first NUL unit (or all of them); both
        // blocks are aligned for them.
        push_w2a(L, reinterpret_cast<const wchar_t*>(data), size / sizeof(wchar_t), cp);
    } else {
        lua_pushnil(L);
    }
    return 1;
}

int reg_set_value(lua_State* L)
{
    const HKEY root = check_root(L, 1);
    const char* path = luaL_checklstring(L, 2, nullptr);
    const char* name = luaL_checklstring(L, 3, nullptr);
    const DWORD type = lua_isnumber(L, 5) ? to_u32(L, 5) : REG_DWORD;
    DWORD number = 0;
    const char* text = nullptr;
    size_t text_length = 0;
    if (type == REG_NONE || type == REG_DWORD)
        number = check_u32(L, 4);
    else if (is_text_type(type) || type == REG_BINARY)
        text = luaL_checklstring(L, 4, &text_length);
    const UINT cp = code_page(L);

    WideText wide_name, wide_path;
    if (!a2w_optional(name, wide_name, cp) || !a2w_optional(path, wide_path, cp)) {
        lua_pushboolean(L, 0);
        return 1;
    }
    // Other types store four zero bytes.
    const BYTE* data = reinterpret_cast<const BYTE*>(&number);
    DWORD size = sizeof number;
    WideText wide_text;
    if (type == REG_BINARY) {
        // The bytes as they are, as a read gives them back.
        if (!to_dword(text_length, size)) {
            lua_pushboolean(L, 0);
            return 1;
        }
        data = reinterpret_cast<const BYTE*>(text);
    } else if (text) {
        // REG_SZ and REG_EXPAND_SZ end at the first NUL byte and store the
        // converted units and one terminator; REG_MULTI_SZ keeps its NUL
        // separators and gains the list's closing NUL unit. Empty data stores
        // a single NUL unit.
        static const wchar_t empty_text[1] = {};
        const bool one_string = type != REG_MULTI_SZ;
        const size_t length = one_string ? std::strlen(text) : text_length;
        data = reinterpret_cast<const BYTE*>(empty_text);
        size = sizeof empty_text;
        if (length > 0) {
            wide_text = a2w(text, length, cp);
            if (!wide_text) {
                lua_pushboolean(L, 0);
                return 1;
            }
            const size_t units = one_string ? std::wcslen(wide_text.get()) : length;
            if (!to_dword((units + 1) * sizeof(wchar_t), size)) {
                lua_pushboolean(L, 0);
                return 1;
            }
            data = reinterpret_cast<const BYTE*>(wide_text.get());
        }
    }

    // The root itself is opened by an empty name; a null one is not accepted
    // everywhere.
    static wchar_t empty_class[1] = {};
    unique_hkey key;
    bool written = api.RegCreateKeyExW(root, wide_path ? wide_path.get() : empty_class, 0, empty_class,
                                       REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, key.put(), nullptr)
                   == ERROR_SUCCESS;
    if (written)
        written = api.RegSetValueExW(key.get(), wide_name.get(), 0, type, data, size) == ERROR_SUCCESS;
    key.reset();
    lua_pushboolean(L, written);
    return 1;
}

int reg_delete_value(lua_State* L)
{
    const HKEY root = check_root(L, 1);
    const char* path = luaL_checklstring(L, 2, nullptr);
    const char* name = luaL_checklstring(L, 3, nullptr);
    const UINT cp = code_page(L);

    WideText wide_name, wide_path;
    unique_hkey key;
    bool deleted = a2w_optional(name, wide_name, cp) && a2w_optional(path, wide_path, cp)
                   && api.RegOpenKeyExW(root, wide_path.get(), 0, KEY_SET_VALUE, key.put()) == ERROR_SUCCESS;
    if (deleted)
        deleted = api.RegDeleteValueW(key.get(), wide_name.get()) == ERROR_SUCCESS;
    key.reset();
    lua_pushboolean(L, deleted);
    return 1;
}

int reg_delete_key(lua_State* L)
{
    const HKEY root = check_root(L, 1);
    const char* path = luaL_checklstring(L, 2, nullptr);

    // No path (empty, or not convertible) would name the root itself, which
    // is never deleted.
    const WideText wide_path = a2w(path, code_page(L));
    const bool deleted = wide_path && api.RegDeleteKeyW(root, wide_path.get()) == ERROR_SUCCESS;
    lua_pushboolean(L, deleted);
    return 1;
}

} // namespace osbridge
