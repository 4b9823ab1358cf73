#!/usr/bin/env bash
# Builds osbridge for both architectures and runs the whole test suite under
# Wine: C++ unit tests, the Lua suite, and the Lua suite that runs against
# recording stand-ins of system libraries. The Lua suites run under several
# ANSI code pages: 1252, 932 (double-byte, from a Japanese locale) and 65001
# (UTF-8, through the lua-utf8.exe host). Each Lua version has a build of its
# own (presets ARCH for 5.1, with LuaJIT, and ARCH-luaNN): 5.1 runs everything,
# the later versions the Lua suites under code page 1252, x86_64 5.4 and 5.5
# also the packages and a sample of the robustness suites.
#
#   scripts/test.sh [--arch x86_64|i686|all] [--no-setup] [--no-build] [FILE_PATTERN]
#
# FILE_PATTERN limits the Lua files run (a grep -E pattern on their paths);
# OSB_TEST_FILTER limits LuaUnit tests by name pattern; OSB_CODE_PAGES names
# the code pages to run (e.g. "932"; by default all three for x86_64, 1252
# and 65001 for i686); OSB_LUA_VERSIONS the Lua versions (e.g. "5.4"; by
# default 5.1 to 5.5 for x86_64, 5.1 and 5.4 for i686); OSB_TEST_VERBOSE=1
# names every test as it ends;
# OSB_SUITE_TIMEOUT (seconds, 600) ends a suite that hangs.
#
# Each architecture and code page runs in a Wine instance of its own (prefix,
# wineserver, X display), so the runs go side by side, and the i686 build
# goes on while the x86_64 runs do. Every run's output is printed whole when
# it ends, under headers naming architecture and code page.
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

if [ "$setup" = 1 ] && ! bash scripts/setup.sh; then
    echo "test.sh: step \"set-up\" failed: bash scripts/setup.sh (its message is above)"
    echo "total: 0 passed, 1 failed"
    exit 1
fi

logs=build/logs${OSB_BUILD_SUFFIX:-}
mkdir -p "$logs"

build_preset() {  # PRESET
    local dir=build/$1${OSB_BUILD_SUFFIX:-} started=$SECONDS
    [ "$build" = 1 ] || return 0
    mkdir -p "$dir"
    # A later Lua's build leaves out the helpers without Lua where the 5.1
    # build of its architecture has them (run_dir takes them from there).
    local helpers=ON
    [ "$dir" != "$(helpers_of "$dir")" ] && helpers=OFF
    if ! { cmake --preset "$1" -B "$dir" -DOSBRIDGE_LUA_FREE_HELPERS=$helpers && cmake --build "$dir" -j2; } \
            >"$dir/build.log" 2>&1; then
        tail -n 40 "$dir/build.log"
        echo "build failed for $1"
        return 1
    fi
    echo "build $1: $((SECONDS - started)) s"
    # Warnings are errors for this project, but are reported, not fatal here.
    grep -E 'warning:' "$dir/build.log" || true
}

code_pages() {  # ARCH: the code pages its Lua suites run under
    if [ -n "${OSB_CODE_PAGES:-}" ]; then echo "$OSB_CODE_PAGES"
    elif [ "$1" = i686 ]; then echo 1252 65001
    else echo 1252 932 65001
    fi
}

lua_versions() {  # ARCH: the Lua versions it is built and tested with
    if [ -n "${OSB_LUA_VERSIONS:-}" ]; then echo "$OSB_LUA_VERSIONS"
    elif [ "$1" = i686 ]; then echo 5.1 5.4
    else echo 5.1 5.2 5.3 5.4 5.5
    fi
}

preset_for() {  # ARCH LUA_VERSION
    if [ "$2" = 5.1 ]; then echo "$1"; else echo "$1-lua${2/./}"; fi
}

# --- One run: the suites of one architecture under one code page ------------

mapfile -t lua_files < <(find tests -name 'test_*.lua' | sort | grep -E -- "$pattern")
mapfile -t standin_files < <(find tests -name 'standin_*.lua' | sort | grep -E -- "$pattern")
mapfile -t robust_files < <(find tests/robust -name 'robust_*.lua' | sort | grep -E -- "$pattern")

