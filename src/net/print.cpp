// Raw print jobs: a block of bytes sent unchanged to a printer through the
// spooler, as one document of one page.
#include "core/functions.h"
#include "core/handles_extra.h"
#include "core/osbridge.h"

namespace osbridge {

int print_on_printer(lua_State* L)
{
    // Every argument is checked before the printer is opened, so an argument
    // error cannot leave a printer handle behind.
    const char* printer_name = luaL_checkstring(L, 1);
    size_t length = 0;
    const char* data = luaL_checklstring(L, 2, &length);
    const char* document = luaL_optstring(L, 3, "Orvek - osbridge");
    const UINT cp = code_page(L);

    const char* failure = nullptr;
    {
        // The converted names are gone before anything is pushed.
        HANDLE opened = nullptr;
        // Without the spooler's library no printer can be opened. Names in a code
        // page of the script's choice reach the spooler as UTF-16, those in the
        // ANSI code page as they always have; names that do not convert open
        // nothing.
        const Winspool* spooler = late::winspool.get();
        const bool wide = cp != CP_ACP;
        WideText wide_printer, wide_document;
        const bool converted =
            !wide || ((wide_printer = a2w(printer_name, cp)) && a2w_optional(document, wide_document, cp));
        if (!spooler || !converted
            || !(wide ? spooler->OpenPrinterW(wide_printer.get(), &opened, nullptr)
                      : spooler->OpenPrinterA(const_cast<char*>(printer_name), &opened, nullptr))) {
            failure = "OpenPrinter() error";
        } else {
            unique_printer printer(opened);
            // No output file and no data type: the job goes to the printer's port
            // in the printer's default data type.
            DOC_INFO_1A info{const_cast<char*>(document), nullptr, nullptr};
            DOC_INFO_1W wide_info{wide_document.get(), nullptr, nullptr};
            DWORD written = 0, count = 0;
            if (!(wide ? spooler->StartDocPrinterW(printer.get(), 1, reinterpret_cast<BYTE*>(&wide_info))
                       : spooler->StartDocPrinterA(printer.get(), 1, reinterpret_cast<BYTE*>(&info))))
                failure = "StartDocPrinter() error";
            else if (!spooler->StartPagePrinter(printer.get()))
                failure = "StartPagePrinter() error";
            // One call only: a block the spooler does not take whole is a failure.
            else if (!to_dword(length, count) ||
                     !spooler->WritePrinter(printer.get(), const_cast<char*>(data), count, &written) || written != count)
                failure = "WritePrinter() error";
            else if (!spooler->EndPagePrinter(printer.get()))
                failure = "EndPagePrinter() error";
            else if (!spooler->EndDocPrinter(printer.get()))
                failure = "EndDocPrinter() error";
            else if (!close_printer(printer))
                failure = "ClosePrinter() error";
        }
    }
    lua_pushboolean(L, failure == nullptr);
    return 1 + push_text_or_nil(L, failure);
}

} // namespace osbridge
