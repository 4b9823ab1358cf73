#!/usr/bin/env bash
# Sets everything up, builds the 64-bit module and runs examples/tour.lua
# with it under Wine.   scripts/demo.sh [--arch x86_64|i686] [SCRIPT.lua]
set -eEuo pipefail
cd "$(dirname "$0")/.."
step="arguments"
trap 'status=$?; echo "demo.sh: step \"$step\" failed: \`$BASH_COMMAND\` exited with status $status" >&2; exit $status' ERR
arch=x86_64 script=examples/tour.lua
while [ $# -gt 0 ]; do
    case $1 in
        --arch) shift; arch=$1 ;;
        *) script=$1 ;;
    esac
    shift
done

step="set-up"
bash scripts/setup.sh
step="build"
# The build speaks only when it fails: the output is the tour's own.
mkdir -p "build/$arch"
if ! { cmake --preset "$arch" && cmake --build --preset "$arch"; } >"build/$arch/demo-build.log" 2>&1; then
    tail -n 40 "build/$arch/demo-build.log"
    echo "demo.sh: step \"build\" failed: cmake for preset $arch; its log: build/$arch/demo-build.log" >&2
    exit 1
fi

step="Wine"
. scripts/wine-env.sh
if ! wine_start 2>"build/$arch/demo-wine.log"; then
    cat "build/$arch/demo-wine.log" >&2
    echo "demo.sh: step \"Wine\" failed: wine_start found no X display or prefix" >&2
    exit 1
fi
trap wine_stop EXIT
log=$(mktemp)
status=0
# Through a file, under a bound that ends everything the tour started.
(cd "build/$arch" && wine_bounded "$(bound 300)" "$log" "$(wine_for "$arch")" lua.exe "$(winpath "$OLDPWD/$script")") || status=$?
tr -d '\r' <"$log"
rm -f "$log"
[ "$status" = 0 ] || echo "demo.sh: step \"tour\" failed: $script exited with status $status" >&2
exit $status
