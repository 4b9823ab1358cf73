#!/usr/bin/env bash
# Installs everything needed to build osbridge and run it under Wine on a
# fresh Debian 12 machine. Safe to run again: each step checks first.
set -euo pipefail

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

need_update=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
    need_update=1
fi
if [ ! -f /etc/apt/sources.list.d/osbridge-src.sources ]; then
    as_root tee /etc/apt/sources.list.d/osbridge-src.sources >/dev/null <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
    need_update=1
fi

packages=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 gcc cmake make dpkg-dev
          wine wine64 wine32:i386 xvfb x11-utils
          lua-unit python3 locales luarocks)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
elif [ "$need_update" = 1 ]; then
    as_root apt-get update -qq
fi

# Wine takes a process's ANSI code page from the Linux locale; non-ASCII file
# names only work when that locale really exists.
if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
    grep -qx 'ja_JP.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null \
        || echo 'ja_JP.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
    as_root locale-gen >/dev/null
fi

# 32-bit Windows programs need Wine's i386 loader; when the kernel cannot run
# i386 ELF binaries itself, route them through qemu-user. Debian 12's qemu
# takes a minute per process start and crashes now and then; Debian 13's
# static qemu-i386 does neither. It is fetched through a private sources list
# and unpacked into an ignored folder, so the system stays on Debian 12.
root=$(cd "$(dirname "$0")/.." && pwd)
qemu_dir=$root/.tools/qemu
qemu=$qemu_dir/usr/bin/qemu-i386
if [ ! -x "$qemu" ]; then
    apt_dir=$root/.tools/apt
    mkdir -p "$apt_dir/lists/partial" "$apt_dir/archives/partial"
    cat >"$apt_dir/trixie.sources" <<'SRC'
Types: deb
URIs: http://deb.debian.org/debian
Suites: trixie
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
    apt_opts=(-o "Dir::Etc::SourceList=$apt_dir/trixie.sources" -o Dir::Etc::SourceParts=-
              -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache::Archives=$apt_dir/archives"
              -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache= -o APT::Architecture=amd64
              -o APT::Architectures::=amd64 -o Debug::NoLocking=1 -o APT::Sandbox::User=root)
    apt-get "${apt_opts[@]}" update -qq
    (cd "$apt_dir/archives" && apt-get "${apt_opts[@]}" download qemu-user >/dev/null)
    rm -rf "$qemu_dir"
    dpkg -x "$(ls "$apt_dir"/archives/qemu-user_*.deb | head -n1)" "$qemu_dir"
fi
if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
    as_root mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc || true
fi
handler=/proc/sys/fs/binfmt_misc/qemu-i386
# A handler already bound to the same emulator (another checkout's copy) is
# kept: replacing it would fail 32-bit programs that start meanwhile.
registered=$(sed -n 's/^interpreter //p' "$handler" 2>/dev/null)
if [ -n "$registered" ] && ! { grep -qx 'flags: .*F.*' "$handler" && cmp -s "$registered" "$qemu"; }; then
    echo -1 | as_root tee "$handler" >/dev/null
fi
if [ ! -e "$handler" ] && [ -w /proc/sys/fs/binfmt_misc/register ]; then
    printf '%s' ":qemu-i386:M::\\x7fELF\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\x03\\x00:\\xff\\xff\\xff\\xff\\xff\\xfe\\xfe\\x00\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff:$qemu:F" \
        | as_root tee /proc/sys/fs/binfmt_misc/register >/dev/null
fi
