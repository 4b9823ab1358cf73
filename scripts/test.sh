#!/usr/bin/env bash
# Builds osbridge for its three architectures and runs the whole test suite
# under Wine: C++ unit tests, the Lua suite, and the Lua suite that runs against
# recording stand-ins of system libraries. The Lua suites run under several
# ANSI code pages: 1252, 932 (double-byte, from a Japanese locale) and 65001
# (UTF-8, through the lua-utf8.exe host). Each Lua version has a build of its
# own (presets ARCH for 5.1, with LuaJIT and on i686 Lua built with SSE2 as
# further hosts, and ARCH-luaNN): 5.1 runs everything, the later versions and
# the further hosts the Lua suites under code page 1252, x86_64 5.4 and 5.5
# also the packages, and 5.5 a sample of the robustness suites. The x86_64 5.1 Lua suite runs
# once more under code page 1252 in a prefix set to Windows 10 (run "win10"),
# the prefixes' default being Windows 7. ARM64 (aarch64) runs under ARM64 Wine
# on an emulated processor: the unit tests of its 5.1 build, the Lua suite
# under 5.4 (code page 1252) and the packages of 5.4 and 5.5.
#
#   scripts/test.sh [--arch x86_64|i686|aarch64|all] [--no-setup] [--no-build] [FILE_PATTERN]
#
# FILE_PATTERN limits the Lua files run (a grep -E pattern on their paths);
# OSB_TEST_FILTER limits LuaUnit tests by name pattern; OSB_CODE_PAGES names
# the code pages to run (e.g. "932"; by default all three for x86_64, 1252
# and 65001 for i686); OSB_LUA_VERSIONS the Lua versions (e.g. "5.4"; by
# default 5.1 to 5.5 for x86_64, 5.1 and 5.4 for i686, 5.1, 5.4 and 5.5 for
# aarch64); OSB_TEST_VERBOSE=1
# names every test as it ends;
# OSB_SUITE_TIMEOUT (seconds; 900 for x86_64, 1200 for i686 and aarch64, the unit tests
# 120 and 480) ends a suite that hangs, and every process of its Wine
# instance; OSB_TIME_SCALE multiplies every bound, for a slow machine.
#
# Each architecture and code page runs in a Wine instance of its own (prefix,
# wineserver, X display), so the runs go side by side, and the i686 build
# goes on while the x86_64 runs do. Every run's output is printed whole when
# it ends, under headers naming architecture and code page.
set -uo pipefail
cd "$(dirname "$0")/.."

arguments=("$@")
arches=(x86_64 i686 aarch64)
setup=1 build=1 pattern=.
while [ $# -gt 0 ]; do
    case $1 in
        --arch) shift; [ "$1" = all ] && arches=(x86_64 i686 aarch64) || arches=("$1") ;;
        --no-setup) setup=0 ;;
        --no-build) build=0 ;;
        *) pattern=$1 ;;
    esac
    shift
done

setup_options=()
[[ " ${arches[*]} " != *" aarch64 "* ]] || setup_options=(--aarch64)
if [ "$setup" = 1 ] && ! bash scripts/setup.sh "${setup_options[@]}"; then
    echo "test.sh: step \"set-up\" failed: bash scripts/setup.sh ${setup_options[*]} (its message is above)"
    echo "total: 0 passed, 1 failed"
    exit 1
fi

# Wine copies the host's root certificates (about 140 on Debian) into every
# process that opens a certificate store, building each one's chain, and
# reads them all back at each open: seconds a process under qemu, 35 ms a
# call on x86_64. The suites add and remove a certificate of their own and
# need none of the host's: as root, they run where /etc/ssl/certs is empty.
if [ -z "${OSB_HOST_CERTS_HIDDEN:-}" ] && [ "$(id -u)" = 0 ] && [ -d /etc/ssl/certs ] && unshare -m true 2>/dev/null; then
    exec env OSB_HOST_CERTS_HIDDEN=1 unshare -m --propagation private bash -c \
        'mount -t tmpfs -o size=1m,mode=755 osbridge-no-certs /etc/ssl/certs \
         || echo "test.sh: the host'"'"'s root certificates stay in view: slower certificate tests"
         exec bash scripts/test.sh --no-setup "$@"' \
        test.sh "${arguments[@]}"
