#!/usr/bin/env bash
# Builds osbridge for both architectures and runs the whole test suite under
# Wine: C++ unit tests, the Lua suite, and the Lua suite that runs against
# recording stand-ins of system libraries.
#
#   scripts/test.sh [--arch x86_64|i686|all] [--no-setup] [--no-build] [FILE_PATTERN]
#
# FILE_PATTERN limits the Lua files run (a grep -E pattern on their paths);
# OSB_TEST_FILTER limits LuaUnit tests by name pattern.
set -uo pipefail
cd "$(dirname "$0")/.."

arches=(x86_64 i686)
setup=1 build=1 pattern=.
while [ $# -gt 0 ]; do
    case $1 in
        --arch) shift; [ "$1" = all ] && arches=(x86_64 i686) || arches=("$1") ;;
        --no-setup) setup=0 ;;
        --no-build) build=0 ;;
        *) pattern=$1 ;;
    esac
    shift
done

[ "$setup" = 1 ] && { bash scripts/setup.sh || exit 1; }
if [ "$build" = 1 ]; then
    for arch in "${arches[@]}"; do
        dir=build/$arch${OSB_BUILD_SUFFIX:-}
        mkdir -p "$dir"
        if ! { cmake --preset "$arch" -B "$dir" && cmake --build "$dir" -j2; } >"$dir/build.log" 2>&1; then
            tail -n 40 "$dir/build.log"
            echo "build failed for $arch"
            exit 1
        fi
        # Warnings are errors for this project, but are reported, not fatal here.
        grep -E 'warning:' "$dir/build.log" || true
    done
fi

. scripts/wine-env.sh
. scripts/test-robust.sh
wine_start || exit 1
trap wine_stop EXIT

passed=0 failed=0
tally() {  # reads a program's output, echoes it, adds its closing counts
    local line
    while IFS= read -r line; do
        line=${line%$'\r'}
        printf '%s\n' "$line"
        if [[ $line =~ ^[a-z0-9\ ]+:\ ([0-9]+)\ passed,\ ([0-9]+)\ failed$ ]]; then
            passed=$((passed + BASH_REMATCH[1])); failed=$((failed + BASH_REMATCH[2]))
            seen=1
        fi
    done
}
run_suite() {  # ARCH TITLE COMMAND... : a suite that prints no count failed
    local arch=$1 title=$2 attempt stalled=0 before log done_list; shift 2
    done_list=$(mktemp)
    for attempt in 1 2 3 4 5 6 7 8 9 10; do
        echo "== $arch: $title"
        seen=0
        # Through a file, not a pipe: Wine's background services inherit the
        # output handles of the program that started them and would hold a pipe open.
        log=$(mktemp)
        OSB_TEST_DONE=$([ -s "$done_list" ] && winpath "$done_list") run_win "$arch" "$@" >"$log" 2>&1 </dev/null
        tally <"$log"
        # qemu-user kills the emulated 32-bit interpreter with SIGSEGV now and
        # then, in a different test each time; the run is taken up again from
        # there, with the tests that had ended counted as they ended. The
        # verbose log names them. Two attempts in a row that end no test mean
        # a crash that is not by chance.
        before=$(wc -l <"$done_list")
        sed -nE 's/^    ([A-Za-z0-9_]+\.[A-Za-z0-9_]+) \.\.\. (Ok|FAIL|ERROR)[[:space:]]*$/\1 \2/p' "$log" >>"$done_list"
        rm -f "$log"
        [ "$seen" = 1 ] && break
        [ "$(wc -l <"$done_list")" = "$before" ] && stalled=$((stalled + 1)) || stalled=0
        [ "$arch" = i686 ] && [ "$attempt" -lt 10 ] && [ "$stalled" -lt 2 ] || break
        echo "$arch $title: ended without a result line; taking it up again"
    done
    rm -f "$done_list"
    [ "$seen" = 1 ] && return
    echo "$arch $title: no result line"
    failed=$((failed + 1))
}

