/* The line a fixture program prints for an exception that ends it: the code,
 * and the place as module+offset, so that it can be looked up. */
#pragma once

#include <windows.h>
#include <stdio.h>

static void print_exception(const char* prefix, const EXCEPTION_POINTERS* e)
{
    const char* at = (const char*)e->ExceptionRecord->ExceptionAddress;
    HMODULE module = NULL;
    char name[MAX_PATH] = "?";
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, at,
                           &module))
        GetModuleFileNameA(module, name, sizeof name);
    printf("%s: exception 0x%08lx at %p (%s+0x%lx)\n", prefix, (unsigned long)e->ExceptionRecord->ExceptionCode,
           (const void*)at, name, (unsigned long)(at - (const char*)module));
    fflush(stdout);
}
