#!/usr/bin/env bash
# Installs everything needed to build osbridge and run it under Wine on a
# fresh Debian 12 machine. Safe to run again: each step checks first.
set -eEuo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/apt-archive.sh"
# Every failure names its step and command; nothing ends quietly.
step="start" failed_command=
trap 'status=$?; echo "setup.sh: step \"$step\" failed: \`${failed_command:-$BASH_COMMAND}\` exited with status $status" >&2; exit $status' ERR

as_root() {
    # sudo -n: a password prompt would wait for ever with no one to answer it.
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo -n "$@"; fi \
        || { local s=$?; failed_command="$*"; return $s; }
}

# apt as root, under a bound. On a machine that has just booted, its own
# update may hold apt's locks for a while: wait for them (10 min at most)
# instead of failing at once. An archive caught mid-sync, or a network that
# drops, is asked again three times, 30 s apart.
apt_root() {  # SECONDS apt-get ARGS...
    local limit=$1; shift
    apt_retried "$limit" as_root "$@" -o DPkg::Lock::Timeout=600
}
apt_retried() {  # SECONDS RUNNER apt-get ARGS...: RUNNER is as_root, or env for apt on private lists
    local limit=$1 run=$2 tries=0 fetches=0 err=$root/.tools/apt.err; shift 2
    until "$run" timeout -k 10 "$limit" env DEBIAN_FRONTEND=noninteractive "$@" 2>"$err"; do
        local s=$?
        cat "$err" >&2
        if grep -qiE 'could not get lock|unable to lock' "$err" && [ $((tries += 1)) -lt 60 ]; then
            echo "setup.sh: apt is busy (its lock is held); trying again in 10 s" >&2
            sleep 10
        elif grep -qiE 'mirror sync|hash sum mismatch|unexpected size|temporary failure|could not connect|connection timed out' "$err" \
             && [ $((fetches += 1)) -lt 4 ]; then
            echo "setup.sh: the archive did not answer as it should; trying again in 30 s" >&2
            sleep 30
        else
            failed_command="$*"; return $s
        fi
    done
}

# A list that cannot be fetched (one broken source of the machine's, an
# archive mid-sync) need not stop the install: apt keeps the lists it had,
# and the install says if what it needs is missing (its failure then names
# the incomplete lists with the step).
stale_suites=
update_lists() {
    apt_root 900 apt-get update -qq && return
    stale_suites=$(failed_suites "$root/.tools/apt.err")
    step="$step, with incomplete package lists (apt-get update failed, above)"
    echo "setup.sh: some package lists could not be fetched (above); going on with those there are" >&2
}

# With one architecture's list of a suite missing (the security suite's i386
# list, say), apt cannot pair that suite's versions of the two architectures'
# libraries, which Wine's 32-bit part needs. Those suites then get the
# priority of installed packages for this install, so that apt takes the
# versions of the complete (equally signed) lists where it has a choice.
install_packages() {
    apt_root 2400 apt-get install -y -qq --no-install-recommends "$@" && return
    local s=$? prefs=$root/.tools/apt-stale.pref suite
    [ -n "$stale_suites" ] || return $s
    : >"$prefs"
    for suite in $stale_suites; do
        printf 'Package: *\nPin: release n=%s\nPin-Priority: 100\n\n' "$suite" >>"$prefs"
    done
    echo "setup.sh: installing again, preferring other lists' versions to those of" $stale_suites >&2
    failed_command=
    apt_root 2400 apt-get install -y -qq --no-install-recommends -o "Dir::Etc::Preferences=$prefs" "$@"
}

# --aarch64: also what the ARM64 build and its tests need (a cross toolchain
# and ARM64 Wine, a few hundred megabytes), which the demo does without.
aarch64=0
for option; do
    case $option in
        --aarch64) aarch64=1 ;;
        *) echo "setup.sh: unknown option $option" >&2; exit 2 ;;
    esac
done

