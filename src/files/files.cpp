// Single-file operations: thin wrappers whose only report is a boolean, a
// number or nil. Empty paths fail without a system call.
#include "core/functions.h"
#include "core/osbridge.h"
#include "files/exist.h"

#include <cwchar>

namespace osbridge {

namespace {

// Converts the path and makes the call only when the text is not empty.
template <typename Call>
int push_path_verdict(lua_State* L, const char* path, Call call)
{
    const WideText wide = a2w(path, code_page(L));
    const bool done = wide && call(wide.get());
    lua_pushboolean(L, done);
    return 1;
}

template <typename Call>
int push_two_path_verdict(lua_State* L, const char* from, const char* to, Call call)
{
    const UINT cp = code_page(L);
    const WideText wide_from = a2w(from, cp);
    const WideText wide_to = a2w(to, cp);
    const bool done = wide_from && wide_to && call(wide_from.get(), wide_to.get());
    lua_pushboolean(L, done);
    return 1;
}

// file_exists for a code page of the script's choice, which the system's
// test, taking ANSI text only, cannot read: the same open in UTF-16, a bare
// name looked for along the search path first.
bool wide_file_exists(const char* path, UINT code_page)
{
    const WideText wide = a2w(path, code_page);
    if (!wide)
        return false;
    const wchar_t* name = wide.get();
    wchar_t found[MAX_PATH];
    if (!std::wcspbrk(name, L"\\/:")) {
        const DWORD length = ::SearchPathW(nullptr, name, nullptr, MAX_PATH, found, nullptr);
        if (length > 0 && length < MAX_PATH)
            name = found;
    }
    return static_cast<bool>(unique_file(::CreateFileW(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)));
}

} // namespace

int copy_file(lua_State* L)
{
    const char* from = luaL_checklstring(L, 1, nullptr);
    const char* to = luaL_checklstring(L, 2, nullptr);
    // Only COPY_FILE_OVERWRITE replaces an existing destination.
    const BOOL fail_if_exists = opt_choice(L, 3, 2) != 1;
    return push_two_path_verdict(L, from, to, [fail_if_exists](const wchar_t* source, const wchar_t* target) {
        return api.CopyFileW(source, target, fail_if_exists) != FALSE;
    });
}

int move_file(lua_State* L)
{
    const char* from = luaL_checklstring(L, 1, nullptr);
    const char* to = luaL_checklstring(L, 2, nullptr);
    return push_two_path_verdict(L, from, to, [](const wchar_t* source, const wchar_t* target) {
        return ::MoveFileW(source, target) != FALSE;
    });
}

int delete_file(lua_State* L)
{
    const char* path = luaL_checklstring(L, 1, nullptr);
    return push_path_verdict(L, path, [](const wchar_t* file) { return ::DeleteFileW(file) != FALSE; });
}

int mkdir(lua_State* L)
{
    const char* path = luaL_checklstring(L, 1, nullptr);
    return push_path_verdict(L, path, [](const wchar_t* dir) { return ::CreateDirectoryW(dir, nullptr) != FALSE; });
}

bool file_exists(const char* path, UINT code_page)
{
    // Opens and closes again at once; directories and unreadable files fail.
    // The system's test holds only OFS_MAXPATHNAME bytes of full path, so a
    // longer one is opened the same way directly rather than reported missing.
    if (!*path)
        return false;
    if (code_page != CP_ACP)
        return wide_file_exists(path, code_page);
    if (::GetFullPathNameA(path, 0, nullptr, nullptr) <= OFS_MAXPATHNAME) {
        OFSTRUCT scratch;
        return ::OpenFile(path, &scratch, OF_EXIST) != HFILE_ERROR;
    }
    return static_cast<bool>(unique_file(::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)));
}

int file_exist(lua_State* L)
{
    const char* path = luaL_checklstring(L, 1, nullptr);
    lua_pushboolean(L, file_exists(path, code_page(L)));
    return 1;
}

int file_size(lua_State* L)
{
    const char* path = luaL_checklstring(L, 1, nullptr);
    const WideText wide = a2w(path, code_page(L));
    LARGE_INTEGER size{};
    bool known = false;
    if (wide) {
        const unique_file file(::CreateFileW(wide.get(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
        // The full 64-bit size: files of 2 GiB and more keep their true size.
        known = file && ::GetFileSizeEx(file.get(), &size);
    }
    if (known)
        push_whole(L, size.QuadPart);
    else
        lua_pushnil(L);
    return 1;
}

int get_current_dir(lua_State* L)
{
    // Grows until the whole program path fits: a cut path would name some
    // other directory. The path is read into a block Lua owns.
    for (DWORD capacity = MAX_PATH; capacity <= 32768 * 2; capacity *= 2) {
        auto* path = static_cast<wchar_t*>(lua_newuserdata(L, (capacity + 1) * sizeof(wchar_t)));
        const DWORD length = ::GetModuleFileNameW(nullptr, path, capacity);
        if (length == 0)
            break;
        if (length >= capacity) {
            lua_pop(L, 1);
            continue;
        }
        path[length] = L'\0';
        // Cut in UTF-16, where a backslash is never part of another character.
        const wchar_t* last = std::wcsrchr(path, L'\\');
        push_w2a(L, path, last ? static_cast<size_t>(last - path) + 1 : length, code_page(L));
        return 1;
    }
    lua_pushnil(L);
    return 1;
}

} // namespace osbridge
