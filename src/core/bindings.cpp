#include "core/bindings.h"

#include <cstring>
#include <cwchar>

namespace osbridge {

Libraries libs;
Bindings api;

namespace {

// Serialises publishing; readers never take it.
SRWLOCK publish_lock = SRWLOCK_INIT;

class SystemLoader : public Loader {
public:
    HMODULE load(const wchar_t* name) override { return ::LoadLibraryW(name); }
    FARPROC find(HMODULE library, const char* name) override { return ::GetProcAddress(library, name); }
};

class LateLoader final : public SystemLoader {
public:
    HMODULE load(const wchar_t* name) override
    {
        HMODULE library =
            ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
        // Windows 7 without update KB2533623 knows no search flags.
        if (!library && ::GetLastError() == ERROR_INVALID_PARAMETER)
            library = load_from_system_folder(name);
        return library;
    }
};

// Looks a group of entry points up in one library; a missing library leaves
// the whole group null.
class GroupResolver {
public:
    GroupResolver(Loader& loader, HMODULE library) : loader_(loader), library_(library) {}

    template <typename Fn>
    void operator()(Fn& slot, const char* name)
    {
        if (library_)
            find_entry(loader_, library_, slot, name);
        else
            slot = nullptr;
    }

private:
    Loader& loader_;
    HMODULE library_;
};

template <typename... Fn>
bool all_resolved(Fn... entries)
{
    return ((entries != nullptr) && ...);
}

} // namespace

HMODULE load_from_system_folder(const wchar_t* name)
{
    wchar_t path[MAX_PATH];
    const UINT folder = ::GetSystemDirectoryW(path, MAX_PATH);
    if (folder == 0)
        return nullptr;
    const size_t length = std::wcslen(name);
    if (folder >= MAX_PATH || length >= MAX_PATH - folder - 1) {
        ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return nullptr;
    }
    path[folder] = L'\\';
    std::wmemcpy(path + folder + 1, name, length + 1);
    // The library's own imports are looked for in its folder first.
    return ::LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

Loader& system_loader()
{
    static SystemLoader loader;
    return loader;
}

Loader& late_loader()
{
    static LateLoader loader;
    return loader;
}

bool resolve_bindings(Loader& loader, Libraries& libs, Bindings& api)
{
    libs = Libraries{};
    api = Bindings{};
    libs.ole32 = loader.load(L"ole32.dll");
    libs.shell32 = loader.load(L"shell32.dll");
    libs.advapi32 = loader.load(L"Advapi32.dll");
    libs.user32 = loader.load(L"user32.dll");
    libs.kernel32 = loader.load(L"kernel32.dll");

    if (libs.shell32)
        GroupResolver(loader, libs.shell32)(api.ShellExecuteW, "ShellExecuteW");
    if (!libs.user32)
        return false;

    GroupResolver user32(loader, libs.user32);
    GroupResolver advapi32(loader, libs.advapi32);
    GroupResolver ole32(loader, libs.ole32);
    GroupResolver kernel32(loader, libs.kernel32);

    user32(api.GetAsyncKeyState, "GetAsyncKeyState");
    user32(api.GetForegroundWindow, "GetForegroundWindow");
    user32(api.MessageBoxW, "MessageBoxW");
    user32(api.MapVirtualKeyW, "MapVirtualKeyW");
    user32(api.GetWindowLongW, "GetWindowLongW");
    user32(api.SetWindowLongW, "SetWindowLongW");
    user32(api.GetWindowRect, "GetWindowRect");
    user32(api.SetWindowPos, "SetWindowPos");
    advapi32(api.RegOpenKeyExW, "RegOpenKeyExW");
    advapi32(api.RegQueryValueExW, "RegQueryValueExW");
    advapi32(api.RegCloseKey, "RegCloseKey");
    advapi32(api.RegCreateKeyExW, "RegCreateKeyExW");
    advapi32(api.RegSetValueExW, "RegSetValueExW");
    advapi32(api.RegDeleteValueW, "RegDeleteValueW");
    advapi32(api.RegDeleteKeyW, "RegDeleteKeyW");
    user32(api.FindWindowW, "FindWindowW");
    user32(api.ShowWindow, "ShowWindow");
    user32(api.IsWindowVisible, "IsWindowVisible");
    ole32(api.StringFromGUID2, "StringFromGUID2");
    ole32(api.CLSIDFromString, "CLSIDFromString");
    user32(api.SipSetCurrentIM, "SipSetCurrentIM");
    user32(api.SipGetCurrentIM, "SipGetCurrentIM");
    user32(api.SipShowIM, "SipShowIM");
    user32(api.SetCleanRebootFlag, "SetCleanRebootFlag");
    user32(api.KernelIoControl, "KernelIoControl");
    user32(api.PowerOffSystem, "PowerOffSystem");
    user32(api.GetFileSize, "GetFileSize");
    kernel32(api.CopyFileW, "CopyFileW");
    kernel32(api.Sleep, "Sleep");

    return all_resolved(api.GetAsyncKeyState, api.GetForegroundWindow, api.MessageBoxW, api.MapVirtualKeyW,
                        api.GetWindowLongW, api.SetWindowLongW, api.GetWindowRect, api.SetWindowPos,
                        api.RegOpenKeyExW, api.RegQueryValueExW, api.RegCloseKey, api.RegCreateKeyExW,
                        api.RegSetValueExW, api.RegDeleteValueW, api.RegDeleteKeyW, api.FindWindowW,
                        api.ShowWindow, api.IsWindowVisible, api.CopyFileW, api.Sleep);
}

bool resolve_bindings(Loader& loader)
{
    Libraries found_libs;
    Bindings found;
    if (!resolve_bindings(loader, found_libs, found))
        return false;
    // States that have the module already keep calling through `api` while
    // another state loads it: the table is written only when its entries
    // change, which with the system's loader happens once per process.
    ::AcquireSRWLockExclusive(&publish_lock);
    if (std::memcmp(&api, &found, sizeof api) != 0)
        api = found;
    if (std::memcmp(&libs, &found_libs, sizeof libs) != 0)
        libs = found_libs;
    ::ReleaseSRWLockExclusive(&publish_lock);
    return true;
}

} // namespace osbridge