mkdir -p "$root/.tools"
step="apt sources"
archive=
need_update=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
    need_update=1
fi
if [ ! -f /etc/apt/sources.list.d/osbridge-src.sources ]; then
    archive=$(archive_entry)
    archive_stanza deb-src "$(os_codename)" $archive \
        | as_root tee /etc/apt/sources.list.d/osbridge-src.sources >/dev/null
    need_update=1
fi

step="packages"
packages=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 gcc gcc-multilib cmake make dpkg-dev
          wine wine64 wine32:i386 xvfb x11-utils
          lua-unit python3 locales luarocks ccache llvm-14)
# LLVM reads every build's imports and exports (tests/scripts/test_binaries.sh)
# and makes the ARM64 build's resource objects. The ARM64 compiler comes
# through npm (scripts/get-zig.sh); patchelf points ARM64 Wine at its own
# loader and libraries.
if [ "$aarch64" = 1 ]; then
    packages+=(patchelf)
    command -v npm >/dev/null || packages+=(npm)  # the machine's own npm, if it has one
fi
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    update_lists
    install_packages "${missing[@]}"
elif [ "$need_update" = 1 ]; then
    update_lists
fi

step="Japanese locale"
# Wine takes a process's ANSI code page from the Linux locale; non-ASCII file
# names only work when that locale really exists.
if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
    grep -qx 'ja_JP.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null \
        || echo 'ja_JP.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
    as_root timeout -k 10 600 locale-gen >/dev/null
fi

# apt on a private sources list, lists and cache under .tools, for packages
# the system does not install (of another release or architecture). Its
# status is empty: apt resolves the whole closure of what is asked.
private_apt() {  # SUITE ARCH: sets apt_dir and apt_opts, and fetches the lists
    local suite=$1 arch=$2
    apt_dir=$root/.tools/apt/$suite
    [ "$arch" = amd64 ] || apt_dir=$apt_dir-$arch
    mkdir -p "$apt_dir/lists/partial" "$apt_dir/archives/partial"
    [ -n "$archive" ] || archive=$(archive_entry)
    archive_stanza deb "$suite" $archive >"$apt_dir/$suite.sources"
    : >"$apt_dir/status"
    apt_opts=(-o "Dir::Etc::SourceList=$apt_dir/$suite.sources" -o Dir::Etc::SourceParts=-
              -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache::Archives=$apt_dir/archives"
              -o "Dir::State::status=$apt_dir/status" -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache=
              -o "APT::Architecture=$arch" -o "APT::Architectures::=$arch" -o Debug::NoLocking=1
              -o APT::Sandbox::User=root)
    apt_retried 900 env apt-get "${apt_opts[@]}" update -qq
}

# A package of a later Debian release, fetched through a private sources list
# and unpacked into an ignored folder, so the system stays on Debian 12.
unpack_later() {  # SUITE PACKAGE DEST
    local package=$2 dest=$3 apt_dir apt_opts
    private_apt "$1" amd64
    rm -f "$apt_dir/archives/${package}_"*.deb
    (cd "$apt_dir/archives" && apt_retried 900 env apt-get "${apt_opts[@]}" download "$package" >/dev/null)
    rm -rf "$dest"
    dpkg -x "$(ls "$apt_dir/archives/${package}_"*.deb | head -n1)" "$dest"
}

# 32-bit Windows programs need Wine's i386 loader; when the kernel cannot run
# i386 ELF binaries itself, route them through qemu-user. Debian 12's qemu
# takes a minute per process start and crashes now and then; Debian 13's
# static qemu-i386 does neither.
step="qemu-i386 from Debian 13"
qemu_dir=$root/.tools/qemu
qemu=$qemu_dir/usr/bin/qemu-i386
[ -x "$qemu" ] || unpack_later trixie qemu-user "$qemu_dir"

