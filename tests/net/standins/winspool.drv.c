/* Recording stand-in for the print spooler. It knows one printer, whose name
 * is "osbridge-standin" followed by options, each ";key=value" or ";key":
 *
 *   log=PATH   append one line per call to PATH
 *   fail=CALL  make that call (for example StartPagePrinter) fail
 *   short      WritePrinter reports one byte fewer written than it was given
 *
 * Lines look like "WritePrinter handle=ok size=3 data=610062" (data in hex, so
 * zero bytes survive); "handle=bad" marks a handle that is not the open one.
 * The UTF-16 forms of the open and document calls record their texts in
 * UTF-8. */
#include <windows.h>
#include <winspool.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "standin.h"

static const char printer_prefix[] = "osbridge-standin";

static struct {
    int open;
    int short_write;
    char log[MAX_PATH];
    char fail[64];
} printer;

static void record(const char* format, ...)
{
    va_list args;
    if (!printer.log[0])
        return;
    va_start(args, format);
    append_line(printer.log, format, args);
    va_end(args);
}

static int is_open(HANDLE handle)
{
    return printer.open && handle == (HANDLE)&printer;
}

static const char* handle_state(HANDLE handle)
{
    return is_open(handle) ? "ok" : "bad";
}

static int fails(const char* call)
{
    return strcmp(printer.fail, call) == 0;
}

static const char* text_or_null(const char* text)
{
    return text ? text : "(null)";
}

/* Records a call on a printer handle and decides whether it fails. */
static BOOL answer(const char* call, HANDLE handle)
{
    record("%s handle=%s", call, handle_state(handle));
    if (fails(call) || !is_open(handle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

static void read_options(const char* options)
{
    memset(&printer, 0, sizeof printer);
    while (*options == ';') {
        const char* start = options + 1;
        const char* end = strchr(start, ';');
        size_t length = end ? (size_t)(end - start) : strlen(start);
        if (length > 4 && strncmp(start, "log=", 4) == 0 && length - 4 < sizeof printer.log)
            memcpy(printer.log, start + 4, length - 4);
        else if (length > 5 && strncmp(start, "fail=", 5) == 0 && length - 5 < sizeof printer.fail)
            memcpy(printer.fail, start + 5, length - 5);
        else if (length == 5 && strncmp(start, "short", 5) == 0)
            printer.short_write = 1;
        options = start + length;
    }
}

static BOOL open_printer(const char* call, const char* name, LPHANDLE handle, int defaults)
{
    if (!name || strncmp(name, printer_prefix, sizeof printer_prefix - 1) != 0 || !handle) {
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return FALSE;
    }
    read_options(name + sizeof printer_prefix - 1);
    record("%s name=%s defaults=%s", call, name, defaults ? "set" : "(null)");
    if (fails(call)) {
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return FALSE;
    }
    printer.open = 1;
    *handle = (HANDLE)&printer;
    return TRUE;
}

static DWORD start_doc(const char* call, HANDLE handle, DWORD level, int have_doc, const char* name,
                       const char* output, const char* datatype)
{
    record("%s handle=%s level=%lu doc=%s output=%s datatype=%s", call, handle_state(handle), level,
           have_doc ? text_or_null(name) : "-", have_doc ? text_or_null(output) : "-",
           have_doc ? text_or_null(datatype) : "-");
    if (fails(call) || !is_open(handle) || level != 1 || !have_doc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return 42;
}

/* UTF-8 of a UTF-16 text in `out`, or null for null (and for one too long). */
static const char* utf8_of(const wchar_t* text, char* out, int size)
{
    return text && WideCharToMultiByte(CP_UTF8, 0, text, -1, out, size, NULL, NULL) > 0 ? out : NULL;
}

BOOL WINAPI OpenPrinterA(LPSTR name, LPHANDLE handle, LPPRINTER_DEFAULTSA defaults)
{
    return open_printer("OpenPrinterA", name, handle, defaults != NULL);
}

BOOL WINAPI OpenPrinterW(LPWSTR name, LPHANDLE handle, LPPRINTER_DEFAULTSW defaults)
{
    char utf8[4 * MAX_PATH];
    return open_printer("OpenPrinterW", utf8_of(name, utf8, sizeof utf8), handle, defaults != NULL);
}

DWORD WINAPI StartDocPrinterA(HANDLE handle, DWORD level, LPBYTE info)
{
    const DOC_INFO_1A* doc = (const DOC_INFO_1A*)info;
    return start_doc("StartDocPrinterA", handle, level, doc != NULL, doc ? doc->pDocName : NULL,
                     doc ? doc->pOutputFile : NULL, doc ? doc->pDatatype : NULL);
}

DWORD WINAPI StartDocPrinterW(HANDLE handle, DWORD level, LPBYTE info)
{
    const DOC_INFO_1W* doc = (const DOC_INFO_1W*)info;
    char name[1024], output[1024], datatype[64];
    return start_doc("StartDocPrinterW", handle, level, doc != NULL,
                     doc ? utf8_of(doc->pDocName, name, sizeof name) : NULL,
                     doc ? utf8_of(doc->pOutputFile, output, sizeof output) : NULL,
                     doc ? utf8_of(doc->pDatatype, datatype, sizeof datatype) : NULL);
}

BOOL WINAPI StartPagePrinter(HANDLE handle)
{
    return answer("StartPagePrinter", handle);
}

BOOL WINAPI WritePrinter(HANDLE handle, LPVOID data, DWORD size, LPDWORD written)
{
    static const char digits[] = "0123456789ABCDEF";
    char* hex = malloc(2 * (size_t)size + 1);
    DWORD i;
    if (!hex)
        return FALSE;
    for (i = 0; i < size; ++i) {
        hex[2 * i] = digits[((const BYTE*)data)[i] >> 4];
        hex[2 * i + 1] = digits[((const BYTE*)data)[i] & 15];
    }
    hex[2 * (size_t)size] = '\0';
    record("WritePrinter handle=%s size=%lu data=%s", handle_state(handle), size, hex);
    free(hex);
    if (!written || fails("WritePrinter") || !is_open(handle)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *written = printer.short_write && size > 0 ? size - 1 : size;
    return TRUE;
}

BOOL WINAPI EndPagePrinter(HANDLE handle)
{
    return answer("EndPagePrinter", handle);
}

BOOL WINAPI EndDocPrinter(HANDLE handle)
{
    return answer("EndDocPrinter", handle);
}

BOOL WINAPI ClosePrinter(HANDLE handle)
{
    BOOL result = answer("ClosePrinter", handle);
    if (handle == (HANDLE)&printer)
        printer.open = 0;
    return result;
}
