/* Recording stand-in for winmm: the module takes only PlaySoundW from it.
 * Each call is appended to winmm-calls.log beside this DLL as
 * "PlaySoundW <path> <module> <flags>" (path in UTF-8, flags in hex), and
 * reported as played unless the path names a file that does not exist. */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <stdio.h>

static HINSTANCE self;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH)
        self = instance;
    return TRUE;
}

BOOL WINAPI PlaySoundW(LPCWSTR sound, HMODULE module, DWORD flags)
{
    wchar_t log_path[MAX_PATH];
    DWORD n = GetModuleFileNameW(self, log_path, MAX_PATH);
    while (n && log_path[n - 1] != L'\\')
        --n;
    lstrcpyW(log_path + n, L"winmm-calls.log");

    char path[1024] = "(null)";
    if (sound)
        WideCharToMultiByte(CP_UTF8, 0, sound, -1, path, sizeof path, NULL, NULL);
    FILE* log = _wfopen(log_path, L"ab");
    if (log) {
        fprintf(log, "PlaySoundW %s %p 0x%08lx\n", path, (void*)module, (unsigned long)flags);
        fclose(log);
    }
    return sound && GetFileAttributesW(sound) != INVALID_FILE_ATTRIBUTES;
}
