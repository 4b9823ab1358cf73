/* Recording stand-in for the remote access service. At every call it reads
 * what to serve from "rasapi32-scenario.txt" beside this library and appends
 * one line per call to "rasapi32-calls.txt" there. Scenario lines:
 *
 *   entry|NAME                               a phone-book entry, NAME may be empty
 *   connection|HANDLE|NAME                   an active connection
 *   status|HANDLE|STATE|ERROR|TYPE|DEVICE    what RasGetConnectStatusW reports
 *   result|CALL|CODE                         CALL answers CODE after its checks
 *
 * Handles, states and codes are decimal. Enumerations answer 603 and the size
 * they need while the buffer is too small, and write their records with the
 * stride of the layout the module must use; a record whose dwSize is not that
 * layout's size is refused with 632 and logged as "size=wrong:N".
 * RasGetEntryDialParamsW knows the listed entries only (623 otherwise) and
 * fills in the user name "user-NAME"; RasDialW hands out handle 4660 whatever
 * it answers, and RasHangUpW knows that handle and the connections' ones. */
#include <windows.h>
#include <ras.h>
#include <raserror.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define STANDIN_NAME "rasapi32"
#include "standin.h"
#include <wchar.h>

/* The layouts the module must ask for: published records up to luid,
 * szPhonebookPath, szPhoneNumber and dwCallbackId. */
#ifdef _WIN64
enum { CONNECTION_SIZE = 1372, ENTRY_NAME_SIZE = 1048, STATUS_SIZE = 564, DIAL_PARAMS_SIZE = 2108 };
#else
enum { CONNECTION_SIZE = 1368, ENTRY_NAME_SIZE = 1048, STATUS_SIZE = 564, DIAL_PARAMS_SIZE = 2104 };
#endif

#define DIALED_HANDLE ((HRASCONN)(ULONG_PTR)4660)
#define MAX_ITEMS 8

typedef struct {
    ULONG_PTR handle;
    WCHAR name[RAS_MaxEntryName + 1];
} connection_t;

typedef struct {
    ULONG_PTR handle;
    long state;
    DWORD error;
    WCHAR type[RAS_MaxDeviceType + 1];
    WCHAR device[RAS_MaxDeviceName + 1];
} status_t;

static struct {
    int entries, connections, statuses;
    WCHAR entry[MAX_ITEMS][RAS_MaxEntryName + 1];
    connection_t connection[MAX_ITEMS];
    status_t status[MAX_ITEMS];
    call_codes result;
} scenario;

static void widen(WCHAR* target, size_t capacity, const char* text)
{
    memset(target, 0, capacity * sizeof(WCHAR));
    MultiByteToWideChar(CP_ACP, 0, text, -1, target, (int)capacity - 1);
}

static void scenario_line(const char* kind, char** cursor)
{
    if (!strcmp(kind, "entry") && scenario.entries < MAX_ITEMS) {
        widen(scenario.entry[scenario.entries++], RAS_MaxEntryName + 1, field(cursor));
    } else if (!strcmp(kind, "connection") && scenario.connections < MAX_ITEMS) {
        connection_t* c = &scenario.connection[scenario.connections++];
        c->handle = strtoul(field(cursor), NULL, 10);
        widen(c->name, RAS_MaxEntryName + 1, field(cursor));
    } else if (!strcmp(kind, "status") && scenario.statuses < MAX_ITEMS) {
        status_t* s = &scenario.status[scenario.statuses++];
        s->handle = strtoul(field(cursor), NULL, 10);
        s->state = strtol(field(cursor), NULL, 10);
        s->error = strtoul(field(cursor), NULL, 10);
        widen(s->type, RAS_MaxDeviceType + 1, field(cursor));
        widen(s->device, RAS_MaxDeviceName + 1, field(cursor));
    } else if (!strcmp(kind, "result")) {
        add_call_code(&scenario.result, cursor);
    }
}

static void load_scenario(void)
{
    memset(&scenario, 0, sizeof scenario);
    read_scenario(scenario_line);
}

/* The code the scenario sets for a call, or `otherwise`. */
static DWORD answer(const char* call, DWORD otherwise)
{
    const DWORD* code = call_code(&scenario.result, call);
    return code ? *code : otherwise;
}

/* "ok", "none" for no record, or "wrong:N". */
static const char* size_text(const DWORD* record, DWORD expected)
{
    static char text[32];
    if (!record)
        return "none";
    if (*record == expected)
        return "ok";
    snprintf(text, sizeof text, "wrong:%lu", (unsigned long)*record);
    return text;
}

static const char* narrow(const WCHAR* text)
{
    static char buffer[4][600];
    static int next;
    char* out = buffer[next++ % 4];
    if (!text)
        return "(null)";
    WideCharToMultiByte(CP_ACP, 0, text, -1, out, 600, NULL, NULL);
    return out;
}

/* Fills `count` records of `size` bytes after the size and buffer checks. */
static DWORD enumerate(void* buffer, LPDWORD bytes, LPDWORD count, DWORD size, int items,
                       void (*fill)(BYTE* record, int index))
{
    const DWORD needed = size * (DWORD)items;
    int i;
    if (buffer && *(DWORD*)buffer != size)
        return ERROR_INVALID_SIZE;
    *count = (DWORD)items;
    if (!buffer || *bytes < needed) {
        *bytes = needed;
        return needed ? ERROR_BUFFER_TOO_SMALL : 0;
    }
    *bytes = needed;
    for (i = 0; i < items; ++i) {
        BYTE* record = (BYTE*)buffer + (size_t)i * size;
        *(DWORD*)record = size;
        fill(record, i);
    }
    return 0;
}

