// Emptying a directory tree, depth first, keeping the directory named.
//
// Paths are built at whatever length they need and used in long-path form, so
// no name is ever cut short into the name of something else. Links to
// directories (junctions, symbolic links) are removed themselves and never
// walked into: what they point to lies outside the tree.
#include "core/functions.h"
#include "core/osbridge.h"

#include <cstdio>
#include <new>
#include <string>
#include <vector>

namespace osbridge {

namespace {

bool starts_with(const std::wstring& text, const wchar_t* prefix)
{
    return text.compare(0, std::char_traits<wchar_t>::length(prefix), prefix) == 0;
}

bool is_dot_entry(const wchar_t* name)
{
    return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

// The directory that the system would list for "path\*", in long-path form and
// ending in a backslash; empty when no such form exists. Normalising the whole
// pattern, not the bare path, keeps every rule of the system's own reading
// (separators, "." and "..", trailing dots and blanks).
std::wstring listing_root(const wchar_t* path)
{
    const std::wstring pattern = std::wstring(path) + L"\\*";
    std::wstring full(MAX_PATH, L'\0');
    DWORD length = ::GetFullPathNameW(pattern.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
    if (length >= full.size()) {
        full.assign(length, L'\0');
        length = ::GetFullPathNameW(pattern.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
    }
    if (length == 0 || length >= full.size())
        return {};
    full.resize(length);
    if (full.size() < 3 || full.compare(full.size() - 2, 2, L"\\*") != 0)
        return {};
    full.pop_back();

    if (starts_with(full, L"\\\\?\\"))
        return full;
    if (starts_with(full, L"\\\\.\\"))
        return L"\\\\?\\" + full.substr(4);
    if (starts_with(full, L"\\\\"))
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

// Opens a directory for listing and holds it without delete sharing, so that
// while it is walked no one can rename or remove it and put a link in its
// place. Links are opened themselves and refused, except for the top
// directory, which is walked as the caller named it.
unique_file pin_directory(const std::wstring& dir, bool follow_link)
{
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (follow_link ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    unique_file pin(::CreateFileW(dir.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, flags, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!pin || !::GetFileInformationByHandle(pin.get(), &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        || (!follow_link && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)))
        return unique_file();
    return pin;
}

// One directory being listed; `dir` ends in a backslash.
struct Level {
    std::wstring dir;
    unique_file pin;
    unique_find search;
};

// Walks with an explicit stack: a deep tree must not exhaust the thread's
// stack. Each level keeps its search open while its subdirectories go.
void empty_tree(const std::wstring& root)
{
    std::vector<Level> levels;
    WIN32_FIND_DATAW entry;
    const auto enter = [&levels, &entry](std::wstring dir) {
        unique_file pin = pin_directory(dir, levels.empty());
        if (!pin)
            return false;
        unique_find search(::FindFirstFileW((dir + L'*').c_str(), &entry));
        if (!search)
            return false;
        levels.push_back(Level{std::move(dir), std::move(pin), std::move(search)});
        return true;
    };

    bool have_entry = enter(root);
    while (!levels.empty()) {
        if (!have_entry) {
            // This level is done: close its search, then remove it (never the
            // top directory).
            std::wstring done = std::move(levels.back().dir);
            levels.pop_back();
            if (levels.empty())
                break;
            done.pop_back();
            ::RemoveDirectoryW(done.c_str());
            have_entry = ::FindNextFileW(levels.back().search.get(), &entry);
            continue;
        }
        if (!is_dot_entry(entry.cFileName)) {
            std::wstring path = levels.back().dir + entry.cFileName;
            const DWORD attributes = entry.dwFileAttributes;
            if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                if (enter(path + L'\\')) {
                    have_entry = true;
                    continue;
                }
                ::RemoveDirectoryW(path.c_str());
            } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
                // A link to a directory goes as a directory does, contents untouched.
                ::RemoveDirectoryW(path.c_str());
            } else {
                ::DeleteFileW(path.c_str());
            }
        }
        have_entry = ::FindNextFileW(levels.back().search.get(), &entry);
    }
}

} // namespace

int rmdir(lua_State* L)
{
    size_t length = 0;
    const char* path = luaL_checklstring(L, 1, &length);
    const UINT cp = code_page(L);
    if (length > 257) {
        char count[32];
        std::snprintf(count, sizeof count, "%llu", static_cast<unsigned long long>(length));
        lua_pushboolean(L, 0);
        lua_pushfstring(L, "Path is too long %s", count);
        return 2;
    }

    bool converted = false;
    {
        const WideText wide = a2w(path, cp);
        if (wide) {
            converted = true;
            // Out of memory stops the walk; what is left stays, as with any
            // entry that cannot go.
            try {
                const std::wstring root = listing_root(wide.get());
                if (!root.empty())
                    empty_tree(root);
            } catch (const std::bad_alloc&) {
            }
        }
    }
    if (!converted) {
        lua_pushboolean(L, 0);
        lua_pushliteral(L, "a2w() failed");
        return 2;
    }
    lua_pushboolean(L, 1);
    return 1;
}

} // namespace osbridge
