#!/usr/bin/env bash
# Benchmarks the 64-bit module under Wine against its floor (the same system
# calls from C, memcpy for the codecs), prints the table, and writes it with
# the machine and date to docs/performance.md with a chart of the ratios
# (docs/performance-ratios.png, drawn by gnuplot, installed if missing).
#
#   scripts/bench.sh [--no-build] [--batches N] [--preset NAME] [--module DIR] [--only PATTERN] [--no-docs]
#     --preset NAME  the build to measure, with its own Lua and helpers
#                    (x86_64, the default, or x86_64-lua55, ...); another
#                    than x86_64 implies --no-docs
#     --module DIR   measure the osbridge.dll in DIR (an older build, say,
#                    for the same Lua) with this bench; implies --no-docs
#     --only PATTERN only the operations whose names match this Lua pattern;
#                    implies --no-docs
#     --no-docs      print the table only
set -euo pipefail
cd "$(dirname "$0")/.."
build=1 batches=11 preset=x86_64 module= only= docs=1
while [ $# -gt 0 ]; do
    case $1 in
        --no-build) build=0 ;;
        --batches) shift; batches=$1 ;;
        --preset) shift; preset=$1; [ "$preset" = x86_64 ] || docs=0 ;;
        --module) shift; module=$1; docs=0 ;;
        --only) shift; only=$1; docs=0 ;;
        --no-docs) docs=0 ;;
        *) echo "unknown option $1" >&2; exit 2 ;;
    esac
    shift
done

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }
if [ "$docs" = 1 ] && ! command -v gnuplot >/dev/null; then
    # A list that cannot be fetched (another suite's) need not stop this one install.
    as_root apt-get update -qq || echo "bench.sh: some package lists could not be fetched (above); going on" >&2
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends gnuplot-nox
fi
if [ "$build" = 1 ]; then
    cmake --preset "$preset" >/dev/null
    # The helpers by name: a later Lua's build may leave those without Lua out of `all`.
    cmake --build --preset "$preset" --target osbridge lua fixture_benchfloor fixture_benchwin fixture_benchload \
        fixture_proc_child fixture_waitwin \
        -- --no-print-directory -s
fi

. scripts/wine-env.sh
out=build/bench
mkdir -p "$out"
rm -f "$out"/results.*
wine_start || exit 1
trap wine_stop EXIT
args=("$(winpath "build/$preset")" "$(winpath "$out")" "$batches" "$([ -z "$module" ] || winpath "$module")")
[ -z "$only" ] || args+=("$only")
status=0
wine_bounded "$(bound 1800)" "$out/bench.log" "$WINE64" "build/$preset/lua.exe" "$(winpath tests/bench/bench.lua)" "${args[@]}" \
    || status=$?
tr -d '\r' <"$out/bench.log"
[ "$status" = 0 ] && [ -s "$out/results.md" ] || { echo "bench failed" >&2; exit 1; }
[ "$docs" = 1 ] || exit 0

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n1)
wine_version=$("$WINE64" --version 2>/dev/null || echo unknown)
gnuplot <<PLOT
set terminal pngcairo size 900,560 font ",10" noenhanced
set output "docs/performance-ratios.png"
set title "osbridge time / floor time, log scale (median of batches; bars: lowest and highest batch; dashed: 1.10)"
set style data histograms
set style histogram errorbars gap 1 lw 1
set style fill solid 0.6 border -1
set boxwidth 0.8
set xtics rotate by -35 left
set grid ytics
set logscale y
set yrange [0.1:*]
set key off
set datafile separator "\t"
set bmargin 9
set rmargin 8
plot "$out/results.tsv" using 2:3:4:xtic(1) lc rgb "#4477aa", 1.10 with lines dt 2 lc rgb "#cc3311"
PLOT
{
    echo "# Performance"
    echo
    echo "Measured by \`bash scripts/bench.sh\` on $(date -u '+%Y-%m-%d %H:%M UTC'): x86_64 build under $wine_version,"
    echo "$cpu, $(nproc) cores (shared with other work, so single batches are noisy), Debian $(cat /etc/debian_version)."
    echo "The i686 build is not measured: on this machine it runs under an emulator (qemu-user), whose speed it would show."
    echo
    echo "## Time per call"
    echo
    echo "Medians over the batches ($batches, at most 5 for rmdir); for the codecs, the time for the whole input and the"
    echo "rate it makes. Every result is checked before it is timed."
    echo
    cat "$out/times.md"
    echo
    sed -n 2p "$out/notes.md"
    echo
    echo "## Against the floor"
    echo
    echo "An operation's floor is the least its work can cost here: the same system calls made by a C loop"
    echo "(tests/bench/fixtures/benchfloor_lua.c), or for the codecs \`memcpy\` of the same bytes. crc16 can beat"
    echo "that \`memcpy\`: it reads its input once and writes 2 bytes, where \`memcpy\` reads and writes every byte,"
    echo "which counts once the data no longer fits the processor's caches (64 MiB)."
    echo
    echo "Each operation runs in batches beside its floor, in the same process. Within a batch the two take turns in"
    echo "ten slices, so that both meet the same load from the rest of the machine. Values are medians over the"
    echo "batches, per call or in GB/s of input; the spread is the slowest and fastest batch. The ratio is osbridge's"
    echo "time over the floor's, the median of the per-batch ratios."
    echo
    cat "$out/results.md"
    echo
    sed -n 1p "$out/notes.md"
    echo
    sed -n 4p "$out/notes.md"
    echo
    echo "![osbridge time over floor time per operation](performance-ratios.png)"
} >docs/performance.md
echo "wrote docs/performance.md and docs/performance-ratios.png"