fi

logs=build/logs${OSB_BUILD_SUFFIX:-}
mkdir -p "$logs"
: >"$logs/builds.log"
# A compiler cache kept on the machine: a run after the first rebuilds only
# what changed, in any clone (paths are taken relative to the clone).
# (CMake takes the launcher from the environment, LuaRocks' builds too.)
# A compiler is known by its content, not its time stamp: the ARM64 build's
# compiler is a script of the clone, as old as the checkout.
if command -v ccache >/dev/null; then
    export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR=/ CCACHE_NOHASHDIR=1 \
           CCACHE_COMPILERCHECK=content
fi

build_preset() {  # PRESET
    local dir=build/$1${OSB_BUILD_SUFFIX:-} started=$SECONDS
    [ "$build" = 1 ] || return 0
    mkdir -p "$dir"
    # A later Lua's build leaves out the helpers without Lua where the 5.1
    # build of its architecture has them (run_dir takes them from there).
    local helpers=ON
    [ "$dir" != "$(helpers_of "$dir")" ] && helpers=OFF
    # A build has a bound too: one on a fresh machine, with nothing cached, takes about ten minutes.
    if ! { timeout -k 10 "$(bound 2400)" cmake --preset "$1" -B "$dir" -DOSBRIDGE_LUA_FREE_HELPERS=$helpers \
           && timeout -k 10 "$(bound 2400)" cmake --build "$dir" -j2; } >"$dir/build.log" 2>&1 </dev/null; then
        tail -n 40 "$dir/build.log"
        echo "build $1: failed: after $((SECONDS - started)) s, see above"
        return 1
    fi
    echo "time: build $1: $((SECONDS - started)) s"
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
    elif [ "$1" = aarch64 ]; then echo 5.1 5.4 5.5
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
    local helpers name
    helpers=$(helpers_of "$1")
    if [ "$helpers" = "$1" ]; then
        cp -r "$1"/fixtures/. "$dir"/fixtures/
    else
        # Of its own, only what links its Lua: a helper that an earlier
        # configuration of the folder left there would be stale.
        cp -r "$helpers"/fixtures/. "$dir"/fixtures/
        for name in "${lua_fixtures[@]}"; do
            [ ! -f "$1/fixtures/$name" ] || cp "$1/fixtures/$name" "$dir"/fixtures/
        done
    fi
    echo "$dir"
}
# The helper programs that link Lua (tests/*/fixtures/NAME_lua.c: NAME.dll;
# NAME_host.c: NAME_host.exe), which every Lua version's build makes.
mapfile -t lua_fixtures < <(cd tests && ls -- */fixtures/*_lua.c* */fixtures/*_host.c* | sed 's|.*/||; s/_lua\..*$/.dll/; s/_host\..*$/_host.exe/')

# The build whose helpers without Lua a build uses: the 5.1 build of its
# architecture where that has them, else its own.
helpers_of() {  # BUILD_DIR
    local base=${1/-lua5[0-9]/}
    if [ -d "$base/fixtures" ]; then echo "$base"; else echo "$1"; fi
}

run_suite() {  # LABEL TITLE PROGRAM [ARGS...]: a Windows program that prints a count
    local label=$1 title=$2; shift 2
    # The Lua suites and the unit tests name each test as it starts, so that
    # a bound that fires can tell which one it stopped.
    OSB_PROGRESS=$(winpath "$logs/progress-$OSB_INSTANCE") \
        bounded_suite "$label" "$title" "${limit:-$(suite_limit)}" "$(wine_for "$arch")" "$@"
}

# Any suite, of Windows programs or of a shell script that runs them: through
# a file, under a bound that ends every process of the Wine instance; a suite
# that prints no count, or leaves a program running, failed.
bounded_suite() {  # LABEL TITLE SECONDS COMMAND...
    local label=$1 title=$2 limit=$3 log status started=$SECONDS left progress=$logs/progress-$OSB_INSTANCE
    shift 3
    echo "== $label: $title"
    log=$(mktemp)
    rm -f "$progress"
    wine_bounded "$limit" "$log" "$@"
    status=$?
    tr -d '\r' <"$log"
    if [ "$status" = 124 ]; then
        echo "$title: failed: stopped after $((SECONDS - started)) s, its bound$([ -s "$progress" ] && echo ", in $(cat "$progress")")"
    elif ! grep -qE '^[a-z0-9 ]+: [0-9]+ passed, [0-9]+ failed' "$log"; then
        echo "$title: no result line"
    fi
    # What a suite started ends with it: anything but Wine's services still
    # running is a fault of that suite, and must not reach the next one.
    left=$(wine_leftovers)
    [ -z "$left" ] || printf '%s: failed: left running:\n%s\n' "$title" "$left"
    [ -z "$left" ] && [ "$status" != 124 ] || wine_restart
    rm -f "$log" "$progress"
    echo "time: $label: $title: $((SECONDS - started)) s"
}

# A suite's bound: the emulated 32-bit processes are several times slower.
suite_limit() {  # [X86_64_SECONDS I686_SECONDS]
    if [ -n "${OSB_SUITE_TIMEOUT:-}" ]; then echo "$OSB_SUITE_TIMEOUT"
    elif [ "$arch" != x86_64 ]; then bound "${2:-1200}"
    else bound "${1:-900}"
    fi
}

lua_suite() {  # LABEL TITLE RUN_DIR FILES... : the Lua test files under this run's host
    local label=$1 title=$2 dir=$3; shift 3
    local args=() f
    for f in "$@"; do args+=("$(winpath "$f")"); done
    run_suite "$label" "$title" "$dir/$host" "$(winpath tests/run.lua)" "$(winpath "$dir")" "$(winpath tests)" "${args[@]}"
}

# One run: a Wine instance of its own (prefix, wineserver, X display) for
# the suites of one KIND under one build:
#   cp1252, cp932, cp65001   the Lua suites, with and without stand-ins, under
#                            that ANSI code page (65001 through lua-utf8.exe)
#   unit     the C++ unit tests and the harness's bounds; on i686 also the
#            codec tests on emulated processors and the 4-byte-aligned host
#   luajit, lua-sse2   the Lua suite under another host that the 5.1 build
#            makes, whose own lua51.dll takes its module unchanged: LuaJIT 2.1,
#            and on i686 Lua 5.1 built with SSE2 arithmetic, as MinGW
#            distributions build it
#   win10    the Lua suite under code page 1252, in a prefix set to Windows 10
#   robust-NAME  tests/robust/robust_NAME.lua, a robustness suite
#   packages how users get the module (tests/pkg)
# A new suite is one more call in its kind (run_suite for a program,
# lua_suite for Lua files, bounded_suite for a script).
run_one() {  # PRESET KIND
    local preset=$1 kind=$2 cp=1252 version=5.1 build_dir=build/$1${OSB_BUILD_SUFFIX:-} dir
    arch=${preset%%-*}
    [[ $preset == *-lua5? ]] && version=5.${preset: -1}
    [[ $kind == cp* ]] && cp=${kind#cp}
    local label="$arch lua$version ${kind/#cp/cp}"
    export OSB_INSTANCE=$preset-$kind${OSB_BUILD_SUFFIX:-} OSB_CODE_PAGE=$cp OSB_LUA_VERSION=$version \
           OSB_WINDOWS_VERSION= OSB_WINE_ARCH=$arch
    host=lua.exe
    case $cp in
        932) export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 ;;
        65001) host=lua-utf8.exe ;;
    esac
    . scripts/wine-env.sh
    wine_start 2>&1 || { echo "$label: no Wine instance: no result line"; return; }
    trap wine_stop EXIT
    trap 'exit 143' TERM INT
    case $kind in
        cp*) run_lua_suites "$build_dir" ;;
        robust-*) run_robust "$build_dir" "tests/robust/robust_${kind#robust-}.lua" ;;
        win10) run_win10 "$build_dir" ;;
        luajit|lua-sse2) run_host "$build_dir" ;;
        *) "run_$kind" "$build_dir" ;;
    esac
}

