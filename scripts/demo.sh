#!/usr/bin/env bash
# Sets everything up, builds the 64-bit module and runs examples/tour.lua
# with it under Wine.   scripts/demo.sh [--arch x86_64|i686] [SCRIPT.lua]
set -euo pipefail
cd "$(dirname "$0")/.."
arch=x86_64 script=examples/tour.lua
while [ $# -gt 0 ]; do
    case $1 in
        --arch) shift; arch=$1 ;;
        *) script=$1 ;;
    esac
    shift
done

bash scripts/setup.sh
cmake --preset "$arch" >/dev/null
cmake --build --preset "$arch" -- --no-print-directory -s

. scripts/wine-env.sh
wine_start || exit 1
trap wine_stop EXIT
log=$(mktemp)
status=0
(cd "build/$arch" && run_win "$arch" lua.exe "$(winpath "$OLDPWD/$script")") >"$log" 2>&1 </dev/null || status=$?
tr -d '\r' <"$log"
rm -f "$log"
exit $status