# Debian 12's LuaRocks (3.8) knows Lua up to 5.4 and rejects 5.5's lua.h; the
# package check of the 5.5 build runs Debian 14's, which knows 5.5.
step="LuaRocks for Lua 5.5 from Debian 14"
[ -f "$root/.tools/luarocks/usr/bin/luarocks" ] || unpack_later forky luarocks "$root/.tools/luarocks"
step="binfmt handler for qemu-i386"
binfmt=${OSB_BINFMT_DIR:-/proc/sys/fs/binfmt_misc}
if [ ! -e "$binfmt/register" ]; then
    as_root mount -t binfmt_misc binfmt_misc "$binfmt"
fi
if [ "$(cat "$binfmt/status")" != enabled ]; then
    echo 1 | as_root tee "$binfmt/status" >/dev/null
fi
# A handler already bound to the same emulator (another checkout's copy) is
# kept: replacing it would fail programs that start meanwhile. One that is
# disabled, lacks flag F or names another binary is replaced.
qemu_handler() {  # NAME MAGIC MASK: runs ELF binaries of that header through .tools/qemu's qemu-NAME
    local handler=$binfmt/qemu-$1 emulator=$qemu_dir/usr/bin/qemu-$1 registered
    if [ -e "$handler" ]; then
        registered=$(sed -n 's/^interpreter //p' "$handler")
        if ! { grep -qx enabled "$handler" && grep -qx 'flags: .*F.*' "$handler" && cmp -s "$registered" "$emulator"; }; then
            echo -1 | as_root tee "$handler" >/dev/null
        fi
    fi
    if [ ! -e "$handler" ]; then
        printf '%s' ":qemu-$1:M::$2:$3:$emulator:F" | as_root tee "$binfmt/register" >/dev/null
    fi
    grep -qx enabled "$handler"
}
qemu_handler i386 '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00' \
    '\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

# ARM64 Wine: this release's, unpacked into an ignored folder with the
# libraries it needs, its programs run through qemu-aarch64. Its loader and
# server get the unpacked dynamic loader and libraries written into them
# (interpreter, search path): with QEMU_LD_PREFIX instead, Wine would take
# the unpacked tree for /, and drive Z: with it.
unpack_wine_arm64() {
    local dest=$root/.tools/wine-arm64 apt_dir apt_opts deb bin
    local bin_dir=$dest/usr/lib/wine
    # Those paths are absolute: a moved clone unpacks again (from apt's cache).
    [ "$(cat "$dest/.unpacked" 2>/dev/null)" != "$dest" ] || return 0
    private_apt "$(os_codename)" arm64
    # Versions that the lists no longer have would be unpacked too.
    apt_retried 300 env apt-get "${apt_opts[@]}" autoclean -qq
    apt_retried 900 env apt-get "${apt_opts[@]}" install -y -qq --download-only --no-install-recommends wine64 libwine
    rm -rf "$dest" && mkdir -p "$dest"
    for deb in "$apt_dir"/archives/*.deb; do dpkg -x "$deb" "$dest"; done
    for bin in wine64 wineserver64; do
        patchelf --set-interpreter "$dest/lib/ld-linux-aarch64.so.1" --force-rpath \
            --set-rpath "$dest/lib/aarch64-linux-gnu:$dest/usr/lib/aarch64-linux-gnu" "$bin_dir/$bin"
    done
    # Wine starts the server it finds beside its loader: Debian's script there
    # would start the machine's x86_64 one.
    ln -sfn wineserver64 "$bin_dir/wineserver"
    echo "$dest" >"$dest/.unpacked"
}

if [ "$aarch64" = 1 ]; then
    step="Zig 0.11 for the ARM64 build"
    bash "$root/scripts/get-zig.sh"
    step="ARM64 Wine"
    unpack_wine_arm64
    step="binfmt handler for qemu-aarch64"
    qemu_handler aarch64 '\x7fELF\x02\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\xb7\x00' \
        '\xff\xff\xff\xff\xff\xff\xff\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    step="ARM64 Wine runs"
    "$root/.tools/wine-arm64/usr/lib/wine/wine64" --version >/dev/null
fi
