// The drive letters in use, with their type, volume and space.
#include "core/functions.h"
#include "core/osbridge.h"

#include <cwchar>

namespace osbridge {

namespace {

struct Drive {
    wchar_t root[4];
    UINT type;
    bool volume;  // label and file system read
    bool sizes;   // a drive that is not ready has none
    wchar_t label[MAX_PATH + 1];
    wchar_t filesystem[MAX_PATH + 1];
    ULARGE_INTEGER free, total;
};

const char* type_name(UINT type)
{
    switch (type) {
    case DRIVE_FIXED: return "fixed";
    case DRIVE_REMOVABLE: return "removable";
    case DRIVE_REMOTE: return "remote";
    case DRIVE_CDROM: return "cdrom";
    case DRIVE_RAMDISK: return "ramdisk";
    default: return "unknown";
    }
}

// Reads every drive into `drives` (26 at most, one per letter) and counts
// them; false with the system's error when there is no list.
bool read_drives(Drive (&drives)[26], size_t& count)
{
    wchar_t roots[26 * 4 + 1] = {};
    const DWORD length = ::GetLogicalDriveStringsW(sizeof roots / sizeof *roots, roots);
    if (length == 0 || length >= sizeof roots / sizeof *roots)
        return false;
    const no_error_boxes quiet;
    count = 0;
    for (const wchar_t* root = roots; *root && count < 26; root += std::wcslen(root) + 1) {
        Drive& drive = drives[count++];
        drive = Drive{};
        std::wcsncpy(drive.root, root, 3);
        drive.type = ::GetDriveTypeW(drive.root);
        drive.volume = ::GetVolumeInformationW(drive.root, drive.label, MAX_PATH + 1, nullptr, nullptr, nullptr,
                                               drive.filesystem, MAX_PATH + 1) != FALSE;
        drive.sizes = ::GetDiskFreeSpaceExW(drive.root, &drive.free, &drive.total, nullptr) != FALSE;
    }
    return true;
}

void set_text(lua_State* L, const char* name, const wchar_t* text, UINT code_page)
{
    push_w2a(L, text, std::wcslen(text), code_page);
    lua_setfield(L, -2, name);
}

void set_size(lua_State* L, const char* name, ULARGE_INTEGER bytes)
{
    push_whole(L, static_cast<int64_t>(bytes.QuadPart));
    lua_setfield(L, -2, name);
}

} // namespace

int drives(lua_State* L)
{
    Drive found[26];
    size_t count = 0;
    if (!read_drives(found, count))
        return push_failure_last_error(L, true);
    const UINT cp = code_page(L);
    lua_createtable(L, static_cast<int>(count), 0);
    for (size_t i = 0; i < count; ++i) {
        const Drive& drive = found[i];
        lua_createtable(L, 0, 6);
        set_text(L, "root", drive.root, cp);
        lua_pushstring(L, type_name(drive.type));
        lua_setfield(L, -2, "type");
        if (drive.volume) {
            set_text(L, "label", drive.label, cp);
            set_text(L, "filesystem", drive.filesystem, cp);
        }
        if (drive.sizes) {
            set_size(L, "free", drive.free);
            set_size(L, "total", drive.total);
        }
        lua_rawseti(L, -2, static_cast<int>(i + 1));
    }
    return 1;
}

} // namespace osbridge
