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
# The build speaks only when it fails: the output is the tour's own.
mkdir -p "build/$arch"
if ! { cmake --preset "$arch" && cmake --build --preset "$arch"; } >"build/$arch/demo-build.log" 2>&1; then
    tail -n 40 "build/$arch/demo-build.log"
    exit 1
fi

. scripts/wine-env.sh
if ! wine_start 2>"build/$arch/demo-wine.log"; then cat "build/$arch/demo-wine.log" >&2; exit 1; fi
trap wine_stop EXIT
log=$(mktemp)
status=0
(cd "build/$arch" && run_win "$arch" lua.exe "$(winpath "$OLDPWD/$script")") >"$log" 2>&1 </dev/null || status=$?
tr -d '\r' <"$log"
rm -f "$log"
exit $status
