/* Recording stand-in for the internet library's URL cache. At every
 * FindFirstUrlCacheEntryW it reads what to serve from "wininet-scenario.txt"
 * beside this library; every call appends one line to "wininet-calls.txt"
 * there. Scenario lines:
 *
 *   entry|TYPE|URL|BYTES   a cache entry; its record needs BYTES bytes (at
 *                          least the record and its URL)
 *   fail|CALL|CODE         every call of CALL fails with CODE; for 122 it
 *                          also asks for 1000 bytes more than it was given
 *
 * A buffer smaller than an entry needs gets 122 and the needed size, and the
 * walk stays on that entry; a walk past the last entry gets 259. */
/* The header declares these entry points as imports; here they are defined. */
#define DECLSPEC_IMPORT
#include <windows.h>
#include <wininet.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define STANDIN_NAME "wininet"
#include "standin.h"

#define MAX_ITEMS 8

static struct {
    int entries, position, open;
    struct { DWORD type, bytes; WCHAR url[256]; } entry[MAX_ITEMS];
    call_codes failure;
} cache;

static void scenario_line(const char* kind, char** cursor)
{
    if (!strcmp(kind, "entry") && cache.entries < MAX_ITEMS) {
        int i = cache.entries++;
        cache.entry[i].type = strtoul(field(cursor), NULL, 10);
        MultiByteToWideChar(CP_ACP, 0, field(cursor), -1, cache.entry[i].url, 255);
        cache.entry[i].bytes = strtoul(field(cursor), NULL, 10);
    } else if (!strcmp(kind, "fail")) {
        add_call_code(&cache.failure, cursor);
    }
}

static void load_scenario(void)
{
    memset(&cache, 0, sizeof cache);
    read_scenario(scenario_line);
}

static const char* narrow(const WCHAR* text)
{
    static char buffer[600];
    if (!text)
        return "(null)";
    WideCharToMultiByte(CP_ACP, 0, text, -1, buffer, sizeof buffer, NULL, NULL);
    return buffer;
}

/* Serves the entry at the walk's position into `info`; FALSE with the last
 * error set when the call is to fail, the buffer is too small or the walk
 * is over. */
static BOOL serve(const char* call, LPINTERNET_CACHE_ENTRY_INFOW info, LPDWORD size)
{
    const DWORD* failure = call_code(&cache.failure, call);
    DWORD needed;
    WCHAR* url;
    record("%s struct=%lu size=%lu", call, info ? (unsigned long)info->dwStructSize : 0UL, (unsigned long)*size);
    if (failure) {
        if (*failure == ERROR_INSUFFICIENT_BUFFER)
            *size += 1000;
        SetLastError(*failure);
        return FALSE;
    }
    if (cache.position >= cache.entries) {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    url = cache.entry[cache.position].url;
    needed = sizeof *info + (DWORD)(wcslen(url) + 1) * sizeof(WCHAR);
    if (needed < cache.entry[cache.position].bytes)
        needed = cache.entry[cache.position].bytes;
    if (!info || *size < needed) {
        *size = needed;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    memset(info, 0, needed);
    info->dwStructSize = sizeof *info;
    info->CacheEntryType = cache.entry[cache.position].type;
    info->lpszSourceUrlName = (WCHAR*)(info + 1);
    wcscpy(info->lpszSourceUrlName, url);
    *size = needed;
    ++cache.position;
    return TRUE;
}

HANDLE WINAPI FindFirstUrlCacheEntryW(LPCWSTR pattern, LPINTERNET_CACHE_ENTRY_INFOW info, LPDWORD size)
{
    if (cache.open == 0)
        load_scenario();
    if (pattern)
        record("pattern=%s", narrow(pattern));
    if (!serve("FindFirstUrlCacheEntryW", info, size))
        return NULL;
    ++cache.open;
    return (HANDLE)&cache;
}

BOOL WINAPI FindNextUrlCacheEntryW(HANDLE find, LPINTERNET_CACHE_ENTRY_INFOW info, LPDWORD size)
{
    if (find != (HANDLE)&cache) {
        record("FindNextUrlCacheEntryW handle=bad");
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return serve("FindNextUrlCacheEntryW", info, size);
}

BOOL WINAPI DeleteUrlCacheEntryW(LPCWSTR url)
{
    record("DeleteUrlCacheEntryW url=%s", narrow(url));
    return TRUE;
}

BOOL WINAPI FindCloseUrlCache(HANDLE find)
{
    const int ok = find == (HANDLE)&cache && cache.open > 0;
    record("FindCloseUrlCache handle=%s", ok ? "ok" : "bad");
    if (ok)
        --cache.open;
    return ok;
}
