// Owning wrappers for handle kinds whose close calls need system headers
// that most of the module does without.
#pragma once

#include "core/handles.h"

#include <wininet.h>
#include <winspool.h>

namespace osbridge {

OSBRIDGE_HANDLE_KIND(unique_url_cache_find, HANDLE, nullptr, ::FindCloseUrlCache(h));
OSBRIDGE_HANDLE_KIND(unique_cert_store, HCERTSTORE, nullptr, ::CertCloseStore(h, 0));
OSBRIDGE_HANDLE_KIND(unique_cert_context, PCCERT_CONTEXT, nullptr, ::CertFreeCertificateContext(h));
OSBRIDGE_HANDLE_KIND(unique_printer, HANDLE, nullptr, ::ClosePrinter(h));

// Closes an open printer and reports whether the spooler accepted that.
inline bool close_printer(unique_printer& printer)
{
    return ::ClosePrinter(printer.release()) != FALSE;
}

} // namespace osbridge