tests_win=$(winpath tests)
mapfile -t lua_files < <(find tests -name 'test_*.lua' | sort | grep -E -- "$pattern")
mapfile -t standin_files < <(find tests -name 'standin_*.lua' | sort | grep -E -- "$pattern")

for arch in "${arches[@]}"; do
    build_dir=build/$arch${OSB_BUILD_SUFFIX:-}
    # Helper programs need not match the module's architecture: under qemu a
    # native 64-bit one starts in a second instead of a minute.
    unset OSB_FIXTURE_BIN OSB_TEST_VERBOSE
    [ "$arch" = i686 ] && export OSB_TEST_VERBOSE=1
    native_fixtures=build/x86_64${OSB_BUILD_SUFFIX:-}/fixtures
    if [ "$arch" = i686 ] && [ -d "$native_fixtures" ]; then
        OSB_FIXTURE_BIN=$(winpath "$native_fixtures")
        export OSB_FIXTURE_BIN
    fi
    if [ "$pattern" = . ]; then
        run_suite "$arch" "unit tests" "$build_dir/osbridge_tests.exe"
    fi
    if [ ${#lua_files[@]} -gt 0 ]; then
        args=()
        for f in "${lua_files[@]}"; do args+=("$(winpath "$f")"); done
        run_suite "$arch" "lua tests" "$build_dir/lua.exe" "$(winpath tests/run.lua)" \
            "$(winpath "$build_dir")" "$tests_win" "${args[@]}"
    fi
    if [ ${#standin_files[@]} -gt 0 ] && [ -d "$build_dir/standins" ]; then
        # The stand-ins sit beside a copy of the interpreter and module, where
        # the loader finds them first once Wine is told to prefer them.
        run_dir=$build_dir/standin-run
        rm -rf "$run_dir" && mkdir -p "$run_dir"
        cp "$build_dir"/lua.exe "$build_dir"/lua51.dll "$build_dir"/osbridge.dll "$run_dir"/
        overrides=$WINEDLLOVERRIDES
        for d in "$build_dir"/standins/*/; do
            cp "$d"* "$run_dir"/
            # Wine names a module without ".dll" but with any other suffix (winspool.drv).
            for f in "$d"*; do n=$(basename "$f"); overrides="$overrides;${n%.[dD][lL][lL]}=n"; done
        done
        args=()
        for f in "${standin_files[@]}"; do args+=("$(winpath "$f")"); done
        WINEDLLOVERRIDES=$overrides run_suite "$arch" "lua tests with stand-ins" "$run_dir/lua.exe" \
            "$(winpath tests/run.lua)" "$(winpath "$run_dir")" "$tests_win" "${args[@]}"
    fi
    # The Lua suite once more under LuaJIT 2.1 (built for x86_64 by default),
    # named lua.exe and beside its own lua51.dll, which takes the module unchanged.
    if [ -x "$build_dir/luajit/luajit.exe" ] && [ ${#lua_files[@]} -gt 0 ]; then
        run_dir=$build_dir/luajit-run
        rm -rf "$run_dir" && mkdir -p "$run_dir"
        cp "$build_dir"/luajit/luajit.exe "$run_dir"/lua.exe
        cp "$build_dir"/luajit/lua51.dll "$build_dir"/osbridge.dll "$run_dir"/
        ln -s ../fixtures "$run_dir"/fixtures
        args=()
        for f in "${lua_files[@]}"; do args+=("$(winpath "$f")"); done
        run_suite "$arch" "lua tests under LuaJIT" "$run_dir/lua.exe" "$(winpath tests/run.lua)" \
            "$(winpath "$run_dir")" "$tests_win" "${args[@]}"
    fi
    # How users get the module: luarocks make, the release zip, the binary rock.
    if echo tests/pkg/test_packages.sh | grep -qE -- "$pattern"; then
        echo "== $arch: packages"
        seen=0
        tally < <(bash tests/pkg/test_packages.sh "$arch" 2>&1)
        [ "$seen" = 1 ] || { echo "$arch packages: no result line"; failed=$((failed + 1)); }
    fi
    robust_suites "$arch" "$build_dir" "$pattern"
done

echo "total: $passed passed, $failed failed"
[ "$failed" = 0 ]
