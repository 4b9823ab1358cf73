-- fixtures/threads_host.exe: Lua states in several threads at once (the
-- module required while other threads call it, last-error texts, two password
-- dialogs). Built for the module's architecture; it finds its Lua DLL on PATH.
TestRobustThreads = {}

function TestRobustThreads.test_states_in_threads_keep_their_own_results()
    local seconds = os.getenv("OSB_ROBUST_SAMPLE") and 2 or 5
    local command = ('cmd /c set "PATH=%s;%%PATH%%" && "%s\\fixtures\\threads_host.exe" "%s" %d'):format(
        BUILD_DIR, BUILD_DIR, BUILD_DIR, seconds)
    -- Past its own bounds for stuck threads and dialogs (two minutes each).
    local output = require("support").run(command, 420)
    if os.getenv("OSB_ROBUST_TIMES") then print("\n" .. output) end
    lu.assertStrContains(output, "done, 0 failed", false, output)
    lu.assertNotStrContains(output, "FAIL")
end