# A copy of the interpreters, module and helper programs for one run: the
# suites write beside the interpreter, and runs go side by side.
run_dir() {  # BUILD_DIR NAME -> prints the new folder
    local dir=$1/$2
    rm -rf "$dir" && mkdir -p "$dir/fixtures"
    cp "$1"/lua.exe "$1"/lua-utf8.exe "$1"/lua5?.dll "$1"/osbridge.dll "$dir"/
    local helpers
    helpers=$(helpers_of "$1")
    [ "$helpers" = "$1" ] || cp -r "$helpers"/fixtures/. "$dir"/fixtures/
    cp -r "$1"/fixtures/. "$dir"/fixtures/
    echo "$dir"
}

# The build whose helpers without Lua a build uses: the 5.1 build of its
# architecture where that has them, else its own.
helpers_of() {  # BUILD_DIR
    local base=${1/-lua5[0-9]/}
    if [ -d "$base/fixtures" ]; then echo "$base"; else echo "$1"; fi
}

run_suite() {  # LABEL TITLE COMMAND... : prints the output; a suite that prints no count failed
    local label=$1 title=$2; shift 2
    echo "== $label: $title"
    # Through a file, not a pipe: Wine's background services inherit the
    # output handles of the program that started them and would hold a pipe open.
    local log
    log=$(mktemp)
    # A suite that hangs (a dialog nobody answers) is ended, and counts as failed.
    timeout -k 10 "${OSB_SUITE_TIMEOUT:-600}" "$(wine_for "$arch")" "$@" >"$log" 2>&1 </dev/null
    local status=$?
    tr -d '\r' <"$log"
    [ "$status" = 124 ] && echo "$title: stopped after ${OSB_SUITE_TIMEOUT:-600} s"
    grep -qE '^[a-z0-9 ]+: [0-9]+ passed, [0-9]+ failed' "$log" || echo "$title: no result line"
    rm -f "$log"
}

lua_suite() {  # LABEL TITLE RUN_DIR FILES... : the Lua test files under this run's host
    local label=$1 title=$2 dir=$3; shift 3
    local args=() f
    for f in "$@"; do args+=("$(winpath "$f")"); done
    run_suite "$label" "$title" "$dir/$host" "$(winpath tests/run.lua)" "$(winpath "$dir")" "$(winpath tests)" "${args[@]}"
}

