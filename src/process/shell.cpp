// Shell execution of a file with a verb, and the English texts for the
// shell's failure results.
#include "core/functions.h"
#include "core/osbridge.h"

#include <cstdint>

namespace osbridge {

namespace {

const char* shell_error_text(int32_t result)
{
    switch (result) {
    case 0: return "The operating system is out of memory or resources.";
    case SE_ERR_FNF: return "The specified file was not found.";
    case SE_ERR_PNF: return "The specified path was not found.";
    case SE_ERR_ACCESSDENIED: return "The operating system denied access to the specified file.";
    case SE_ERR_OOM: return "There was not enough memory to complete the operation.";
    case ERROR_BAD_FORMAT: return "The .exe file is invalid (non-Win32 .exe or error in .exe image).";
    case SE_ERR_SHARE: return "A sharing violation occurred.";
    case SE_ERR_ASSOCINCOMPLETE: return "The file name association is incomplete or invalid.";
    case SE_ERR_DDETIMEOUT: return "The DDE transaction could not be completed because the request timed out.";
    case SE_ERR_DDEFAIL: return "The DDE transaction failed.";
    case SE_ERR_DDEBUSY:
        return "The DDE transaction could not be completed because other DDE transactions were being processed.";
    case SE_ERR_NOASSOC:
        return "There is no application associated with the given file name extension. This error will also be "
               "returned if you attempt to print a file that is not printable.";
    case SE_ERR_DLLNOTFOUND: return "The specified DLL was not found.";
    default: return "Unknown error.";
    }
}

// Pushes field `name` of the table at `from`; it stays on the stack so that
// its text, converted there from a number, lives until the call is made.
// Returns that text, or null when the field is no string or number or its
// text is empty up to its first zero byte.
const char* push_text_field(lua_State* L, int from, const char* name)
{
    lua_getfield(L, from, name);
    const char* text = lua_isstring(L, -1) ? lua_tostring(L, -1) : nullptr;
    return text && *text ? text : nullptr;
}

int push_failure(lua_State* L, const char* text)
{
    lua_pushboolean(L, 0);
    lua_pushstring(L, text);
    return 2;
}

} // namespace

int shell_execute(lua_State* L)
{
    luaL_checktype(L, 1, LUA_TTABLE);
    if (!api.ShellExecuteW)
        return push_failure(L, "can't load API function ShellExecute() from shell32.dll");

    // The fields come from the last argument, which is the table itself when
    // it is the only one. Indexing may raise, so every field is read first.
    const int fields = lua_gettop(L);
    const char* filename = push_text_field(L, fields, "filename");
    if (!filename)
        return push_failure(L, "filename is mandatory");
    lua_getfield(L, fields, "hwnd_parent");
    const HWND parent = lua_type(L, -1) == LUA_TLIGHTUSERDATA ? static_cast<HWND>(lua_touserdata(L, -1)) : nullptr;
    lua_getfield(L, fields, "show");
    const int show = lua_isnumber(L, -1) ? to_i32(L, -1) : SW_SHOWNORMAL;
    const char* work_dir = push_text_field(L, fields, "work_dir");
    const char* operation = push_text_field(L, fields, "operation");
    const char* parameters = push_text_field(L, fields, "parameters");
    const UINT cp = code_page(L);

    // A field that cannot be converted is not left out: the call would run
    // without it. Conversion fails for want of memory (or beyond 2 GiB).
    int32_t result = SE_ERR_OOM;
    {
        WideText wide_filename, wide_work_dir, wide_operation, wide_parameters;
        if (a2w_optional(filename, wide_filename, cp) && a2w_optional(work_dir, wide_work_dir, cp)
            && a2w_optional(operation, wide_operation, cp) && a2w_optional(parameters, wide_parameters, cp)) {
            result = static_cast<int32_t>(reinterpret_cast<intptr_t>(
                api.ShellExecuteW(parent, wide_operation ? wide_operation.get() : L"open", wide_filename.get(),
                                  wide_parameters.get(), wide_work_dir.get(), show)));
        }
    }
    if (result > 32) {
        lua_pushboolean(L, 1);
        lua_pushnil(L);
        return 2;
    }
    return push_failure(L, shell_error_text(result));
}

} // namespace osbridge
