#!/usr/bin/env bash
# Unpacks a Debian source package (with Debian's patches) into DEST:
#   get-lua-source.sh DEST [PACKAGE]     PACKAGE: lua5.1 (default) or luajit
set -euo pipefail
dest=$1 package=${2:-lua5.1}
[ -f "$dest/src/lua.h" ] && exit 0
mkdir -p "$(dirname "$dest")"
exec 9>"$dest.lock"
flock 9
[ -f "$dest/src/lua.h" ] && exit 0
work=$(mktemp -d "$(dirname "$dest")/lua-source.XXXXXX")
trap 'rm -rf "$work"' EXIT
(cd "$work" && apt-get source -qq "$package" >/dev/null 2>&1) || {
    echo "apt-get source $package failed: is a deb-src entry configured (scripts/setup.sh)?" >&2
    exit 1
}
mv "$work/$package"-*/ "$dest"
