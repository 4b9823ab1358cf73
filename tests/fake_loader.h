// A Loader for unit tests: serves the real system libraries except those it
// is told to hide, can put its own function in place of an entry point, and
// records every name looked up.
#pragma once

#include "core/bindings.h"

#include <map>
#include <set>
#include <string>

class FakeLoader final : public osbridge::Loader {
public:
    std::set<std::wstring> missing;
    std::map<std::string, FARPROC> replaced;
    std::set<std::string> looked_up;

    HMODULE load(const wchar_t* name) override
    {
        return missing.count(name) ? nullptr : ::LoadLibraryW(name);
    }
    FARPROC find(HMODULE library, const char* name) override
    {
        looked_up.insert(name);
        const auto replacement = replaced.find(name);
        return replacement != replaced.end() ? replacement->second : ::GetProcAddress(library, name);
    }
};
