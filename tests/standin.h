/* Shared by the recording stand-ins: the files beside the stand-in's own DLL,
 * one appended line per call, and scenario lines of '|'-separated fields.
 * A stand-in that logs beside itself defines STANDIN_NAME ("rasapi32": it
 * reads "rasapi32-scenario.txt", writes "rasapi32-calls.txt") first. */
#ifndef OSBRIDGE_TESTS_STANDIN_H
#define OSBRIDGE_TESTS_STANDIN_H

#include <windows.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* Appends one formatted line to the file at path. */
static inline void append_line(const char* path, const char* format, va_list args)
{
    FILE* log = fopen(path, "ab");
    if (!log)
        return;
    vfprintf(log, format, args);
    fputc('\n', log);
    fclose(log);
}

/* The next '|'-separated field of a line, empty fields included. */
static inline char* field(char** cursor)
{
    char* start = *cursor;
    char* bar = strchr(start, '|');
    if (bar) {
        *bar = '\0';
        *cursor = bar + 1;
    } else {
        *cursor = start + strlen(start);
    }
    return start;
}

/* Codes a scenario sets for calls by name, read from "KIND|CALL|CODE" lines. */
typedef struct {
    int count;
    struct { char call[32]; DWORD code; } item[8];
} call_codes;

/* Takes CALL|CODE from the cursor; a full table ignores the line. */
static inline void add_call_code(call_codes* codes, char** cursor)
{
    if (codes->count >= (int)(sizeof codes->item / sizeof codes->item[0]))
        return;
    snprintf(codes->item[codes->count].call, sizeof codes->item[0].call, "%s", field(cursor));
    codes->item[codes->count++].code = strtoul(field(cursor), NULL, 10);
}

/* The code set for call, or NULL. */
static inline const DWORD* call_code(const call_codes* codes, const char* call)
{
    int i;
    for (i = 0; i < codes->count; ++i)
        if (!strcmp(codes->item[i].call, call))
            return &codes->item[i].code;
    return NULL;
}

#ifdef STANDIN_NAME
static char standin_directory[MAX_PATH];

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        char* slash;
        GetModuleFileNameA(instance, standin_directory, MAX_PATH);
        if ((slash = strrchr(standin_directory, '\\')))
            slash[1] = '\0';
    }
    return TRUE;
}

static inline FILE* open_beside(const char* name, const char* mode)
{
    char path[MAX_PATH + 32];
    snprintf(path, sizeof path, "%s%s", standin_directory, name);
    return fopen(path, mode);
}

static inline void record(const char* format, ...)
{
    char path[MAX_PATH + 32];
    va_list args;
    snprintf(path, sizeof path, "%s%s", standin_directory, STANDIN_NAME "-calls.txt");
    va_start(args, format);
    append_line(path, format, args);
    va_end(args);
}

/* Hands each line of NAME-scenario.txt to handle: its first field, and the
 * cursor for the others. */
static inline void read_scenario(void (*handle)(const char* kind, char** cursor))
{
    char line[1024];
    FILE* file = open_beside(STANDIN_NAME "-scenario.txt", "rb");
    if (!file)
        return;
    while (fgets(line, sizeof line, file)) {
        char* cursor = line;
        line[strcspn(line, "\r\n")] = '\0';
        handle(field(&cursor), &cursor);
    }
    fclose(file);
}
#endif


#endif
