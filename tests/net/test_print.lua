-- Raw print jobs through Wine's real spooler, to a printer whose port is a
-- file, so that what the printer received can be read back.

local function count(...) return select("#", ...), ... end

local printer = "osbridge test printer"
-- The port is a Unix path (Wine copies each finished job there); the test
-- reads it back through drive Z:.
local output = BUILD_DIR .. "\\print-test.prn"
local output_unix = output:gsub("^[Zz]:", ""):gsub("\\", "/")
local fixture = BUILD_DIR .. "\\fixtures\\printer_fixture.exe"

local function read_output() return require("support").read_file(output) end

local function run_fixture(...)
    local command = '"' .. fixture .. '"'
    for _, word in ipairs { ... } do command = command .. ' "' .. word .. '"' end
    return (require("support").run(command))
end

TestPrintSpooler = {}

function TestPrintSpooler:setupClass()
    run_fixture("remove", printer)  -- left over from an interrupted run
    self.setup_output = run_fixture("add", printer, output_unix)
end

function TestPrintSpooler:teardownClass()
    run_fixture("remove", printer)
    os.remove(output)
end

function TestPrintSpooler:setUp()
    lu.assertEquals(self.setup_output, "", "printer not set up")
    os.remove(output)
end

function TestPrintSpooler:test_bytes_reach_the_printer_whole()
    local data = "line one\r\n\0\1\2\255 after zero bytes\0"
    lu.assertEquals({ count(osbridge.print_on_printer(printer, data)) }, { 2, true, nil })
    lu.assertEquals(read_output(), data)

    local big = ("0123456789abcdef"):rep(8192) .. "\0end"
    lu.assertEquals({ osbridge.print_on_printer(printer, big, "a named document") }, { true, nil })
    lu.assertEquals(read_output(), big)
end

function TestPrintSpooler:test_unknown_printer()
    lu.assertEquals({ count(osbridge.print_on_printer("no printer by this name", "data")) },
                    { 2, false, "OpenPrinter() error" })
    lu.assertEquals({ osbridge.print_on_printer("", "data") }, { false, "OpenPrinter() error" })
    lu.assertNil(read_output())
end

function TestPrintSpooler:test_argument_errors()
    lu.assertErrorMsgContains("#1", osbridge.print_on_printer)
    lu.assertErrorMsgContains("string expected, got no value", osbridge.print_on_printer, printer)
    lu.assertErrorMsgContains("string expected, got table", osbridge.print_on_printer, printer, "data", {})
    lu.assertNil(read_output())
end
