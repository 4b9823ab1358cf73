-- Raw print jobs against the recording stand-in of the spooler: the job's
-- name, the bytes written, the order of the calls, and each step's failure.

local function count(...) return select("#", ...), ... end

local log = BUILD_DIR .. "\\winspool-standin.log"

local function hex(data)
    return (data:gsub(".", function(c) return ("%02X"):format(c:byte()) end))
end

-- The stand-in's printer, with options (see the stand-in) and our log.
local function printer(options)
    return "osbridge-standin;log=" .. log .. (options and ";" .. options or "")
end

-- The calls the stand-in saw, one string each, the open call's name cut off.
local function calls()
    local f = io.open(log, "rb")
    if not f then return {} end
    local seen = {}
    for line in f:lines() do
        seen[#seen + 1] = line:gsub("^OpenPrinterA name=.- defaults=", "OpenPrinterA defaults=")
    end
    f:close()
    return seen
end

local function job(doc, data)
    return {
        "OpenPrinterA defaults=(null)",
        "StartDocPrinterA handle=ok level=1 doc=" .. doc .. " output=(null) datatype=(null)",
        "StartPagePrinter handle=ok",
        "WritePrinter handle=ok size=" .. #data .. " data=" .. hex(data),
        "EndPagePrinter handle=ok",
        "EndDocPrinter handle=ok",
        "ClosePrinter handle=ok",
    }
end

TestPrintStandin = {}

function TestPrintStandin:setUp() os.remove(log) end
function TestPrintStandin:tearDown() os.remove(log) end

function TestPrintStandin:test_job_name_data_and_order()
    local data = "\0\27E raw\0\0 bytes\255\0"
    lu.assertEquals({ count(osbridge.print_on_printer(printer(), data)) }, { 2, true, nil })
    lu.assertEquals(calls(), job("Orvek - osbridge", data))

    os.remove(log)
    lu.assertEquals({ osbridge.print_on_printer(printer(), "x", "Invoice 17") }, { true, nil })
    lu.assertEquals(calls(), job("Invoice 17", "x"))

    os.remove(log)
    lu.assertEquals({ osbridge.print_on_printer(printer(), "", nil) }, { true, nil })
    lu.assertEquals(calls(), job("Orvek - osbridge", ""))
end

function TestPrintStandin:test_names_in_utf8_go_as_utf16()
    local texts = require "texts"
    local name = printer("name=" .. texts.unicode[4])
    lu.assertEquals({ texts.in_utf8(osbridge.print_on_printer, name, "x", texts.unicode[2]) }, { true, nil })
    local expected = job(texts.unicode[2], "x")
    expected[1] = "OpenPrinterW name=" .. name .. " defaults=(null)"
    expected[2] = expected[2]:gsub("^StartDocPrinterA", "StartDocPrinterW")
    lu.assertEquals(calls(), expected)
    -- Names that are no UTF-8 open no printer.
    os.remove(log)
    for _, bad in ipairs(texts.invalid_utf8) do
        lu.assertEquals({ texts.in_utf8(osbridge.print_on_printer, printer(bad), "x") }, { false, "OpenPrinter() error" })
        lu.assertEquals({ texts.in_utf8(osbridge.print_on_printer, printer(), "x", bad) }, { false, "OpenPrinter() error" })
    end
    lu.assertEquals(calls(), {})
end

function TestPrintStandin:test_each_failing_step_closes_the_printer()
    local steps = {
        { "StartDocPrinterA", "StartDocPrinter() error", 2 },
        { "StartPagePrinter", "StartPagePrinter() error", 3 },
        { "WritePrinter", "WritePrinter() error", 4 },
        { "EndPagePrinter", "EndPagePrinter() error", 5 },
        { "EndDocPrinter", "EndDocPrinter() error", 6 },
    }
    for _, step in ipairs(steps) do
        local call, message, made = step[1], step[2], step[3]
        os.remove(log)
        lu.assertEquals({ count(osbridge.print_on_printer(printer("fail=" .. call), "data")) }, { 2, false, message })
        -- The calls up to the failing one, then only the clean-up close.
        local expected = {}
        for i = 1, made do expected[i] = job("Orvek - osbridge", "data")[i] end
        expected[#expected + 1] = "ClosePrinter handle=ok"
        lu.assertEquals(calls(), expected, call)
    end
end

function TestPrintStandin:test_open_and_close_failures()
    lu.assertEquals({ count(osbridge.print_on_printer(printer("fail=OpenPrinterA"), "data")) },
                    { 2, false, "OpenPrinter() error" })
    lu.assertEquals(calls(), { "OpenPrinterA defaults=(null)" })

    os.remove(log)
    lu.assertEquals({ osbridge.print_on_printer(printer("fail=ClosePrinter"), "data") },
                    { false, "ClosePrinter() error" })
    lu.assertEquals(calls(), job("Orvek - osbridge", "data"))

    lu.assertEquals({ osbridge.print_on_printer("some other printer", "data") }, { false, "OpenPrinter() error" })
end

function TestPrintStandin:test_partial_write_is_a_failure()
    lu.assertEquals({ osbridge.print_on_printer(printer("short"), "abc") }, { false, "WritePrinter() error" })
    local seen = calls()
    lu.assertEquals(#seen, 5, table.concat(seen, "\n"))  -- written once, never retried
    lu.assertEquals(seen[4], "WritePrinter handle=ok size=3 data=616263")
    lu.assertEquals(seen[5], "ClosePrinter handle=ok")
end

function TestPrintStandin:test_argument_errors_open_nothing()
    lu.assertErrorMsgContains("string expected, got no value", osbridge.print_on_printer, printer())
    lu.assertErrorMsgContains("string expected, got boolean", osbridge.print_on_printer, printer(), true)
    lu.assertErrorMsgContains("string expected, got table", osbridge.print_on_printer, printer(), "data", {})
    lu.assertErrorMsgContains("string expected, got nil", osbridge.print_on_printer, nil, "data")
    lu.assertEquals(calls(), {})
end

function TestPrintStandin:test_names_taken_up_to_a_zero_byte()
    lu.assertEquals({ osbridge.print_on_printer(printer() .. "\0;fail=OpenPrinterA", "d", "Doc\0hidden") },
                    { true, nil })
    lu.assertEquals(calls()[2], "StartDocPrinterA handle=ok level=1 doc=Doc output=(null) datatype=(null)")
end
