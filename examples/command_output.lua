-- Recipe: run a command and read what it printed, with its exit code and a
-- time-out, without a console window and without the shell's quoting.
--     lua.exe examples\command_output.lua
--
-- run_process reads the program's output and errors as it writes them, and
-- writes what `input` holds to it. A time-out ends the program and all it
-- started. The bytes come as the program wrote them: console programs write
-- in the console's (OEM) code page and end lines with CR LF.
require "osbridge"

-- cmd's own commands run through "cmd /c"; programs run directly.
local code, output, errors = osbridge.run_process("cmd /c ver", {timeout_ms = 30000})
assert(code == 0, "cmd /c ver: " .. tostring(output))
print("exit code " .. code .. ", output: " .. output:gsub("%s+$", ""):gsub("^%s+", ""))

-- What a program writes to its error stream comes apart from its output.
code, output, errors = osbridge.run_process('cmd /c dir "C:\\no such folder"', {timeout_ms = 30000})
print(("dir of a missing folder: exit code %s, %d bytes of errors"):format(tostring(code), #errors))
assert(code ~= 0 and #errors > 0)

-- Input written to the program, its answer read back.
code, output = osbridge.run_process('find "apple"', {input = "pear\r\napple pie\r\nplum\r\n", timeout_ms = 30000})
print("find in the input:", code, (output:gsub("%s+$", "")))
assert(code == 0 and output:find("apple pie", 1, true))

-- A program that does not end in time: nil, "timeout", and what it wrote so
-- far. This interpreter serves as the program: it says hello, then sleeps.
local lua = osbridge.process_modules(0)[0].path
local line = ('"%s" -e "io.write(\'hello\') io.stdout:flush() require(\'osbridge\').sleep(30000)"'):format(lua)
local started = os.time()
local result = {osbridge.run_process(line, {timeout_ms = 1000})}
print("a program that sleeps 30 s, 1 s allowed:", result[1], result[2], ("%q so far"):format(result[3] or ""))
assert(result[1] == nil and result[2] == "timeout" and result[3] == "hello" and os.time() - started < 20)
