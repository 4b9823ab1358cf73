// System services called through pointers resolved by name at load, so that
// one binary runs where some of them (the Windows CE ones) do not exist.
#pragma once

#include <windows.h>
#include <shellapi.h>
#include <objbase.h>

#include "core/handles.h"

namespace osbridge {

// Windows CE services; desktop user32 exports none of them.
using SipGetCurrentIM_t = BOOL(WINAPI*)(CLSID*);
using SipSetCurrentIM_t = BOOL(WINAPI*)(CLSID*);
using SipShowIM_t = BOOL(WINAPI*)(DWORD);
using SetCleanRebootFlag_t = void(WINAPI*)();
using KernelIoControl_t = BOOL(WINAPI*)(DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD);
using PowerOffSystem_t = void(WINAPI*)();

struct Libraries {
    HMODULE ole32;
    HMODULE shell32;
    HMODULE advapi32;
    HMODULE user32;
    HMODULE kernel32;
};

struct Bindings {
    decltype(&::ShellExecuteW) ShellExecuteW;
    decltype(&::GetAsyncKeyState) GetAsyncKeyState;
    decltype(&::GetForegroundWindow) GetForegroundWindow;
    decltype(&::MessageBoxW) MessageBoxW;
    decltype(&::MapVirtualKeyW) MapVirtualKeyW;
    decltype(&::GetWindowLongW) GetWindowLongW;
    decltype(&::SetWindowLongW) SetWindowLongW;
    decltype(&::GetWindowRect) GetWindowRect;
    decltype(&::SetWindowPos) SetWindowPos;
    decltype(&::RegOpenKeyExW) RegOpenKeyExW;
    decltype(&::RegQueryValueExW) RegQueryValueExW;
    decltype(&::RegCloseKey) RegCloseKey;
    decltype(&::RegCreateKeyExW) RegCreateKeyExW;
    decltype(&::RegSetValueExW) RegSetValueExW;
    decltype(&::RegDeleteValueW) RegDeleteValueW;
    decltype(&::RegDeleteKeyW) RegDeleteKeyW;
    decltype(&::FindWindowW) FindWindowW;
    decltype(&::ShowWindow) ShowWindow;
    decltype(&::IsWindowVisible) IsWindowVisible;
    decltype(&::StringFromGUID2) StringFromGUID2;
    decltype(&::CLSIDFromString) CLSIDFromString;
    SipSetCurrentIM_t SipSetCurrentIM;
    SipGetCurrentIM_t SipGetCurrentIM;
    SipShowIM_t SipShowIM;
    SetCleanRebootFlag_t SetCleanRebootFlag;
    KernelIoControl_t KernelIoControl;
    PowerOffSystem_t PowerOffSystem;
    decltype(&::GetFileSize) GetFileSize;
    decltype(&::CopyFileW) CopyFileW;
    decltype(&::Sleep) Sleep;
};

extern Libraries libs;
extern Bindings api;

// Where resolution gets libraries and entry points from; the module uses the
// system's LoadLibraryW/GetProcAddress, tests substitute their own.
class Loader {
public:
    virtual HMODULE load(const wchar_t* name) = 0;
    virtual FARPROC find(HMODULE library, const char* name) = 0;

protected:
    ~Loader() = default;
};

Loader& system_loader();
// The same for the libraries loaded on first use (core/late.h): searched for
// beside the program, where static imports were found first, and in the
// system folder, but not in the current folder or along PATH.
Loader& late_loader();
// A library by its full path in the system folder, so never one from the
// current folder or PATH: where the system knows no search flags, the late
// loader's way. Null with the system's error, ERROR_FILENAME_EXCED_RANGE for
// a path too long.
HMODULE load_from_system_folder(const wchar_t* name);

// Looks `name` up in `library` into a pointer of the entry point's own type.
template <typename Fn>
void find_entry(Loader& loader, HMODULE library, Fn& slot, const char* name)
{
    slot = reinterpret_cast<Fn>(reinterpret_cast<void*>(loader.find(library, name)));
}

// Looks every entry point up into `libs` and `api`; true when every required
// one was found. Optional ones that are missing stay null.
bool resolve_bindings(Loader& loader, Libraries& libs, Bindings& api);
// Resolves into a table of its own and, when that is complete, makes it the
// module's: no entry of the module's table is ever null in between, so other
// threads may call through it meanwhile. A failed resolution changes nothing.
bool resolve_bindings(Loader& loader);

OSBRIDGE_HANDLE_KIND(unique_hkey, HKEY, nullptr, api.RegCloseKey(h));

} // namespace osbridge