static void fill_entry(BYTE* record, int index)
{
    memcpy(((RASENTRYNAMEW*)record)->szEntryName, scenario.entry[index], sizeof scenario.entry[index]);
}

static void fill_connection(BYTE* record, int index)
{
    RASCONNW* connection = (RASCONNW*)record;
    connection->hrasconn = (HRASCONN)scenario.connection[index].handle;
    memcpy(connection->szEntryName, scenario.connection[index].name, sizeof connection->szEntryName);
}

DWORD WINAPI RasEnumEntriesW(LPCWSTR reserved, LPCWSTR book, LPRASENTRYNAMEW entries, LPDWORD bytes,
                             LPDWORD count)
{
    const char* size = size_text(entries ? &entries->dwSize : NULL, ENTRY_NAME_SIZE);
    const DWORD given = *bytes;
    DWORD result;
    load_scenario();
    result = enumerate(entries, bytes, count, ENTRY_NAME_SIZE, scenario.entries, fill_entry);
    result = answer("RasEnumEntriesW", result);
    record("RasEnumEntriesW reserved=%s book=%s size=%s bytes=%lu -> %lu", narrow(reserved), narrow(book), size,
           (unsigned long)given, (unsigned long)result);
    return result;
}

DWORD WINAPI RasEnumConnectionsW(LPRASCONNW connections, LPDWORD bytes, LPDWORD count)
{
    const char* size = size_text(connections ? &connections->dwSize : NULL, CONNECTION_SIZE);
    const DWORD given = *bytes;
    DWORD result;
    load_scenario();
    result = enumerate(connections, bytes, count, CONNECTION_SIZE, scenario.connections, fill_connection);
    result = answer("RasEnumConnectionsW", result);
    record("RasEnumConnectionsW size=%s bytes=%lu -> %lu", size, (unsigned long)given, (unsigned long)result);
    return result;
}

DWORD WINAPI RasGetConnectStatusW(HRASCONN connection, LPRASCONNSTATUSW status)
{
    const char* size = size_text(&status->dwSize, STATUS_SIZE);
    DWORD result = ERROR_INVALID_HANDLE;
    int i;
    load_scenario();
    if (status->dwSize != STATUS_SIZE)
        result = ERROR_INVALID_SIZE;
    for (i = 0; i < scenario.statuses && result == ERROR_INVALID_HANDLE; ++i) {
        const status_t* s = &scenario.status[i];
        if ((HRASCONN)s->handle != connection)
            continue;
        status->rasconnstate = (RASCONNSTATE)s->state;
        status->dwError = s->error;
        memcpy(status->szDeviceType, s->type, sizeof s->type);
        memcpy(status->szDeviceName, s->device, sizeof s->device);
        result = 0;
    }
    result = answer("RasGetConnectStatusW", result);
    record("RasGetConnectStatusW handle=%lu size=%s -> %lu", (unsigned long)(ULONG_PTR)connection, size,
           (unsigned long)result);
    return result;
}

DWORD WINAPI RasGetEntryDialParamsW(LPCWSTR book, LPRASDIALPARAMSW params, LPBOOL password_saved)
{
    const char* size = size_text(&params->dwSize, DIAL_PARAMS_SIZE);
    DWORD result = ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
    int i;
    load_scenario();
    if (params->dwSize != DIAL_PARAMS_SIZE)
        result = ERROR_INVALID_SIZE;
    for (i = 0; i < scenario.entries && result == ERROR_CANNOT_FIND_PHONEBOOK_ENTRY; ++i) {
        if (wcscmp(scenario.entry[i], params->szEntryName))
            continue;
        swprintf(params->szUserName, UNLEN + 1, L"user-%ls", params->szEntryName);
        wcscpy(params->szPassword, L"secret");
        *password_saved = TRUE;
        result = 0;
    }
    result = answer("RasGetEntryDialParamsW", result);
    record("RasGetEntryDialParamsW book=%s size=%s name=%s -> %lu", narrow(book), size,
           narrow(params->szEntryName), (unsigned long)result);
    return result;
}

DWORD WINAPI RasDialW(LPRASDIALEXTENSIONS extensions, LPCWSTR book, LPRASDIALPARAMSW params, DWORD notifier_type,
                      LPVOID notifier, LPHRASCONN connection)
{
    const char* size = size_text(&params->dwSize, DIAL_PARAMS_SIZE);
    const HRASCONN given = *connection;
    DWORD result;
    load_scenario();
    result = answer("RasDialW", params->dwSize == DIAL_PARAMS_SIZE ? 0 : ERROR_INVALID_SIZE);
    *connection = DIALED_HANDLE;
    record("RasDialW extensions=%s book=%s size=%s name=%s user=%s password=%s notifier=%lu/%s handle=%lu -> %lu",
           extensions ? "set" : "(null)", narrow(book), size, narrow(params->szEntryName),
           narrow(params->szUserName), narrow(params->szPassword), (unsigned long)notifier_type,
           notifier ? "set" : "(null)", (unsigned long)(ULONG_PTR)given, (unsigned long)result);
    return result;
}

DWORD WINAPI RasHangUpW(HRASCONN connection)
{
    DWORD result = connection == DIALED_HANDLE ? 0 : ERROR_INVALID_HANDLE;
    int i;
    load_scenario();
    for (i = 0; i < scenario.connections; ++i)
        if ((HRASCONN)scenario.connection[i].handle == connection)
            result = 0;
    result = answer("RasHangUpW", result);
    record("RasHangUpW handle=%lu -> %lu", (unsigned long)(ULONG_PTR)connection, (unsigned long)result);
    return result;
}
