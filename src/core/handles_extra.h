// Owning wrappers for handles of the libraries loaded on first use. A handle
// of these kinds comes only from its library's table, so that table is there
// to close it.
#pragma once

#include "core/handles.h"
#include "core/late.h"

namespace osbridge {

OSBRIDGE_HANDLE_KIND(unique_url_cache_find, HANDLE, nullptr, late::wininet.get()->FindCloseUrlCache(h));
OSBRIDGE_HANDLE_KIND(unique_cert_store, HCERTSTORE, nullptr, late::crypt32.get()->CertCloseStore(h, 0));
OSBRIDGE_HANDLE_KIND(unique_cert_context, PCCERT_CONTEXT, nullptr, late::crypt32.get()->CertFreeCertificateContext(h));
OSBRIDGE_HANDLE_KIND(unique_printer, HANDLE, nullptr, late::winspool.get()->ClosePrinter(h));
OSBRIDGE_HANDLE_KIND(unique_hgdiobj, HGDIOBJ, nullptr, late::gdi32.get()->DeleteObject(h));

// Closes an open printer and reports whether the spooler accepted that.
inline bool close_printer(unique_printer& printer)
{
    return late::winspool.get()->ClosePrinter(printer.release()) != FALSE;
}

} // namespace osbridge
