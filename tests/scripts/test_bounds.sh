#!/usr/bin/env bash
# The harness's bound on Windows programs, in the Wine instance that
# scripts/wine-env.sh has started: a program that never ends, and leaves a
# program of its own holding its output, is ended with everything of its
# prefix, named, and the caller goes on; one that ends keeps its status and
# output.
#
#   tests/scripts/test_bounds.sh ARCH RUN_DIR   (RUN_DIR holds lua.exe)
set -uo pipefail
cd "$(dirname "$0")/../.."
arch=$1 dir=$2
. scripts/wine-env.sh
log=$(mktemp)
trap 'rm -f "$log"' EXIT
passed=0 failed=0

# NAME LIMIT EXPECTED_STATUS LOG_PATTERN LUA_CODE: runs lua.exe -e LUA_CODE under
# wine_bounded; it must end within LIMIT + 60 s, with that status, a log that
# matches LOG_PATTERN (grep -E, its lines joined), and nothing of its own left running.
check() {
    local name=$1 limit=$2 expected=$3 pattern=$4 code=$5 started=$SECONDS status left
    wine_bounded "$limit" "$log" "$(wine_for "$arch")" "$dir/lua.exe" -e "$code" 2>/dev/null
    status=$?
    left=$(wine_leftovers)
    if [ "$status" = "$expected" ] && [ $((SECONDS - started)) -le $((limit + 60)) ] && [ -z "$left" ] \
            && tr '\r\n' '  ' <"$log" | grep -qE -- "$pattern"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED  $name: status $status (expected $expected) after $((SECONDS - started)) s; left running: ${left:-nothing}; log:"
        sed 's/^/    /' "$log"
    fi
    [ -z "$left" ] || wine_restart
}

check "a program that ends keeps its status and output" 120 3 '^done +$' 'print("done") os.exit(3)'
# Notepad, started through the shell, has the stuck program's output handles.
check "a stuck program and what it started are ended, and named" 15 124 \
    'stopped after [0-9]+ s.*notepad\.exe' 'os.execute("start notepad.exe") while true do end'

echo "bounds tests: $passed passed, $failed failed"
[ "$failed" = 0 ]
