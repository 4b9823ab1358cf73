// System libraries that only a few functions need (printing, dial-up, the URL
// cache, certificates, sound, bitmaps) are loaded by the first call that needs
// one, not with the module: loading the module then costs no more than the
// libraries its loader must have.
#pragma once

#include "core/bindings.h"

#include <windows.h>
#include <mmsystem.h>
#include <ras.h>
#include <wincrypt.h>
#include <wininet.h>
#include <winspool.h>

namespace osbridge {

// The entry points of one library, looked up together on first use: once per
// process, however many threads and Lua states ask, and whole or not at all.
template <typename Table>
class LateLibrary {
public:
    constexpr explicit LateLibrary(const wchar_t* name) noexcept : name_(name) {}
    LateLibrary(const LateLibrary&) = delete;
    LateLibrary& operator=(const LateLibrary&) = delete;

    // The table, or null with the thread's last error saying why, never 0:
    // the code from loading the library (ERROR_MOD_NOT_FOUND when it is not
    // there or the loader gave none), or ERROR_PROC_NOT_FOUND when it lacks
    // an entry point. The first call decides for the life of the process;
    // only it uses `loader`.
    const Table* get(Loader& loader = late_loader()) noexcept
    {
        Request request{this, &loader};
        ::InitOnceExecuteOnce(&once_, resolve, &request, nullptr);
        if (!complete_)
            ::SetLastError(error_);
        return complete_ ? &table_ : nullptr;
    }

private:
    struct Request {
        LateLibrary* self;
        Loader* loader;
    };

    static BOOL CALLBACK resolve(INIT_ONCE*, void* parameter, void**) noexcept
    {
        LateLibrary& self = *static_cast<Request*>(parameter)->self;
        Loader& loader = *static_cast<Request*>(parameter)->loader;
        const HMODULE library = loader.load(self.name_);
        if (!library) {
            // Never 0: callers answer with the code, and 0 reads as success.
            const DWORD error = ::GetLastError();
            self.error_ = error ? error : ERROR_MOD_NOT_FOUND;
            return TRUE;
        }
        self.complete_ = self.table_.resolve([&](auto& slot, const char* name) {
            find_entry(loader, library, slot, name);
            return slot != nullptr;
        });
        if (!self.complete_) {
            self.table_ = Table{};
            self.error_ = ERROR_PROC_NOT_FOUND;
        }
        return TRUE;
    }

    const wchar_t* name_;
    INIT_ONCE once_ = INIT_ONCE_STATIC_INIT;
    Table table_{};
    bool complete_ = false;
    DWORD error_ = ERROR_SUCCESS;
};

// A table of entry points named by LIST(X), a list of X(name): one member per
// name, typed as the system declares it, and the lookup of them all in order.
#define OSBRIDGE_LATE_MEMBER(name) decltype(&::name) name;
#define OSBRIDGE_LATE_LOOKUP(name) &&find(name, #name)
#define OSBRIDGE_LATE_TABLE(Table, LIST)                                                   \
    struct Table {                                                                         \
        LIST(OSBRIDGE_LATE_MEMBER)                                                         \
        template <typename Find>                                                           \
        bool resolve(Find find) { return true LIST(OSBRIDGE_LATE_LOOKUP); }                \
    }

#define OSBRIDGE_WINSPOOL(X) \
    X(OpenPrinterA) X(OpenPrinterW) X(StartDocPrinterA) X(StartDocPrinterW) X(StartPagePrinter) X(WritePrinter) \
    X(EndPagePrinter) X(EndDocPrinter) X(ClosePrinter)
#define OSBRIDGE_RASAPI32(X) \
    X(RasEnumEntriesW) X(RasEnumConnectionsW) X(RasGetConnectStatusW) X(RasGetEntryDialParamsW) X(RasDialW) \
    X(RasHangUpW)
#define OSBRIDGE_WININET(X) \
    X(FindFirstUrlCacheEntryW) X(FindNextUrlCacheEntryW) X(DeleteUrlCacheEntryW) X(FindCloseUrlCache)
#define OSBRIDGE_CRYPT32(X) \
    X(CertOpenSystemStoreW) X(CertAddEncodedCertificateToStore) X(CertFreeCertificateContext) X(CertCloseStore)
#define OSBRIDGE_WINMM(X) X(PlaySoundW)
#define OSBRIDGE_GDI32(X) X(GetObjectW) X(DeleteObject)

OSBRIDGE_LATE_TABLE(Winspool, OSBRIDGE_WINSPOOL);
OSBRIDGE_LATE_TABLE(Rasapi32, OSBRIDGE_RASAPI32);
OSBRIDGE_LATE_TABLE(Wininet, OSBRIDGE_WININET);
OSBRIDGE_LATE_TABLE(Crypt32, OSBRIDGE_CRYPT32);
OSBRIDGE_LATE_TABLE(Winmm, OSBRIDGE_WINMM);
OSBRIDGE_LATE_TABLE(Gdi32, OSBRIDGE_GDI32);

namespace late {
extern LateLibrary<Winspool> winspool;
extern LateLibrary<Rasapi32> rasapi32;
extern LateLibrary<Wininet> wininet;
extern LateLibrary<Crypt32> crypt32;
extern LateLibrary<Winmm> winmm;
extern LateLibrary<Gdi32> gdi32;
} // namespace late

} // namespace osbridge