run_lua_suites() {  # BUILD_DIR
    if [ ${#lua_files[@]} -gt 0 ]; then
        dir=$(run_dir "$1" "run-cp$cp")
        lua_suite "$label" "lua tests" "$dir" "${lua_files[@]}"
    fi
    local standins
    standins=$(helpers_of "$1")/standins
    if [ ${#standin_files[@]} -gt 0 ] && [ -d "$standins" ]; then
        # The stand-ins sit beside the interpreter and module, where the
        # loader finds them first once Wine is told to prefer them.
        dir=$(run_dir "$1" "standin-run-cp$cp")
        local overrides=$WINEDLLOVERRIDES d n
        for d in "$standins"/*/; do
            cp "$d"* "$dir"/
            # Wine names a module without ".dll" but with any other suffix (winspool.drv).
            for f in "$d"*; do n=$(basename "$f"); overrides="$overrides;${n%.[dD][lL][lL]}=n"; done
        done
        WINEDLLOVERRIDES=$overrides lua_suite "$label" "lua tests with stand-ins" "$dir" "${standin_files[@]}"
    fi
}

run_unit() {  # BUILD_DIR
    # The unit tests take 10-20 s alone; beside the other runs about 10 s on
    # x86_64 and 110 s under qemu. A hang is called one after a few times
    # that, not after the Lua suites' bound.
    local unit_limit
    unit_limit=$(suite_limit 120 480)
    limit=$unit_limit run_suite "$label" "unit tests" "$1/osbridge_tests.exe"
    binaries
    # The bound that every suite runs under, proven on a program that never ends.
    bounded_suite "$label" "bounds" "$(bound 300)" bash tests/scripts/test_bounds.sh "$arch" "$1"
    [ "$arch" = i686 ] || return 0
    # The codec tests on emulated processors that lack the vector paths'
    # instructions (SSE2 without PCLMULQDQ; neither), which qemu takes from
    # QEMU_CPU in the 32-bit process's environment: each kernel must pick
    # the path its own instruction set allows, and every path it can run must
    # match the references.
    QEMU_CPU=Nehalem OSB_EXPECT_PATHS="crc16=portable hex=vector" limit=$unit_limit \
        run_suite "$label" "unit tests (qemu Nehalem)" "$1/osbridge_tests.exe" codec crc16_ hex_
    QEMU_CPU=pentium3 OSB_EXPECT_PATHS="crc16=portable hex=portable" limit=$unit_limit \
        run_suite "$label" "unit tests (qemu pentium3)" "$1/osbridge_tests.exe" codec crc16_ hex_
    # A host that keeps the stack only 4-byte aligned, as 32-bit MSVC programs
    # do (the module's own code, alike for every Lua).
    dir=$(run_dir "$1" "align-run")
    WINEPATH=$(winpath "$dir") run_suite "$label" "alignment" "$dir/fixtures/stack_align_host.exe" "$(winpath "$dir")"
}

# The build's Windows binaries: architecture, imports and exports.
binaries() {
    bounded_suite "$label" "binaries" "$(bound 300)" bash tests/scripts/test_binaries.sh "$preset"
}

# The other host runs as lua.exe, beside its own lua51.dll.
run_host() {  # BUILD_DIR
    dir=$(run_dir "$1" "$kind-run")
    cp "$1/$kind"/*.exe "$dir"/lua.exe
    cp "$1/$kind"/lua51.dll "$dir"/
    lua_suite "$label" "lua tests under $kind" "$dir" "${lua_files[@]}"
}

# A robustness suite (hostile arguments, leaks, threads, exhausted memory), in
# a process and a run of its own, so that a crash in one leaves the others
# their say. The 64-bit 5.1 build runs every case: the hostile arguments in
# full, the leak and memory suites with half their calls, which still shows a
# leak of two bytes a call (the heap's smallest block is 16); the others run
# a sample. OSB_ROBUST_SAMPLE=1 runs everything in full.
run_robust() {  # BUILD_DIR FILE
    if [ "$preset" != x86_64 ]; then export OSB_ROBUST_SAMPLE=${OSB_ROBUST_SAMPLE:-0.05}
    elif [ "$kind" = robust-leaks ] || [ "$kind" = robust-oom ]; then export OSB_ROBUST_SAMPLE=${OSB_ROBUST_SAMPLE:-0.5}
    fi
    dir=$(run_dir "$1" "$kind-run")
    lua_suite "$label" "$(basename "$2" .lua)" "$dir" "$2"
}

run_win10() {  # BUILD_DIR
    wine_bounded "$(bound 60)" /dev/null "$WINE64" reg add 'HKCU\Software\Wine' /v Version /d win10 /f \
        || { echo "$label: the prefix was not set to Windows 10: no result line"; return; }
    export OSB_WINDOWS_VERSION=10
    dir=$(run_dir "$1" "run-win10")
    lua_suite "$label" "lua tests" "$dir" "${lua_files[@]}"
}

# How users get the module: the release zip and the quick start, the source
# rock, the binary rocks. Each program the check runs has a bound of its own;
# this one is for the whole.
run_packages() {  # BUILD_DIR
    [ "$version" = 5.1 ] || binaries
    bounded_suite "$label" "packages" "$(bound 1500)" bash tests/pkg/test_packages.sh "$arch" "$version"
}

# --- Scheduling --------------------------------------------------------------

# The Wine prefixes every instance starts as a copy of (x86 Wine's, ARM64
# Wine's); wineboot runs once for each.
template() {
    local wine wines=()
    [[ " ${arches[*]} " != *" x86_64 "* && " ${arches[*]} " != *" i686 "* ]] || wines+=(x86_64)
    [[ " ${arches[*]} " != *" aarch64 "* ]] || wines+=(aarch64)
    for wine in "${wines[@]}"; do
        (export OSB_INSTANCE=template OSB_WINE_ARCH=$wine; . scripts/wine-env.sh
         [ -f "$WINEPREFIX/system.reg" ] || { wine_start && wine_stop; }) >"$logs/template-$wine.log" 2>&1 &
    done
    wait
}

# The runs of one build, longest first.
runs_of() {  # ARCH LUA_VERSION
    local preset cp
    preset=$(preset_for "$1" "$2")
    if [ "$1" = aarch64 ]; then
        # Emulated, and slow: the unit tests of the 5.1 build, the Lua suite
        # under 5.4, the packages of 5.4 and 5.5.
        case $2 in
            5.1) [ "$pattern" = . ] && echo "$preset unit" ;;
            5.4) [ ${#lua_files[@]} -eq 0 ] || echo "$preset cp1252"; wanted packages && echo "$preset packages" ;;
            5.5) wanted packages && echo "$preset packages" ;;
        esac
        return 0
    fi
    if [ "$2" != 5.1 ]; then
        [ ${#lua_files[@]} -eq 0 ] || echo "$preset cp1252"
        case "$1 $2" in
            "x86_64 5.4") wanted packages && echo "$preset packages" ;;
            "x86_64 5.5") robust_runs "$preset"; wanted packages && echo "$preset packages" ;;
        esac
        return
    fi
    [ "$1" = x86_64 ] && robust_runs "$preset"
    for cp in $(code_pages "$1"); do
        [ ${#lua_files[@]} -eq 0 ] || echo "$preset cp$cp"
    done
    if [ ${#lua_files[@]} -gt 0 ]; then
        echo "$preset luajit"
        [ "$1" = i686 ] && echo "$preset lua-sse2"
        [ "$1" = x86_64 ] && echo "$preset win10"
    fi
    [ "$pattern" = . ] && echo "$preset unit"
    [ "$1" = i686 ] && robust_runs "$preset"
    wanted packages && echo "$preset packages"
}
robust_runs() {  # PRESET
    local file
    for file in "${robust_files[@]}"; do
        file=$(basename "$file" .lua) && echo "$1 robust-${file#robust_}"
    done
}
wanted() {  # packages: whether FILE_PATTERN leaves them in
    echo tests/pkg/test_packages.sh | grep -qE -- "$pattern"
}

# The builds, one after the other in the background, i686 first: its
# emulated runs take longest. Each leaves a mark that its runs wait for.
builds=() planned=()
for version in 5.1 5.5 5.4 5.3 5.2; do
    for arch in i686 x86_64 aarch64; do
        [[ " ${arches[*]} " == *" $arch "* ]] && grep -qwF -- "$version" <<<"$(lua_versions "$arch")" || continue
        builds+=("$(preset_for "$arch" "$version")")
        mapfile -t -O "${#planned[@]}" planned < <(runs_of "$arch" "$version")
    done
done
builder() {
    local preset
    for preset in "${builds[@]}"; do
        if build_preset "$preset" >>"$logs/builds.log" 2>&1; then : >"$logs/$preset.built"
        else : >"$logs/$preset.failed"
        fi
    done
}

. scripts/wine-env.sh  # winpath
rm -f "$logs"/*.built "$logs"/*.failed
runs=(builds)
# Set-up's own checks need no Wine: they run first, and their result counts with the rest.
if echo tests/scripts/test_setup.sh | grep -qE -- "$pattern"; then
    { echo "== set-up"; bash tests/scripts/test_setup.sh; } >"$logs/setup.log" 2>&1
    runs+=(setup)
fi
jobs_running=()
stop_all() {
    kill "${jobs_running[@]}" 2>/dev/null
    wait
    exit 130
}
trap stop_all INT TERM
template &
template_job=$!
builder &

# A run starts once its build is done and one of OSB_PARALLEL_RUNS Wine
# instances is free. Most runs spend much of their time waiting for windows
# and programs: six keep two cores busy, more would only share them thinner.
# The longest go first: the emulated 32-bit Lua suites and the full
# robustness suites, then the rest in the order of the builds.
max_runs=${OSB_PARALLEL_RUNS:-6}
long='^(i686 (cp|lua)|x86_64 robust-|aarch64)'
pending=()
[ ${#planned[@]} -eq 0 ] || mapfile -t pending < <(printf '%s\n' "${planned[@]}" | grep -E "$long"; printf '%s\n' "${planned[@]}" | grep -vE "$long")
while [ ${#pending[@]} -gt 0 ]; do
    active=0 waiting=()
    for job in "${jobs_running[@]}"; do kill -0 "$job" 2>/dev/null && active=$((active + 1)); done
    for run in "${pending[@]}"; do
        preset=${run% *} kind=${run#* }
        if [ -e "$logs/$preset.failed" ]; then
            continue
        elif [ -e "$logs/$preset.built" ] && [ "$active" -lt "$max_runs" ] && ! kill -0 "$template_job" 2>/dev/null; then
            # Below the builds, whose results the runs still to come wait for.
            (renice -n 10 -p $BASHPID >/dev/null; started=$SECONDS; run_one "$preset" "$kind"
             echo "time: $preset $kind: the whole run: $((SECONDS - started)) s") \
                >"$logs/$preset-$kind.log" 2>&1 &
            jobs_running+=($!) runs+=("$preset-$kind")
            active=$((active + 1))
        else
            waiting+=("$run")
        fi
    done
    pending=("${waiting[@]}")
    [ ${#pending[@]} -eq 0 ] || sleep 2
done
wait

passed=0 failed=0 failures=() skips=()
for name in "${runs[@]}"; do
    suite=
    while IFS= read -r line; do
        printf '%s\n' "$line"
        if [[ $line =~ ^==\ (.*)$ ]]; then
            suite=${BASH_REMATCH[1]}
        elif [[ $line =~ ^[a-z0-9\ ]+:\ ([0-9]+)\ passed,\ ([0-9]+)\ failed$ ]]; then
            passed=$((passed + BASH_REMATCH[1])); failed=$((failed + BASH_REMATCH[2]))
            [ "${BASH_REMATCH[2]}" = 0 ] || failures+=("$suite (${BASH_REMATCH[2]} failed)")
        elif [[ $line =~ ^failing:\ (.*)$ ]]; then
            failures+=("$suite: ${BASH_REMATCH[1]}")
        elif [[ $line =~ ^skipped:\ (.*)$ ]]; then
            skips+=("$suite: ${BASH_REMATCH[1]}")
        elif [[ $line == *": no result line" ]]; then
            failed=$((failed + 1)); failures+=("${suite:-$name}: no result line")
        elif [[ $line =~ ^[^:]+:\ failed:\ (.*)$ ]]; then
            failed=$((failed + 1)); failures+=("${suite:-$name}: ${BASH_REMATCH[1]}")
        fi
    done <"$logs/$name.log"
done

# Where the time went, longest first: the critical path shows at the top.
echo "== times"
for name in "${runs[@]}"; do cat "$logs/$name.log"; done | sed -n 's/^time: //p' \
    | awk '{ print $(NF - 1) "\t" $0 }' | sort -rn | cut -f2- | head -n 15 | sed 's/^/    /'
echo "    whole run: $SECONDS s"
for f in "${skips[@]}"; do echo "skipped: $f"; done
for f in "${failures[@]}"; do echo "failed: $f"; done
echo "total: $passed passed, $failed failed"
[ "$failed" = 0 ]
