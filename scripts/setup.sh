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

packages=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 cmake make dpkg-dev
          wine wine64 wine32:i386 qemu-user-static xvfb x11-utils
          lua-unit python3)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    [ "$need_update" = 1 ] || [ ! -d /var/lib/apt/lists ] || true
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
elif [ "$need_update" = 1 ]; then
    as_root apt-get update -qq
fi

# 32-bit Windows programs need Wine's i386 loader; when the kernel cannot run
# i386 ELF binaries itself, route them through qemu-user.
if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
    as_root mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc || true
fi
if [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ] && [ -w /proc/sys/fs/binfmt_misc/register ]; then
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
        | as_root tee /proc/sys/fs/binfmt_misc/register >/dev/null
fi