# The suites of one run, in a Wine instance of its own. A new suite is one
# more call here (run_suite for a program, lua_suite for Lua files).
run_suites() {  # ARCH LUA_VERSION CODE_PAGE
    arch=$1
    local version=$2 cp=$3 preset build_dir label="$1 lua$2 cp$3" dir
    preset=$(preset_for "$arch" "$version")
    build_dir=build/$preset${OSB_BUILD_SUFFIX:-}
    export OSB_INSTANCE=$preset-cp$cp${OSB_BUILD_SUFFIX:-} OSB_CODE_PAGE=$cp OSB_LUA_VERSION=$version
    host=lua.exe
    case $cp in
        932) export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 ;;
        65001) host=lua-utf8.exe ;;
    esac
    . scripts/wine-env.sh
    wine_start 2>&1 || { echo "$label: no Wine instance: no result line"; return; }
    trap wine_stop EXIT

    if [ "$cp" = 1252 ] && [ "$pattern" = . ] && [ -f "$build_dir/osbridge_tests.exe" ]; then
        run_suite "$label" "unit tests" "$build_dir/osbridge_tests.exe"
    fi
    # The codec tests on emulated processors that lack the vector paths'
    # instructions (SSE2 without PCLMULQDQ; neither), which qemu takes from
    # QEMU_CPU in the 32-bit process's environment: each kernel must pick
    # the path its own instruction set allows, and every path it can run must
    # match the references.
    if [ "$arch" = i686 ] && [ "$cp" = 1252 ] && [ "$pattern" = . ] && [ -f "$build_dir/osbridge_tests.exe" ]; then
        QEMU_CPU=Nehalem OSB_EXPECT_PATHS="crc16=portable hex=vector" \
            run_suite "$label" "unit tests (qemu Nehalem)" "$build_dir/osbridge_tests.exe" codec crc16_ hex_
        QEMU_CPU=pentium3 OSB_EXPECT_PATHS="crc16=portable hex=portable" \
            run_suite "$label" "unit tests (qemu pentium3)" "$build_dir/osbridge_tests.exe" codec crc16_ hex_
    fi
    if [ ${#lua_files[@]} -gt 0 ]; then
        dir=$(run_dir "$build_dir" "run-cp$cp")
        lua_suite "$label" "lua tests" "$dir" "${lua_files[@]}"
    fi
    local standins
    standins=$(helpers_of "$build_dir")/standins
    if [ ${#standin_files[@]} -gt 0 ] && [ -d "$standins" ]; then
        # The stand-ins sit beside the interpreter and module, where the
        # loader finds them first once Wine is told to prefer them.
        dir=$(run_dir "$build_dir" "standin-run-cp$cp")
        local overrides=$WINEDLLOVERRIDES d n
        for d in "$standins"/*/; do
            cp "$d"* "$dir"/
            # Wine names a module without ".dll" but with any other suffix (winspool.drv).
            for f in "$d"*; do n=$(basename "$f"); overrides="$overrides;${n%.[dD][lL][lL]}=n"; done
        done
        WINEDLLOVERRIDES=$overrides lua_suite "$label" "lua tests with stand-ins" "$dir" "${standin_files[@]}"
    fi
    [ "$cp" = 1252 ] || return 0
    # A host that keeps the stack only 4-byte aligned, as 32-bit MSVC programs do
    # (the module's own code, alike for every Lua: with 5.1).
    if [ "$arch" = i686 ] && [ "$version" = 5.1 ] && echo tests/robust/fixtures/stack_align_host.c | grep -qE -- "$pattern"; then
        dir=$(run_dir "$build_dir" "align-run")
        WINEPATH=$(winpath "$dir") run_suite "$label" "alignment" "$dir/fixtures/stack_align_host.exe" "$(winpath "$dir")"
    fi
    # The Lua suite once more under LuaJIT 2.1 (built for x86_64 by default),
    # named lua.exe and beside its own lua51.dll, which takes the module unchanged.
    if [ -x "$build_dir/luajit/luajit.exe" ] && [ ${#lua_files[@]} -gt 0 ]; then
        dir=$(run_dir "$build_dir" "luajit-run")
        cp "$build_dir"/luajit/luajit.exe "$dir"/lua.exe
        cp "$build_dir"/luajit/lua51.dll "$dir"/
        lua_suite "$label" "lua tests under LuaJIT" "$dir" "${lua_files[@]}"
    fi
    # How users get the module: luarocks make, the release zip, the binary rock.
    if echo tests/pkg/test_packages.sh | grep -qE -- "$pattern" && packages_tested "$arch" "$version"; then
        echo "== $label: packages"
        local out
        out=$(bash tests/pkg/test_packages.sh "$arch" "$version" 2>&1)
        printf '%s\n' "$out"
        grep -qE '^pkg tests: [0-9]+ passed' <<<"$out" || echo "packages: no result line"
    fi
}

# The robustness suites of tests/robust (hostile arguments, leaks, threads,
# exhausted memory), each in a process of its own so that a crash in one
# leaves the others their say, in a Wine instance beside the code-page runs.
# The 64-bit 5.1 build runs them in full; the 32-bit one and the 64-bit 5.4
# and 5.5 builds a sample.
run_robust() {  # ARCH LUA_VERSION
    arch=$1
    local version=$2 preset build_dir label="$1 lua$2 robust" dir file started
    preset=$(preset_for "$arch" "$version")
    build_dir=build/$preset${OSB_BUILD_SUFFIX:-}
    export OSB_INSTANCE=$preset-robust${OSB_BUILD_SUFFIX:-} OSB_CODE_PAGE=1252 OSB_LUA_VERSION=$version
    [ "$preset" = x86_64 ] || export OSB_ROBUST_SAMPLE=${OSB_ROBUST_SAMPLE:-0.05}
    host=lua.exe
    . scripts/wine-env.sh
    wine_start 2>&1 || { echo "$label: no Wine instance: no result line"; return; }
    trap wine_stop EXIT
    dir=$(run_dir "$build_dir" "robust-run")
    for file in "${robust_files[@]}"; do
        started=$SECONDS
        lua_suite "$label" "$(basename "$file" .lua)" "$dir" "$file"
        echo "$label $(basename "$file" .lua): $((SECONDS - started)) s"
    done
}

# --- Scheduling --------------------------------------------------------------

# The Wine prefix every instance starts as a copy of; wineboot runs once.
template() {
    [ -f .wine/template/system.reg ] && return
    (export OSB_INSTANCE=template; . scripts/wine-env.sh; wine_start && wine_stop) >"$logs/template.log" 2>&1
}

# Which runs a build gets beside the Lua suites under code page 1252 (the
# later versions run under that one only).
packages_tested() { [ "$2" = 5.1 ] || [ "$1 $2" = "x86_64 5.4" ] || [ "$1 $2" = "x86_64 5.5" ]; }
robust_tested() { [ "$2" = 5.1 ] || [ "$1 $2" = "x86_64 5.4" ] || [ "$1 $2" = "x86_64 5.5" ]; }

runs=()
start_runs() {  # ARCH LUA_VERSION: its runs go on in the background
    local cp preset
    preset=$(preset_for "$1" "$2")
    for cp in $(code_pages "$1"); do
        [ "$2" = 5.1 ] || [ "$cp" = 1252 ] || continue
        (run_suites "$1" "$2" "$cp") >"$logs/$preset-cp$cp.log" 2>&1 &
        runs+=("$preset-cp$cp:$!")
    done
    if [ ${#robust_files[@]} -gt 0 ] && robust_tested "$1" "$2"; then
        (run_robust "$1" "$2") >"$logs/$preset-robust.log" 2>&1 &
        runs+=("$preset-robust:$!")
    fi
}

. scripts/wine-env.sh  # winpath
passed=0 failed=0 failures=()
# Set-up's own checks need no Wine: they run first, and their result counts with the rest.
if echo tests/scripts/test_setup.sh | grep -qE -- "$pattern"; then
    { echo "== set-up"; bash tests/scripts/test_setup.sh; } >"$logs/setup.log" 2>&1
    runs+=("setup:")
fi
template &
template_job=$!
# 5.1 of every architecture first, then the later versions, newest first:
# each build's runs start as soon as it is done, beside the next build.
first=1
for version in 5.1 5.5 5.4 5.3 5.2; do
    for arch in "${arches[@]}"; do
        grep -qwF -- "$version" <<<"$(lua_versions "$arch")" || continue
        preset=$(preset_for "$arch" "$version")
        if build_preset "$preset"; then
            [ "$first" = 0 ] || wait "$template_job"
            start_runs "$arch" "$version"
        elif [ "$first" = 1 ]; then
            wait; exit 1
        else
            # The runs of the builds before still count.
            failed=$((failed + 1)) failures+=("$preset: build")
        fi
        first=0
    done
done

for run in "${runs[@]}"; do
    [ -z "${run#*:}" ] || wait "${run#*:}"
    name=${run%:*} suite=
    while IFS= read -r line; do
        printf '%s\n' "$line"
        if [[ $line =~ ^==\ (.*)$ ]]; then
            suite=${BASH_REMATCH[1]}
        elif [[ $line =~ ^[a-z0-9\ ]+:\ ([0-9]+)\ passed,\ ([0-9]+)\ failed$ ]]; then
            passed=$((passed + BASH_REMATCH[1])); failed=$((failed + BASH_REMATCH[2]))
            [ "${BASH_REMATCH[2]}" = 0 ] || failures+=("$suite (${BASH_REMATCH[2]} failed)")
        elif [[ $line == *": no result line" ]]; then
            failed=$((failed + 1)); failures+=("${suite:-$name}: no result line")
        fi
    done <"$logs/$name.log"
done

for f in "${failures[@]}"; do echo "failed: $f"; done
echo "total: $passed passed, $failed failed"
[ "$failed" = 0 ]
