#!/usr/bin/env bash
# Unpacks a Lua source into DEST, laid out as Debian's source packages are
# (the library and interpreter in DEST/src):
#   get-lua-source.sh DEST [PACKAGE]     PACKAGE: lua5.1 (default) to lua5.5, or luajit
# Debian's package (with Debian's patches) for all but lua5.5, which Debian 12
# does not have: its release tarball, kept in third_party/lua and checked
# against the checksum below before use.
set -euo pipefail
dest=$1 package=${2:-lua5.1}
lua55_tarball=$(dirname "$0")/../third_party/lua/lua-5.5.1.tar.gz
lua55_sha256=1c4b4068d67061f2a2231ad2b5422e77acea1487ea9890f6320af614f4373dce
[ -f "$dest/src/lua.h" ] && exit 0
mkdir -p "$(dirname "$dest")"
exec 9>"$dest.lock"
flock 9
[ -f "$dest/src/lua.h" ] && exit 0
work=$(mktemp -d "$(dirname "$dest")/lua-source.XXXXXX")
trap 'rm -rf "$work"' EXIT
if [ "$package" = lua5.5 ]; then
    sum=$(sha256sum "$lua55_tarball") && [ "${sum%% *}" = "$lua55_sha256" ] || {
        echo "$lua55_tarball: sha256 ${sum%% *}, expected $lua55_sha256" >&2
        exit 1
    }
    # Laid out as a source package is: lua-5.5.1/src/...
    tar xzf "$lua55_tarball" -C "$work"
    mv "$work/lua-5.5.1" "$work/$package-5.5.1"
else
    (cd "$work" && apt-get source -qq "$package" >/dev/null 2>&1) || {
        echo "apt-get source $package failed: is a deb-src entry configured (scripts/setup.sh)?" >&2
        exit 1
    }
fi
mv "$work/$package"-*/ "$dest"
