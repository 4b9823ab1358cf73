# Sourced by scripts/test.sh: the robustness suites under tests/robust
# (hostile arguments, leaks, threads, exhausted memory), each in a process of
# its own so that a crash in one leaves the others their say. The 64-bit
# build runs them in full; the 32-bit build, slow under emulation, a sample.
#
#   robust_suites ARCH BUILD_DIR PATTERN   (uses test.sh's run_suite)
robust_suites() {
    local arch=$1 build_dir=$2 pattern=$3 file started
    local sample=${OSB_ROBUST_SAMPLE:-}
    [ "$arch" = i686 ] && [ -z "$sample" ] && sample=0.05
    for file in $(find tests/robust -name 'robust_*.lua' | sort | grep -E -- "$pattern"); do
        started=$SECONDS
        OSB_ROBUST_SAMPLE=$sample run_suite "$arch" "robustness: $(basename "$file" .lua)" "$build_dir/lua.exe" \
            "$(winpath tests/run.lua)" "$(winpath "$build_dir")" "$(winpath tests)" "$(winpath "$file")"
        echo "$arch $(basename "$file" .lua): $((SECONDS - started)) s"
    done
}
