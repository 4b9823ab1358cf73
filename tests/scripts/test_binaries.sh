#!/usr/bin/env bash
# The headers of a finished build's Windows binaries, read without running
# them (llvm-readobj-14 reads every architecture's): each .dll, .exe and .drv
# is for the build's architecture and imports nothing but system libraries
# and the build's Lua DLL; each program has its subsystem (GUI or console);
# osbridge.dll exports luaopen_osbridge alone; the module and the
# interpreters import the Lua DLL beside them.
#
#   tests/scripts/test_binaries.sh PRESET...     (e.g. aarch64 aarch64-lua54)
set -uo pipefail
cd "$(dirname "$0")/../.."
readobj=llvm-readobj-14
passed=0 failed=0
check() {  # NAME PROBLEM: an empty PROBLEM passes
    if [ -z "$2" ]; then passed=$((passed + 1))
    else failed=$((failed + 1)); echo "FAILED  $1: $2"
    fi
}
# Lines "machine HEX", "import NAME" (lower case) and "export NAME".
pe_facts() {  # FILE
    "$readobj" --file-headers --coff-imports --coff-exports "$1" | awk '
        /^  Machine:/ { sub(/.*\(0x/, ""); sub(/\).*/, ""); print "machine " $0 }
        /^  Subsystem:/ { print "subsystem " $2 }
        /^(Import|DelayImport|Export) \{/ { block = $1 }
        /^\}/ { block = "" }
        block ~ /Import/ && /^  Name:/ { print "import " tolower($2) }
        block == "Export" && /^  Name:/ { print "export " $2 }'
}
# The programs with windows of their own (from *_gui sources); the other
# programs are console programs.
gui_programs=" $(cd tests && ls -- */fixtures/*_gui.c* | sed 's|.*/||; s/_gui\..*$/.exe/' | tr '\n' ' ')"
# What Windows itself provides, of what the module, Lua, and the tests'
# helpers and stand-ins link.
system='^(kernel32|user32|advapi32|gdi32|shell32|ole32|oleaut32|winmm|rasapi32|wininet|crypt32|winspool\.drv|iphlpapi|msvcrt|ntdll)\.dll$|^winspool\.drv$|^api-ms-win-'

for preset in "$@"; do
    build=build/$preset${OSB_BUILD_SUFFIX:-}
    case $preset in
        i686*) machine=14c ;;
        x86_64*) machine=8664 ;;
        aarch64*) machine=aa64 ;;
        *) check "$preset" "no architecture known for this preset"; continue ;;
    esac
    lua_dll=$(cd "$build" 2>/dev/null && ls lua5?.dll 2>/dev/null)
    [ -n "$lua_dll" ] || { check "$preset" "no Lua DLL in $build"; continue; }
    mapfile -t binaries < <(find "$build" -maxdepth 1 -iregex '.*\.\(dll\|exe\)'; \
        find "$build"/fixtures "$build"/standins "$build"/lua-sse2 "$build"/luajit -iregex '.*\.\(dll\|exe\|drv\)' 2>/dev/null)
    for binary in "${binaries[@]}"; do
        facts=$(pe_facts "$binary") || { check "$binary" "unreadable"; continue; }
        problems=()
        got=$(sed -n 's/^machine //p' <<<"$facts")
        [ "${got,,}" = "$machine" ] || problems+=("machine 0x$got, expected 0x$machine")
        while read -r dll; do
            [[ $dll =~ $system ]] || [ "$dll" = "${lua_dll,,}" ] || problems+=("imports $dll")
        done < <(sed -n 's/^import //p' <<<"$facts")
        if [[ $binary == *.exe ]]; then
            [[ $gui_programs == *" $(basename "$binary") "* ]] && subsystem=IMAGE_SUBSYSTEM_WINDOWS_GUI \
                || subsystem=IMAGE_SUBSYSTEM_WINDOWS_CUI
            grep -qx "subsystem $subsystem" <<<"$facts" || problems+=("not $subsystem")
        fi
        case ${binary#"$build"/} in
            osbridge.dll)
                exports=$(sed -n 's/^export //p' <<<"$facts" | tr '\n' ' ')
                [ "$exports" = "luaopen_osbridge " ] || problems+=("exports: ${exports:-nothing}") ;;&
            osbridge.dll|lua.exe|lua-utf8.exe)
                grep -qx "import ${lua_dll,,}" <<<"$facts" || problems+=("does not import $lua_dll") ;;
        esac
        check "$binary" "${problems[*]}"
    done
    echo "$preset: ${#binaries[@]} binaries read"
done
echo "binaries: $passed passed, $failed failed"
[ "$failed" = 0 ]
